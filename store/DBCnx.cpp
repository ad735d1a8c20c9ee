#include "DBCnx.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string_view>

#include "DBTransaction.h"
#include "DecimalText.h"
#include "MondrelError.h"
#include "Sqlite3Db.h"
#include "TimeText.h"

namespace {

// Two-digit years: 0 to 50 are 2000 to 2050, 51 to 99 are 1951 to 1999.
int WindowYear(int year) {
    if (year >= 0 && year <= 50) {
        return year + 2000;
    }
    if (year >= 51 && year <= 99) {
        return year + 1900;
    }
    return year;
}

// Nine digits keep the value inside int; no real year, month or day needs more.
std::optional<int> ParseDecimal(std::string_view text) {
    return ParseDecimalDigits(text, 9);
}

[[noreturn]] void InvalidDate(const std::string& text) {
    throw EConvertError("'" + text + "' is not a valid date");
}

std::string DateText(TDateTime date) {
    return DateToDBText('-', date);
}

// A time of day, 00:00:00 to 23:59:59.999; anything else would be written as some other time.
std::string TimeText(TDateTime time) {
    if (!(time >= 0 && time < 1)) {
        throw EConvertError("The time " + std::to_string(time) +
                            " is no time of day (00:00:00 to 23:59:59.999)");
    }
    return FormatLongTime(time);
}

// A stored field that does not convert; the reading of a listing can skip its row.
class EUnreadableField : public EConvertError {
  public:
    EUnreadableField(const EConvertError& error, int32_t column)
        : EConvertError(error.what()), Column(column) {}
    int32_t Column;
};

template <typename TConvert>
TDateTime ConvertedField(const TSqliteQueryResults& row, int32_t column, TConvert convert) {
    try {
        return convert(row.FieldAsText(column));
    } catch (const EConvertError& error) {
        throw EUnreadableField(error, column);
    }
}

TDateTime DateField(const TSqliteQueryResults& row, int32_t column) {
    return ConvertedField(row, column,
                          [](const std::string& text) { return DBTextToDate(text, '-'); });
}

TDateTime TimeField(const TSqliteQueryResults& row, int32_t column) {
    return ConvertedField(row, column, [](const std::string& text) { return ParseTime(text); });
}

int32_t IntegerField(const TSqliteQueryResults& row, int32_t column) {
    // Colours and switches are 32-bit values; only the low 32 bits count.
    return static_cast<int32_t>(row.FieldAsInteger(column));
}

// Where a listing puts the rows it cannot read: the table named in reports, the column that
// holds a row's key, and the list (null: such a row raises).
struct TSkipTarget {
    const char* Table;
    int32_t KeyColumn;
    TSkippedRows* Rows;
};

// Every row of a query, each filled by `fill`, in the order the query returns them.
template <typename TRecord, typename TFill>
std::vector<TRecord> ReadRows(TDBTransaction& transaction, const std::string& sql,
                              const TSqliteParams& params, TFill fill,
                              TSkipTarget skip = {"", 0, nullptr}) {
    std::vector<TRecord> rows;
    auto query = transaction.Database().Query(sql, params);
    while (!query->AtEnd()) {
        TRecord record;
        try {
            fill(*query, record);
            rows.push_back(std::move(record));
        } catch (const EUnreadableField& error) {
            if (!skip.Rows) {
                throw;
            }
            skip.Rows->push_back({skip.Table, query->FieldAsInteger(skip.KeyColumn),
                                  query->FieldName(error.Column), query->FieldAsText(error.Column),
                                  query->FieldIsNull(error.Column)});
        }
        query->Next();
    }
    return rows;
}

void FillListedDate(const TSqliteQueryResults& row, TMondrelDate& date) {
    date.ID = row.FieldAsInteger(0);
    date.Date = DateField(row, 1);
    date.Time = TimeField(row, 2);
    date.Discription = row.FieldAsText(3);
    date.Script = row.FieldAsText(4);
}

constexpr const char* WholeDateColumns =
    "SELECT ID, Date, Time, Discription, Value, Script, Done FROM Dates ";

void FillWholeDate(const TSqliteQueryResults& row, TMondrelDate& date) {
    date.ID = row.FieldAsInteger(0);
    date.Date = DateField(row, 1);
    date.Time = TimeField(row, 2);
    date.Discription = row.FieldAsText(3);
    date.Value = row.FieldAsText(4);
    date.Script = row.FieldAsText(5);
    date.Done = IntegerField(row, 6);
}

// The first and the last day of the month that holds `date`.
std::pair<TDateTime, TDateTime> MonthBounds(TDateTime date) {
    TDateParts parts = DecodeDate(date);
    return {EncodeDate(parts.Year, parts.Month, 1),
            EncodeDate(parts.Year, parts.Month, DaysInMonth(parts.Year, parts.Month))};
}

}  // namespace

