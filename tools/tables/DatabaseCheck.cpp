#include "DatabaseCheck.h"

#include <algorithm>
#include <map>
#include <ostream>
#include <set>

#include "CommandSupport.h"
#include "DBCnx.h"
#include "DBTransaction.h"
#include "MondrelError.h"
#include "MondrelSchema.h"
#include "ScriptName.h"
#include "SourceTables.h"
#include "Sqlite3Db.h"
#include "TimeText.h"

namespace {

// A name in lower case as SQLite compares names: ASCII letters folded, every other byte kept.
// The C library's tolower is undefined for the negative values of a plain char, and in a
// single-byte locale it would fold letters that SQLite keeps apart.
std::string NameKey(std::string name) {
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return name;
}

struct TTableSpec {
    const char* Name;
    std::vector<const char*> Columns;
};

// The tables and columns the module reads and writes.
const TTableSpec Schema[] = {
    {"Dates", {"ID", "Date", "Time", "Discription", "Value", "Script", "Done"}},
    {"Flags", {"ID", "Caption", "Variable", "Color", "isFix"}},
    {"DayFlags", {"Date", "FlagID"}},
    {"Colors", {"Value", "Name"}},
};

class TFindings {
  public:
    void Add(TFindingKind kind, std::string what, std::string detail) {
        List.push_back({kind, std::move(what), std::move(detail)});
    }
    void Error(std::string what, std::string detail) {
        Add(TFindingKind::Error, std::move(what), std::move(detail));
    }
    void Warning(std::string what, std::string detail) {
        Add(TFindingKind::Warning, std::move(what), std::move(detail));
    }
    void Note(std::string what, std::string detail) {
        Add(TFindingKind::Note, std::move(what), std::move(detail));
    }
    // Errors first, then warnings, then notes; within a kind in the order found.
    std::vector<TFinding> Sorted() && {
        std::stable_sort(List.begin(), List.end(), [](const TFinding& a, const TFinding& b) {
            return static_cast<int>(a.Kind) < static_cast<int>(b.Kind);
        });
        return std::move(List);
    }

  private:
    std::vector<TFinding> List;
};

// A stored text as the user should see it: between double quotes, control bytes escaped.
std::string Quoted(const std::string& text) {
    std::string result = "\"";
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            static const char hex[] = "0123456789ABCDEF";
            result += "\\x";
            result += hex[c >> 4];
            result += hex[c & 15];
        } else if (c == '"' || c == '\\') {
            result += '\\';
            result += static_cast<char>(c);
        } else {
            result += static_cast<char>(c);
        }
    }
    return result + "\"";
}

std::string RowValue(const std::string& type, const std::string& text) {
    return type == "null" ? std::string("NULL") : Quoted(text);
}

std::string IdDetail(int64_t id, const std::string& rest) {
    return "ID " + std::to_string(id) + ": " + rest;
}

// The tables and the columns of each, as the file has them.
std::map<std::string, std::set<std::string>> ReadSchema(TSqliteDatabase& database) {
    std::map<std::string, std::set<std::string>> tables;
    for (const TTableSpec& table : Schema) {
        auto exists = database.Query(
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE",
            {std::string_view(table.Name)});
        if (exists->AtEnd()) {
            continue;
        }
        std::set<std::string>& columns = tables[table.Name];
        auto info =
            database.Query("SELECT name FROM pragma_table_info(?)", {std::string_view(table.Name)});
        for (; !info->AtEnd(); info->Next()) {
            columns.insert(NameKey(info->FieldAsText(0)));
        }
    }
    return tables;
}

bool HasColumn(const std::map<std::string, std::set<std::string>>& tables, const char* table,
               std::string column) {
    auto found = tables.find(table);
    return found != tables.end() && found->second.count(NameKey(std::move(column))) != 0;
}

bool HasColumns(const std::map<std::string, std::set<std::string>>& tables, const char* table,
                std::initializer_list<const char*> columns) {
    return std::all_of(columns.begin(), columns.end(),
                       [&](const char* column) { return HasColumn(tables, table, column); });
}

