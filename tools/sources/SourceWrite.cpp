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

std::string NoteLine(const TEditNote& note) {
    const std::string what = "'" + Printable(note.Row.Discription) + "'";
    switch (note.Kind) {
        case TEditNote::Moved:
            return "kept your edit of " + what + " and moved it from " + note.Row.Date + " to " +
                   note.Feed.Date + ", as the feed did";
        case TEditNote::Kept:
            return (note.Row.Done != 0 ? "kept " + what + " " + note.Row.Date + " (done)"
                                       : "kept your edit of " + what + " " + note.Row.Date) +
                   "; the feed now has it on " + note.Feed.Date;
        case TEditNote::Renamed:
            break;
    }
    return "kept your edit of " + what + " " + note.Row.Date +
           " for the feed's event of that day, which it now names anew: no second row";
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
        UpdateImportRecord(database, update.Record.RecordID, update.Recorded);
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
    for (const TImportPlan::TRecordOnly& record : plan.Rerecord) {
        RerecordImport(database, record.RecordID, record.Now);
    }
    for (const TEditNote& note : plan.Notes) {
        write.Notes.push_back(NoteLine(note));
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

// Days by flag, as the store's day-flag operations take them.
using TDaysByFlag = std::map<int64_t, std::vector<TDateTime>>;

// Takes the rows the source added back off their days. One row each only: a day that holds the
// flag twice keeps the row another writer added. Answers the days that lost a row.
size_t TakeFlagsBack(TDBTransaction& transaction, const TDaysByFlag& days) {
    size_t taken = 0;
    for (const auto& [flagID, flagDays] : days) {
        taken += RemoveFlagFromDays(transaction, flagID, flagDays, TFlagRowsOff::One).Changed;
    }
    return taken;
}

// A day the source flagged and that left it loses the flag, unless it lies before the window
// (days gone by keep what they had) or the user took the flag off already.
void WriteFlags(TDBTransaction& transaction, const std::string& source, const TSourceWanted& wanted,
                bool listLines, TSourceWrite& write) {
    TSqliteDatabase& database = transaction.Database();
    std::map<std::pair<std::string, int64_t>, TFlagRecord> records;
    for (const TFlagRecord& record : ReadFlagRecords(database, source)) {
        records.emplace(std::make_pair(record.Date, record.FlagID), record);
    }
    std::set<std::pair<std::string, int64_t>> seen;
    std::vector<const TFlagDay*> unrecorded;
    TDaysByFlag unrecordedDays;
    for (const TFlagDay& day : wanted.FlagDays) {
        auto key = std::make_pair(day.Date, day.FlagID);
        if (!seen.insert(key).second) {
            continue;
        }
        if (records.erase(key) != 0) {
            ++write.Counts.Unchanged;  // flagged before, or taken off by the user since
            continue;
        }
        unrecorded.push_back(&day);
        unrecordedDays[day.FlagID].push_back(DBTextToDate(day.Date, '-'));
    }
    std::set<std::pair<std::string, int64_t>> added;
    for (const auto& [flagID, days] : unrecordedDays) {
        for (const std::string& day : AddFlagToDays(transaction, flagID, days).ChangedDays) {
            added.emplace(day, flagID);
        }
    }
    for (const TFlagDay* day : unrecorded) {
        // A day that had the flag already is recorded as not written: the row stays its owner's.
        bool wrote = added.count({day->Date, day->FlagID}) != 0;
        if (wrote) {
            ++write.Counts.Added;
            if (listLines) {
                write.Lines.push_back(day->Date + "  " + Printable(day->Caption));
            }
        } else {
            ++write.Counts.Unchanged;
        }
        AddFlagRecord(database, source, day->Date, day->FlagID, wrote);
    }
    TDaysByFlag gone;
    for (const auto& [key, record] : records) {
        if (record.Date >= wanted.Scope.From && DropFlagRecord(database, record)) {
            gone[record.FlagID].push_back(DBTextToDate(record.Date, '-'));
        }
    }
    write.Counts.Removed += TakeFlagsBack(transaction, gone);
}

}  // namespace

TSourceWrite WriteSource(TDBTransaction& Transaction, const std::string& Source,
                         const TSourceWanted& Wanted, bool ListLines) {
    TSqliteDatabase& database = Transaction.Database();
    CreateSourceTables(database);
    TSourceWrite write;
    TImportPlan plan = PlanImport(Wanted.Rows, ReadImportRecords(database, Source), Wanted.Scope);
    WriteRows(Transaction, Source, plan, ListLines, write);
    WriteFlags(Transaction, Source, Wanted, ListLines, write);
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
    TDaysByFlag gone;
    for (const TFlagRecord& record : ReadFlagRecords(database, Source)) {
        if (DropFlagRecord(database, record) && !KeepRows) {
            gone[record.FlagID].push_back(DBTextToDate(record.Date, '-'));
        }
    }
    removed.Removed += TakeFlagsBack(Transaction, gone);
    return removed;
}