void CheckDatabase(const std::string& Path) {
    InTransaction(Path, [&](TDBTransaction& transaction) {
        for (const char* table : {"Dates", "Flags", "DayFlags", "Colors"}) {
            auto found = transaction.Database().Query(
                "SELECT 1 FROM sqlite_master WHERE type IN ('table', 'view') AND name = ? "
                "COLLATE NOCASE",
                {std::string_view(table)});
            if (found->AtEnd()) {
                throw ESqliteException("Failed to open database \"" + Path + "\": no table " +
                                       table);
            }
        }
    });
}

std::string DateToDBText(char Separator, TDateTime Date) {
    // Checked before decoding: NaN and far values have no day, and a year beyond 9999 would be
    // written but never read back.
    // Years before 100 have no text of their own: read back, 0050 would mean 2050.
    static const TDateTime first = EncodeDate(100, 1, 1);
    static const TDateTime last = EncodeDate(9999, 12, 31);
    if (!(Date >= first && Date < last + 1)) {
        throw EConvertError("The date " + std::to_string(Date) +
                            " lies outside 0100-01-01 to 9999-12-31");
    }
    TDateParts parts = DecodeDate(Date);
    std::string text = std::to_string(parts.Year);
    text += Separator;
    AppendTwoDigits(text, parts.Month);
    text += Separator;
    AppendTwoDigits(text, parts.Day);
    return text;
}

TDateTime DBTextToDate(const std::string& Text, char Separator) {
    std::string_view rest = Text;
    size_t first = rest.find(Separator);
    if (first == std::string_view::npos) {
        InvalidDate(Text);
    }
    std::optional<int> year = ParseDecimal(rest.substr(0, first));
    rest.remove_prefix(first + 1);
    size_t second = rest.find(Separator);
    if (second == std::string_view::npos) {
        InvalidDate(Text);
    }
    std::optional<int> month = ParseDecimal(rest.substr(0, second));
    std::optional<int> day = ParseDecimal(rest.substr(second + 1));
    TDateTime result = 0;
    if (!year || !month || !day || !TryEncodeDate(WindowYear(*year), *month, *day, result)) {
        InvalidDate(Text);
    }
    return result;
}

std::string DescribeSkippedRow(const TSkippedRow& Row) {
    std::string key = Row.Table == "DayFlags" ? "FlagID" : "ID";
    std::string value = Row.Null ? "NULL" : "\"" + Row.Text + "\"";
    return "Unreadable row in " + Row.Table + ": " + key + " " + std::to_string(Row.ID) + ", " +
           Row.Column + " " + value;
}

TDates GetDates(TDBTransaction& Transaction, TDateQueryMode Mode, TDateTime Date,
                TSkippedRows* Skipped) {
    const TSkipTarget skip{"Dates", 0, Skipped};
    if (Mode == dqMonth) {
        auto [from, to] = MonthBounds(Date);
        return ReadRows<TMondrelDate>(Transaction,
                                      "SELECT ID, Date, Time, Discription, Script FROM Dates "
                                      "WHERE Date >= ? AND Date <= ? ORDER BY Time",
                                      {DateText(from), DateText(to)}, FillListedDate, skip);
    }
    return ReadRows<TMondrelDate>(Transaction,
                                  "SELECT ID, Date, Time, Discription, Script FROM Dates "
                                  "WHERE Date = ? AND Done = 0 ORDER BY Time",
                                  {DateText(Date)}, FillListedDate, skip);
}