// The leading columns of each full (not partial) index of `table`, in lower case.
std::vector<std::vector<std::string>> IndexColumns(TSqliteDatabase& database,
                                                   const std::string& table) {
    std::vector<std::vector<std::string>> indexes;
    auto list = database.Query("SELECT name, partial FROM pragma_index_list(?)", {table});
    std::vector<std::string> names;
    for (; !list->AtEnd(); list->Next()) {
        if (list->FieldAsInteger(1) == 0) {
            names.push_back(list->FieldAsText(0));
        }
    }
    for (const std::string& name : names) {
        std::vector<std::string> columns;
        auto info = database.Query("SELECT name FROM pragma_index_info(?) ORDER BY seqno", {name});
        for (; !info->AtEnd(); info->Next()) {
            columns.push_back(NameKey(info->FieldAsText(0)));
        }
        indexes.push_back(columns);
    }
    return indexes;
}

bool Leads(const std::vector<std::string>& index, std::initializer_list<const char*> columns) {
    if (index.size() < columns.size()) {
        return false;
    }
    return std::equal(columns.begin(), columns.end(), index.begin(),
                      [](const char* want, const std::string& have) { return have == want; });
}

int64_t RowCount(TSqliteDatabase& database, const std::string& table) {
    return database.Query("SELECT count(*) FROM " + table)->FieldAsInteger(0);
}

std::string Rows(int64_t count) {
    return Counted(count, "row", "rows");
}

// What the index situation of the file is: each missing or older index the tick and the page
// need, as the statement that makes the right one and the warning that says why.
struct TIndexGap {
    std::string What;
    std::string Detail;
    std::string Create;
};

std::vector<TIndexGap> IndexGaps(TSqliteDatabase& database,
                                 const std::map<std::string, std::set<std::string>>& tables) {
    std::vector<TIndexGap> gaps;
    if (HasColumns(tables, "Dates", {"Date", "Done", "Time"})) {
        bool chosen = false;
        bool older = false;
        for (const auto& index : IndexColumns(database, "Dates")) {
            chosen = chosen || Leads(index, {"date", "done"});
            older = older || Leads(index, {"date"});
        }
        if (!chosen) {
            int64_t rows = RowCount(database, "Dates");
            if (older) {
                gaps.push_back({"older index",
                                "Dates (Date): present but slower; each tick reads every "
                                "appointment of the day, done or not (" +
                                    Rows(rows) + " in Dates); " + DatesIndexColumns() +
                                    " reads only the open ones",
                                DatesIndexStatement()});
            } else {
                gaps.push_back({"missing index",
                                std::string("Dates ") + DatesIndexColumns() +
                                    ": each tick and each page view reads all " + Rows(rows) +
                                    " of Dates",
                                DatesIndexStatement()});
            }
        }
    }
    if (HasColumn(tables, "DayFlags", "Date")) {
        bool served = false;
        for (const auto& index : IndexColumns(database, "DayFlags")) {
            served = served || Leads(index, {"date"});
        }
        if (!served) {
            gaps.push_back({"missing index",
                            "DayFlags (Date): the tick in minute 0 of each hour reads all " +
                                Rows(RowCount(database, "DayFlags")) + " of DayFlags",
                            DayFlagsIndexStatement()});
        }
    }
    return gaps;
}

// A Done the module's `Done = 0` never matches and that is not a number: NULL or text.
constexpr const char* NeverOpenDone =
    "(typeof(Done) = 'null' OR (typeof(Done) IN ('text', 'blob') AND NOT Done = 0))";

