#include "SourceWrite.h"

#include <algorithm>
#include <map>
#include <set>

#include "CommandSupport.h"
#include "DBCnx.h"
#include "ScriptName.h"
#include "SourceTables.h"
#include "TimeText.h"
#include "ToolTables.h"

namespace {

TMondrelDate AppointmentOf(const TImportValues& values, int64_t id) {
    TMondrelDate date;
    date.ID = id;
    date.Date = DBTextToDate(values.Date, '-');
    date.Time = ParseTime(values.Time);
    date.Discription = values.Discription;
    date.Value = values.Value;
    date.Script = values.Script;
    date.Done = static_cast<int32_t>(values.Done);
    return date;
}

std::string AppointmentLine(const TImportValues& values) {
    return values.Date + ' ' + values.Time + "  " + Printable(values.Discription);
}

int64_t AddAppointment(TDBTransaction& transaction, const TImportValues& values) {
    int64_t id = AddDate(transaction, AppointmentOf(values, -1));
    if (values.Done != 0) {
        SetDateDone(transaction, id);
    }
    return id;
}

void WriteRows(TDBTransaction& transaction, const std::string& source, const TImportPlan& plan,
               bool listLines, TSourceWrite& write) {
    TSqliteDatabase& database = transaction.Database();
    std::vector<int64_t> added;
    added.reserve(plan.Add.size());
    for (const TWantedRow& row : plan.Add) {
        added.push_back(AddAppointment(transaction, row.Values));
        if (listLines) {
            write.Lines.push_back(AppointmentLine(row.Values));
        }
    }
    AddImportRecords(database, source, plan.Add, added);
    for (const TImportPlan::TUpdate& update : plan.Update) {
        UpdateDate(transaction, AppointmentOf(update.Values, update.Record.ID));
        if (update.Values.Done != 0) {
            SetDateDone(transaction, update.Record.ID);
        }
        UpdateImportRecord(database, update.Record.RecordID, update.Values);
        if (listLines) {
            write.Lines.push_back(AppointmentLine(update.Values));
        }
    }
    for (const TImportRecord& record : plan.Remove) {
        DeleteDate(transaction, record.ID);
        DeleteImportRecord(database, record.RecordID);
    }
    for (const TImportRecord& record : plan.Forget) {
        DeleteImportRecord(database, record.RecordID);
    }
    write.Counts.Added += plan.Add.size();
    write.Counts.Updated += plan.Update.size();
    write.Counts.Removed += plan.Remove.size();
    write.Counts.Unchanged += plan.Unchanged;
    for (const TWantedRow& row : plan.Add) {
        write.WithoutScript += IsBlankScript(row.Values.Script) ? 1 : 0;
    }
    for (const TImportPlan::TUpdate& update : plan.Update) {
        write.WithoutScript += IsBlankScript(update.Values.Script) ? 1 : 0;
    }
}

bool DayHasFlag(TSqliteDatabase& database, const std::string& date, int64_t flagID) {
    return !database
                .Query("SELECT 1 FROM DayFlags WHERE Date = ? AND FlagID = ? LIMIT 1",
                       {date, flagID})
                ->AtEnd();
}

// One row only: a day that holds the flag twice keeps the row another writer added.
void TakeFlagOff(TSqliteDatabase& database, const std::string& date, int64_t flagID) {
    database.Execute(
        "DELETE FROM DayFlags WHERE rowid = (SELECT rowid FROM DayFlags WHERE Date = ? AND "
        "FlagID = ? LIMIT 1)",
        {date, flagID});
}

// A day the source flagged and that left it loses the flag, unless it lies before the window
// (days gone by keep what they had) or the user took the flag off already.
void WriteFlags(TSqliteDatabase& database, const std::string& source, const TSourceWanted& wanted,
                bool listLines, TSourceWrite& write) {
    std::map<std::pair<std::string, int64_t>, TFlagRecord> records;
    for (const TFlagRecord& record : ReadFlagRecords(database, source)) {
        records.emplace(std::make_pair(record.Date, record.FlagID), record);
    }
    std::set<std::pair<std::string, int64_t>> seen;
    for (const TFlagDay& day : wanted.FlagDays) {
        auto key = std::make_pair(day.Date, day.FlagID);
        if (!seen.insert(key).second) {
            continue;
        }
        if (records.erase(key) != 0) {
            ++write.Counts.Unchanged;  // flagged before, or taken off by the user since
            continue;
        }
        bool had = DayHasFlag(database, day.Date, day.FlagID);
        if (!had) {
            database.Execute("INSERT INTO DayFlags (Date, FlagID) VALUES (?, ?)",
                             {day.Date, day.FlagID});
            ++write.Counts.Added;
            if (listLines) {
                write.Lines.push_back(day.Date + "  " + Printable(day.Caption));
            }
        } else {
            ++write.Counts.Unchanged;
        }
        AddFlagRecord(database, source, day.Date, day.FlagID, !had);
    }
    for (const auto& [key, record] : records) {
        if (record.Date < wanted.Scope.From) {
            continue;
        }
        if (DropFlagRecord(database, record) && record.RowExists) {
            TakeFlagOff(database, record.Date, record.FlagID);
            ++write.Counts.Removed;
        }
    }
}

}  // namespace

TSourceWrite WriteSource(TDBTransaction& Transaction, const std::string& Source,
                         const TSourceWanted& Wanted, bool ListLines) {
    TSqliteDatabase& database = Transaction.Database();
    CreateSourceTables(database);
    TSourceWrite write;
    TImportPlan plan = PlanImport(Wanted.Rows, ReadImportRecords(database, Source), Wanted.Scope);
    WriteRows(Transaction, Source, plan, ListLines, write);
    WriteFlags(database, Source, Wanted, ListLines, write);
    write.Counts.Unchanged += Wanted.OwnRows;
    write.Counts.Skipped = Wanted.Skipped;
    std::stable_sort(write.Lines.begin(), write.Lines.end());
    return write;
}

TSourceCounts ForgetSourceRecords(TDBTransaction& Transaction, const std::string& Source,
                                  bool KeepRows) {
    TSqliteDatabase& database = Transaction.Database();
    TSourceCounts removed;
    for (const TImportRecord& record : ReadImportRecords(database, Source)) {
        if (!KeepRows && record.Ours()) {
            DeleteDate(Transaction, record.ID);
            ++removed.Removed;
        }
    }
    DeleteImportRecords(database, Source);
    for (const TFlagRecord& record : ReadFlagRecords(database, Source)) {
        if (DropFlagRecord(database, record) && record.RowExists && !KeepRows) {
            TakeFlagOff(database, record.Date, record.FlagID);
            ++removed.Removed;
        }
    }
    return removed;
}