namespace {

std::unique_ptr<TSqliteQueryResults> QueryFullDate(TDBTransaction& transaction, int64_t id) {
    return transaction.Database().Query(std::string(WholeDateColumns) + "WHERE ID = ?", {id});
}

}  // namespace

TMondrelDate GetDate(TDBTransaction& Transaction, int64_t ID) {
    // No row reads as empty fields, and the empty date text raises: a missing ID is an
    // error, never an empty record.
    TMondrelDate date;
    FillWholeDate(*QueryFullDate(Transaction, ID), date);
    return date;
}

std::optional<TMondrelDate> FindDate(TDBTransaction& Transaction, int64_t ID) {
    auto row = QueryFullDate(Transaction, ID);
    if (row->AtEnd()) {
        return std::nullopt;
    }
    TMondrelDate date;
    FillWholeDate(*row, date);
    return date;
}

int64_t AddDate(TDBTransaction& Transaction, const TMondrelDate& Appointment) {
    TSqliteDatabase& database = Transaction.Database();
    database.Execute(
        "INSERT INTO Dates (Date, Time, Discription, Value, Script) VALUES (?, ?, ?, ?, ?)",
        {DateText(Appointment.Date), TimeText(Appointment.Time), Appointment.Discription,
         Appointment.Value, Appointment.Script});
    const int64_t id = database.LastInsertRowID();
    // In a file whose Done column has no default the new row would hold NULL, which never
    // counts as open: the appointment would silently never fire.
    if (!Transaction.DoneIsNotNull()) {
        database.Execute("UPDATE Dates SET Done = 0 WHERE rowid = ? AND Done IS NULL", {id});
    }
    return id;
}

void UpdateDate(TDBTransaction& Transaction, const TMondrelDate& Appointment) {
    // Done is left alone: an appointment that has fired stays done after an edit.
    const std::string date = DateText(Appointment.Date);
    const std::string time = TimeText(Appointment.Time);
    TSqliteDatabase& database = Transaction.Database();
    database.Execute(
        "UPDATE Dates SET Date = ?, Time = ?, Discription = ?, Value = ?, Script = ? "
        "WHERE ID = ?",
        {date, time, Appointment.Discription, Appointment.Value, Appointment.Script,
         Appointment.ID});
    // Deleted meanwhile by another process: saying nothing would lose the edit in silence.
    if (database.Changes() == 0) {
        throw EMondrelError("The appointment no longer exists.");
    }
}

bool SaveEditedDate(TDBTransaction& Transaction, const TMondrelDate& Appointment, TDateTime Now) {
    TSqliteDatabase& database = Transaction.Database();
    auto stored = database.Query("SELECT Date, Time FROM Dates WHERE ID = ?", {Appointment.ID});
    std::optional<std::string> storedDate;
    std::optional<TDateTime> storedTime;
    if (!stored->AtEnd()) {
        storedDate = stored->FieldAsText(0);
        try {
            storedTime = ParseTime(stored->FieldAsText(1));
        } catch (const EConvertError&) {
            // Unreadable before: the edit gives it a time, which counts as a change.
        }
    }
    UpdateDate(Transaction, Appointment);
    const bool moved = storedDate != DateText(Appointment.Date) || !storedTime ||
                       TimeText(*storedTime) != TimeText(Appointment.Time);
    if (!moved || DateOf(Appointment.Date) + TimeOf(Appointment.Time) <= Now) {
        return false;
    }
    database.Execute("UPDATE Dates SET Done = 0 WHERE ID = ? AND Done IS NOT 0", {Appointment.ID});
    return database.Changes() > 0;
}

void SetDateDone(TDBTransaction& Transaction, int64_t ID) {
    Transaction.Database().Execute("UPDATE Dates SET Done = 1 WHERE ID = ?", {ID});
}

void DeleteDate(TDBTransaction& Transaction, int64_t ID) {
    Transaction.Database().Execute("DELETE From Dates WHERE ID = ?", {ID});
}