void CheckDates(TSqliteDatabase& database, TDateTime today, TFindings& findings) {
    auto rows = database.Query(
        "SELECT ID, typeof(Date), Date, typeof(Time), Time, Script, Done = 0, " +
        std::string(NeverOpenDone) + ", typeof(Done), Done, Discription FROM Dates ORDER BY ID");
    for (; !rows->AtEnd(); rows->Next()) {
        int64_t id = rows->FieldAsInteger(0);
        std::string dateText = rows->FieldAsText(2);
        std::string timeText = rows->FieldAsText(4);
        TDateTime date = 0;
        bool dateUsable = true;
        try {
            date = DBTextToDate(dateText, '-');
        } catch (const EConvertError&) {
            dateUsable = false;
            findings.Error("unreadable Date",
                           IdDetail(id, RowValue(rows->FieldAsText(1), dateText)));
        }
        if (dateUsable && DateToDBText('-', date) != dateText) {
            dateUsable = false;
            findings.Error("Date not in stored form",
                           IdDetail(id, Quoted(dateText) + " never matches a day (stored form " +
                                            DateToDBText('-', date) + ")"));
        }
        bool timeReadable = true;
        try {
            ParseTime(timeText);
        } catch (const EConvertError&) {
            timeReadable = false;
            findings.Error("unreadable Time",
                           IdDetail(id, RowValue(rows->FieldAsText(3), timeText)));
        }
        if (rows->FieldAsInteger(7) != 0) {
            std::string type = rows->FieldAsText(8);
            findings.Error("Done never open",
                           IdDetail(id, RowValue(type, rows->FieldAsText(9)) +
                                            " is never read as open, so it never fires"));
        }
        bool open = rows->FieldAsInteger(6) != 0;
        if (!open || !dateUsable || !timeReadable) {
            continue;
        }
        std::string when = dateText + " " + timeText + " " + Quoted(rows->FieldAsText(10));
        if (date < today) {
            findings.Note("missed appointment", IdDetail(id, when + " is open but its day has "
                                                                    "passed; it never fires"));
        } else if (IsBlankScript(rows->FieldAsText(5))) {
            findings.Note("blank script",
                          IdDetail(id, when + " sets the trigger variable every minute of its "
                                              "day and never finishes"));
        }
    }
}

void CheckDayFlags(TSqliteDatabase& database, bool haveFlags, TFindings& findings) {
    auto rows = database.Query(std::string("SELECT rowid, typeof(Date), Date, FlagID, ") +
                               (haveFlags ? "FlagID IN (SELECT ID FROM Flags)" : "1") +
                               " FROM DayFlags ORDER BY rowid");
    for (; !rows->AtEnd(); rows->Next()) {
        std::string dateText = rows->FieldAsText(2);
        std::string row = "row " + std::to_string(rows->FieldAsInteger(0)) + ": ";
        try {
            DBTextToDate(dateText, '-');
        } catch (const EConvertError&) {
            findings.Error("unreadable DayFlags Date",
                           row + RowValue(rows->FieldAsText(1), dateText) +
                               " (the page cannot load its day flags)");
        }
        if (rows->FieldAsInteger(4) == 0) {
            findings.Error("day flag of no flag", row + Quoted(dateText) + " names flag ID " +
                                                      std::to_string(rows->FieldAsInteger(3)) +
                                                      ", which does not exist");
        }
    }
}

const char* KindWord(TFindingKind kind) {
    switch (kind) {
        case TFindingKind::Error:
            return "error";
        case TFindingKind::Warning:
            return "warning";
        case TFindingKind::Note:
            return "note";
        case TFindingKind::Fixed:
            return "fixed";
    }
    return "?";
}

}  // namespace

// What another program may have added that changes rows behind the module's back, and flags the
// host cannot tell apart.
void CheckHostileObjects(TSqliteDatabase& database,
                         const std::map<std::string, std::set<std::string>>& tables,
                         TFindings& findings) {
    auto triggers = database.Query(
        "SELECT name, tbl_name FROM sqlite_master WHERE type = 'trigger' AND tbl_name IN "
        "('Dates', 'DayFlags', 'Flags') COLLATE NOCASE ORDER BY name");
    for (; !triggers->AtEnd(); triggers->Next()) {
        findings.Warning("trigger", Quoted(triggers->FieldAsText(0)) + " on " +
                                        triggers->FieldAsText(1) +
                                        " changes rows as the module writes them (one that "
                                        "reopens rows fires them again)");
    }
    if (!HasColumns(tables, "Flags", {"ID", "Caption", "Variable"})) {
        return;
    }
    auto shared = database.Query(
        "SELECT Variable, group_concat(coalesce(Caption, 'NULL'), ', ') FROM Flags WHERE "
        "Variable IS NOT NULL GROUP BY Variable COLLATE NOCASE HAVING count(*) > 1 ORDER BY "
        "Variable");
    for (; !shared->AtEnd(); shared->Next()) {
        findings.Warning("flags share a variable", Quoted(shared->FieldAsText(0)) + " is set by " +
                                                       shared->FieldAsText(1) +
                                                       ": the host cannot tell them apart");
    }
    auto uncaptioned = database.Query("SELECT ID FROM Flags WHERE Caption IS NULL ORDER BY ID");
    for (; !uncaptioned->AtEnd(); uncaptioned->Next()) {
        findings.Error("flag without caption",
                       "ID " + std::to_string(uncaptioned->FieldAsInteger(0)) +
                           ": the page and the tool name flags by their caption");
    }
}

// Sources and standing rules keep a calendar current only while refresh runs: each that runs dry
// within a month, or whose refresh failed or stopped, is named.
void CheckSources(TSqliteDatabase& database, TDateTime today, TFindings& findings) {
    constexpr int DryWithinDays = 30;
    constexpr int StaleAfterDays = 7;
    std::string dryBy = DateToDBText('-', today + DryWithinDays);
    std::string staleBefore = DateToDBText('-', today - StaleAfterDays);
    for (const TSource& source : ReadSources(database)) {
        std::string name = Quoted(source.Name) + ": ";
        std::string since = source.LastRun.empty() ? "it was made" : source.LastRun;
        if (source.LastResult.rfind("failed", 0) == 0) {
            findings.Warning("refresh failed",
                             name + "the last refresh (" + since + ") " + source.LastResult);
        } else if (source.Kind != StdinSource && source.LastRun.substr(0, 10) < staleBefore) {
            findings.Warning("refresh not run", name + "refresh has not run since " + since);
        }
        if (source.Through < dryBy) {
            findings.Warning("source runs dry", name + "written up to " + source.Through +
                                                    (source.Kind == StdinSource
                                                         ? " (import it again to go further)"
                                                         : " (mondrel-db refresh writes further)"));
            continue;
        }
        // A calendar that stops publishing still has its window written far ahead: its last
        // occurrence tells.
        bool calendar =
            source.Kind == FileSource || source.Kind == UrlSource || source.Kind == StdinSource;
        if (calendar) {
            auto last = database.Query(
                "SELECT max(Day) FROM (SELECT coalesce(d.Date, i.Date) AS Day FROM MondrelImports "
                "i LEFT JOIN Dates d ON d.ID = i.ID WHERE i.Source = ?1 UNION ALL SELECT Date FROM "
                "MondrelFlagRecords WHERE Source = ?1)",
                {std::string_view(source.Name)});
            std::string lastDay = last->AtEnd() ? "" : last->FieldAsText(0);
            if (lastDay.substr(0, 10) < dryBy) {
                findings.Warning(
                    "source runs dry",
                    name +
                        (lastDay.empty() ? "it has no occurrence"
                                         : "its last occurrence is on " + lastDay.substr(0, 10)) +
                        ", less than " + std::to_string(DryWithinDays) +
                        " days ahead: has the calendar stopped publishing?");
            }
        }
    }
}

std::vector<TFinding> CheckDatabase(const std::string& Path, TDateTime Today) {
    return InTransaction(Path, [&](TDBTransaction& transaction) {
        TSqliteDatabase& database = transaction.Database();
        TFindings findings;
        auto tables = ReadSchema(database);
        for (const TTableSpec& table : Schema) {
            if (tables.count(table.Name) == 0) {
                auto view = database.Query(
                    "SELECT name FROM sqlite_master WHERE type = 'view' AND name = ? COLLATE "
                    "NOCASE",
                    {std::string_view(table.Name)});
                if (!view->AtEnd()) {
                    findings.Error("table is a view",
                                   std::string(table.Name) +
                                       ": the module reads it but cannot write to it (no row "
                                       "is ever marked done)");
                } else {
                    findings.Error("missing table", table.Name);
                }
                continue;
            }
            for (const char* column : table.Columns) {
                if (!HasColumn(tables, table.Name, column)) {
                    findings.Error("missing column", std::string(table.Name) + "." + column);
                }
            }
        }
        for (const TIndexGap& gap : IndexGaps(database, tables)) {
            findings.Warning(gap.What, gap.Detail);
        }
        if (HasColumns(tables, "Dates", {"ID", "Date", "Time", "Discription", "Script", "Done"})) {
            CheckDates(database, Today, findings);
        }
        if (HasColumns(tables, "DayFlags", {"Date", "FlagID"})) {
            CheckDayFlags(database, HasColumn(tables, "Flags", "ID"), findings);
        }
        CheckHostileObjects(database, tables, findings);
        CheckSources(database, Today, findings);
        return std::move(findings).Sorted();
    });
}