TFlags GetFlags(TDBTransaction& Transaction) {
    return ReadRows<TFlag>(Transaction, "SELECT ID, Caption, Variable, Color, isFix FROM Flags", {},
                           [](const TSqliteQueryResults& row, TFlag& flag) {
                               flag.ID = row.FieldAsInteger(0);
                               flag.Caption = row.FieldAsText(1);
                               flag.Variable = row.FieldAsText(2);
                               flag.Color = IntegerField(row, 3);
                               flag.isFix = IntegerField(row, 4);
                           });
}

void AddFlag(TDBTransaction& Transaction, const std::string& Caption, const std::string& Variable,
             int32_t Color) {
    Transaction.Database().Execute("INSERT INTO Flags (Caption, Variable, Color) VALUES (?, ?, ?)",
                                   {Caption, Variable, int64_t{Color}});
}

void DeleteFlag(TDBTransaction& Transaction, int64_t ID) {
    // Day rows of a deleted flag would still mark their days, in the plain style of a flag that
    // does not exist, and a file without AUTOINCREMENT could hand them to the next new flag.
    TSqliteDatabase& database = Transaction.Database();
    database.Execute("DELETE From Flags WHERE ID = ?", {ID});
    database.Execute("DELETE From DayFlags WHERE FlagID = ?", {ID});
}

TDayFlags GetDayFlags(TDBTransaction& Transaction, TDateTime Date, TSkippedRows* Skipped) {
    auto fill = [](const TSqliteQueryResults& row, TDayFlag& dayFlag) {
        dayFlag.FlagID = row.FieldAsInteger(1);
        dayFlag.Date = DateField(row, 0);
    };
    const TSkipTarget skip{"DayFlags", 1, Skipped};
    if (Date == 0) {
        return ReadRows<TDayFlag>(Transaction, "SELECT Date, FlagID FROM DayFlags", {}, fill, skip);
    }
    return ReadRows<TDayFlag>(Transaction, "SELECT Date, FlagID FROM DayFlags WHERE Date = ?",
                              {DateText(Date)}, fill, skip);
}

TDayFlags GetDayFlagsBetween(TDBTransaction& Transaction, TDateTime First, TDateTime Last,
                             TSkippedRows* Skipped) {
    auto fill = [](const TSqliteQueryResults& row, TDayFlag& dayFlag) {
        dayFlag.FlagID = row.FieldAsInteger(1);
        dayFlag.Date = DateField(row, 0);
    };
    return ReadRows<TDayFlag>(Transaction,
                              "SELECT Date, FlagID FROM DayFlags WHERE Date >= ? AND Date <= ?",
                              {DateText(First), DateText(Last)}, fill, {"DayFlags", 1, Skipped});
}

void SetDayFlags(TDBTransaction& Transaction, const TIntegerArray& FlagIDs, TDateTime Date) {
    std::string day = DateText(Date);
    TSqliteDatabase& database = Transaction.Database();
    database.Execute("DELETE From DayFlags WHERE Date = ?", {day});
    for (int64_t flagID : FlagIDs) {
        database.Execute("INSERT INTO DayFlags (Date, FlagID) VALUES (?, ?)", {day, flagID});
    }
}

void ChangeDayFlags(TDBTransaction& Transaction, const TIntegerArray& Add,
                    const TIntegerArray& Remove, TDateTime Date) {
    auto listed = [](const TIntegerArray& ids, int64_t id) {
        return std::find(ids.begin(), ids.end(), id) != ids.end();
    };
    TIntegerArray flags;
    bool changed = false;
    for (const TDayFlag& row : GetDayFlags(Transaction, Date)) {
        if (listed(Remove, row.FlagID)) {
            changed = true;
        } else {
            flags.push_back(row.FlagID);
        }
    }
    for (int64_t id : Add) {
        if (!listed(flags, id) && !listed(Remove, id)) {
            flags.push_back(id);
            changed = true;
        }
    }
    if (changed) {
        SetDayFlags(Transaction, flags, Date);
    }
}

TDBColors GetColors(TDBTransaction& Transaction) {
    return ReadRows<TDBColor>(Transaction, "SELECT Value, Name FROM Colors", {},
                              [](const TSqliteQueryResults& row, TDBColor& color) {
                                  color.Value = IntegerField(row, 0);
                                  color.Name = row.FieldAsText(1);
                              });
}