std::vector<TFinding> FixDatabase(const std::string& Path, TDateTime Today) {
    return InTransaction(Path, TDBTransaction::AsWriter, [&](TDBTransaction& transaction) {
        TSqliteDatabase& database = transaction.Database();
        TFindings done;
        auto tables = ReadSchema(database);
        for (const TIndexGap& gap : IndexGaps(database, tables)) {
            database.Execute(gap.Create);
            done.Add(TFindingKind::Fixed, "added index", gap.Create);
        }
        if (HasColumns(tables, "Dates", {"ID", "Date", "Time", "Discription", "Done"})) {
            std::vector<int64_t> opened;
            std::string today = DateToDBText('-', Today);
            auto rows = database.Query(
                "SELECT ID, typeof(Done), Done, Date, Time, Discription "
                "FROM Dates WHERE " +
                std::string(NeverOpenDone) + " ORDER BY ID");
            for (; !rows->AtEnd(); rows->Next()) {
                int64_t id = rows->FieldAsInteger(0);
                done.Add(
                    TFindingKind::Fixed, "Done set to 0",
                    IdDetail(id, "was " + RowValue(rows->FieldAsText(1), rows->FieldAsText(2))));
                if (rows->FieldAsText(3) == today) {
                    done.Warning("opened today", IdDetail(id, rows->FieldAsText(4) + " " +
                                                                  Quoted(rows->FieldAsText(5)) +
                                                                  " fires at the next tick"));
                }
                opened.push_back(id);
            }
            rows.reset();
            for (int64_t id : opened) {
                database.Execute("UPDATE Dates SET Done = 0 WHERE ID = ?", {id});
            }
        }
        return std::move(done).Sorted();
    });
}

void PrintLines(std::ostream& Out, const std::vector<TFinding>& Findings) {
    // Grouped by kind of finding, in the order the groups first appear.
    std::vector<std::vector<const TFinding*>> groups;
    std::map<std::pair<TFindingKind, std::string>, size_t> groupOf;
    for (const TFinding& finding : Findings) {
        auto [at, added] = groupOf.try_emplace({finding.Kind, finding.What}, groups.size());
        if (added) {
            groups.emplace_back();
        }
        groups[at->second].push_back(&finding);
    }
    for (const auto& group : groups) {
        size_t shown = std::min<size_t>(group.size(), MaxLinesPerWhat);
        for (size_t i = 0; i < shown; ++i) {
            Out << KindWord(group[i]->Kind) << "  " << group[i]->What << "  " << group[i]->Detail
                << '\n';
        }
        if (group.size() > shown) {
            Out << "\u2026 and " << group.size() - shown << " more\n";
        }
    }
}

int PrintFindings(std::ostream& Out, const std::vector<TFinding>& Findings) {
    int64_t counts[3] = {0, 0, 0};
    for (const TFinding& finding : Findings) {
        if (finding.Kind != TFindingKind::Fixed) {
            ++counts[static_cast<int>(finding.Kind)];
        }
    }
    PrintLines(Out, Findings);
    Out << Counted(counts[0], "error", "errors") << ", "
        << Counted(counts[1], "warning", "warnings") << ", " << Counted(counts[2], "note", "notes")
        << '\n';
    return static_cast<int>(std::min<int64_t>(counts[0], 1 << 30));
}