// Each operation on a path is the same operation in a transaction of its own.
TDates GetDates(const std::string& Path, TDateQueryMode Mode, TDateTime Date,
                TSkippedRows* Skipped) {
    return InTransaction(Path, [&](TDBTransaction& transaction) {
        return GetDates(transaction, Mode, Date, Skipped);
    });
}
TMondrelDate GetDate(const std::string& Path, int64_t ID) {
    return InTransaction(Path,
                         [&](TDBTransaction& transaction) { return GetDate(transaction, ID); });
}
std::optional<TMondrelDate> FindDate(const std::string& Path, int64_t ID) {
    return InTransaction(Path,
                         [&](TDBTransaction& transaction) { return FindDate(transaction, ID); });
}
void AddDate(const std::string& Path, const TMondrelDate& Appointment) {
    InTransaction(Path, [&](TDBTransaction& transaction) { AddDate(transaction, Appointment); });
}
void UpdateDate(const std::string& Path, const TMondrelDate& Appointment) {
    InTransaction(Path, [&](TDBTransaction& transaction) { UpdateDate(transaction, Appointment); });
}
bool SaveEditedDate(const std::string& Path, const TMondrelDate& Appointment, TDateTime Now) {
    return InTransaction(Path, [&](TDBTransaction& transaction) {
        return SaveEditedDate(transaction, Appointment, Now);
    });
}
void SetDateDone(const std::string& Path, int64_t ID) {
    InTransaction(Path, [&](TDBTransaction& transaction) { SetDateDone(transaction, ID); });
}
void DeleteDate(const std::string& Path, int64_t ID) {
    InTransaction(Path, [&](TDBTransaction& transaction) { DeleteDate(transaction, ID); });
}
TFlags GetFlags(const std::string& Path) {
    return InTransaction(Path, [&](TDBTransaction& transaction) { return GetFlags(transaction); });
}
void AddFlag(const std::string& Path, const std::string& Caption, const std::string& Variable,
             int32_t Color) {
    InTransaction(
        Path, [&](TDBTransaction& transaction) { AddFlag(transaction, Caption, Variable, Color); });
}
void DeleteFlag(const std::string& Path, int64_t ID) {
    InTransaction(Path, [&](TDBTransaction& transaction) { DeleteFlag(transaction, ID); });
}
TDayFlags GetDayFlags(const std::string& Path, TDateTime Date, TSkippedRows* Skipped) {
    return InTransaction(
        Path, [&](TDBTransaction& transaction) { return GetDayFlags(transaction, Date, Skipped); });
}
void SetDayFlags(const std::string& Path, const TIntegerArray& FlagIDs, TDateTime Date) {
    InTransaction(Path,
                  [&](TDBTransaction& transaction) { SetDayFlags(transaction, FlagIDs, Date); });
}
void ChangeDayFlags(const std::string& Path, const TIntegerArray& Add, const TIntegerArray& Remove,
                    TDateTime Date) {
    InTransaction(
        Path, [&](TDBTransaction& transaction) { ChangeDayFlags(transaction, Add, Remove, Date); });
}
TDBColors GetColors(const std::string& Path) {
    return InTransaction(Path, [&](TDBTransaction& transaction) { return GetColors(transaction); });
}

TDates GetAllDates(TDBTransaction& Transaction, TSkippedRows* Skipped) {
    return ReadRows<TMondrelDate>(Transaction, std::string(WholeDateColumns) + "ORDER BY ID", {},
                                  FillWholeDate, {"Dates", 0, Skipped});
}

TDates GetDatesBetween(TDBTransaction& Transaction, TDateTime First, TDateTime Last,
                       TSkippedRows* Skipped) {
    return ReadRows<TMondrelDate>(
        Transaction, std::string(WholeDateColumns) + "WHERE Date >= ? AND Date <= ? ORDER BY ID",
        {DateText(First), DateText(Last)}, FillWholeDate, {"Dates", 0, Skipped});
}

bool HasDate(TDBTransaction& Transaction, int64_t ID) {
    return !Transaction.Database().Query("SELECT 1 FROM Dates WHERE ID = ?", {ID})->AtEnd();
}

void SetDateOpen(TDBTransaction& Transaction, int64_t ID) {
    Transaction.Database().Execute("UPDATE Dates SET Done = 0 WHERE ID = ?", {ID});
}

void UpdateFlag(TDBTransaction& Transaction, const TFlag& Flag) {
    TSqliteDatabase& database = Transaction.Database();
    database.Execute("UPDATE Flags SET Caption = ?, Variable = ?, Color = ? WHERE ID = ?",
                     {Flag.Caption, Flag.Variable, int64_t{Flag.Color}, Flag.ID});
    if (database.Changes() == 0) {
        throw EMondrelError("The flag no longer exists.");
    }
}

namespace {

// The rows of the flag by their day texts as stored, each with its rowid.
std::map<std::string, std::vector<int64_t>> RowsOfFlag(TDBTransaction& transaction,
                                                       int64_t flagID) {
    std::map<std::string, std::vector<int64_t>> rows;
    auto query =
        transaction.Database().Query("SELECT Date, rowid FROM DayFlags WHERE FlagID = ?", {flagID});
    for (; !query->AtEnd(); query->Next()) {
        rows[query->FieldAsText(0)].push_back(query->FieldAsInteger(1));
    }
    return rows;
}

// Each day once, as its date text, in the order first listed.
std::vector<std::string> DistinctDayTexts(const std::vector<TDateTime>& days) {
    std::set<std::string> seen;
    std::vector<std::string> texts;
    for (TDateTime day : days) {
        std::string text = DateText(day);
        if (seen.insert(text).second) {
            texts.push_back(text);
        }
    }
    return texts;
}

// Takes each day once, as its date text, with its rows of the flag (none when it has none):
// Change answers whether it changed the day.
template <typename TChange>
TDayFlagChanges ChangeFlagOnDays(TDBTransaction& transaction, int64_t flagID,
                                 const std::vector<TDateTime>& days, TChange change) {
    std::vector<std::string> texts = DistinctDayTexts(days);
    TDayFlagChanges changes;
    if (texts.empty()) {
        return changes;
    }
    static const std::vector<int64_t> none;
    auto flagged = RowsOfFlag(transaction, flagID);
    for (const std::string& day : texts) {
        auto found = flagged.find(day);
        if (change(day, found == flagged.end() ? none : found->second)) {
            ++changes.Changed;
            changes.ChangedDays.push_back(day);
        } else {
            ++changes.Unchanged;
        }
    }
    return changes;
}

}  // namespace

TDayFlagChanges AddFlagToDays(TDBTransaction& Transaction, int64_t FlagID,
                              const std::vector<TDateTime>& Days) {
    return ChangeFlagOnDays(
        Transaction, FlagID, Days, [&](const std::string& day, const std::vector<int64_t>& rows) {
            if (!rows.empty()) {
                return false;
            }
            Transaction.Database().Execute("INSERT INTO DayFlags (Date, FlagID) VALUES (?, ?)",
                                           {day, FlagID});
            return true;
        });
}

TDayFlagChanges RemoveFlagFromDays(TDBTransaction& Transaction, int64_t FlagID,
                                   const std::vector<TDateTime>& Days, TFlagRowsOff RowsOff) {
    return ChangeFlagOnDays(
        Transaction, FlagID, Days, [&](const std::string&, const std::vector<int64_t>& rows) {
            size_t taken =
                RowsOff == TFlagRowsOff::One ? std::min<size_t>(rows.size(), 1) : rows.size();
            for (size_t row = 0; row < taken; ++row) {
                Transaction.Database().Execute("DELETE FROM DayFlags WHERE rowid = ?", {rows[row]});
            }
            return taken != 0;
        });
}

std::set<std::string> DaysWithFlag(TDBTransaction& Transaction, int64_t FlagID) {
    std::set<std::string> days;
    for (const auto& [day, rows] : RowsOfFlag(Transaction, FlagID)) {
        days.insert(day);
    }
    return days;
}
