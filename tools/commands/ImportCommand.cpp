#include "ImportCommand.h"

#include <algorithm>
#include <map>
#include <optional>
#include <ostream>

#include "Clock.h"
#include "CommandSupport.h"
#include "DBCnx.h"
#include "DayFlagWrites.h"
#include "ICalendarSupport.h"
#include "MondrelError.h"
#include "Sqlite3Db.h"
#include "TimeText.h"
#include "ToolTables.h"

namespace {

constexpr const char* FlagCategory = "MONDREL-FLAG";

struct TImportOptions {
    std::string Path;
    std::string File;
    std::string Script;
    std::string Value;
    std::optional<std::string> AsFlag;
    bool DryRun = false;
    TDateTime From = 0;
    TDateTime Until = 0;
};

struct TFlagDay {
    TDateTime Day = 0;
    int64_t FlagID = 0;
    std::string Caption;
};

// What the calendar asks for, before anything is compared with the file.
struct TWanted {
    std::vector<TWantedRow> Rows;
    std::vector<TFlagDay> FlagDays;
    TImportScope Scope;
    size_t Skipped = 0;
    size_t OwnRows = 0;  // rows of this file in an export of it
};

struct TCounts {
    size_t Added = 0;
    size_t Updated = 0;
    size_t Removed = 0;
    size_t Unchanged = 0;
    size_t Skipped = 0;
};

// One line of --dry-run, sorted by what it starts with (the day, then the time).
using TPlannedLine = std::string;

void Warn(TToolStreams& streams, const std::string& message) {
    streams.Err << "mondrel-db: import: " << message << '\n';
}

bool IsFlagEvent(const TICalEvent& event) {
    return std::any_of(event.Categories.begin(), event.Categories.end(),
                       [](const std::string& category) { return category == FlagCategory; });
}

TImportValues ValuesOf(const TICalEvent& event, const TICalOccurrence& occurrence,
                       const TImportOptions& options) {
    TImportValues values;
    values.Date = DateToDBText('-', StampDay(occurrence.Start));
    values.Time = FormatLongTime(StampTime(occurrence.Start));
    values.Discription = event.Summary;
    values.Value = event.Value.value_or(options.Value);
    values.Script = event.Script.value_or(options.Script);
    values.Done = event.Done.value_or(0) != 0 ? 1 : 0;
    return values;
}

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

// The flag of a flag event: --as-flag for every event, else the one captioned as the event's
// summary (looked up once per caption).
std::optional<TFlag> FlagFor(TDBTransaction& transaction, const std::string& caption,
                             std::map<std::string, std::optional<TFlag>>& known) {
    auto found = known.find(caption);
    if (found == known.end()) {
        std::optional<TFlag> flag;
        try {
            flag = FlagByCaption(transaction, caption);
        } catch (const ESqliteException&) {
            throw;
        } catch (const EMondrelError&) {
        }
        found = known.emplace(caption, flag).first;
    }
    return found->second;
}

TWanted Collect(TDBTransaction& transaction, const TICalendar& calendar,
                const TImportOptions& options, TToolStreams& streams) {
    TWanted wanted;
    wanted.Scope.From = DateToDBText('-', options.From);
    wanted.Scope.Until = DateToDBText('-', options.Until);
    for (const TICalSkipped& skipped : calendar.Skipped) {
        Warn(streams, "skipped event " + Printable(skipped.Name) + ": " + skipped.Reason);
        if (!skipped.UID.empty()) {
            wanted.Scope.KeptUIDs.insert(skipped.UID);
        }
        ++wanted.Skipped;
    }

    std::optional<TFlag> asFlag;
    if (options.AsFlag) {
        asFlag = FlagByCaption(transaction, *options.AsFlag);  // none: exit 1, nothing written
    }
    std::map<std::string, std::optional<TFlag>> flags;
    // An export of this very file names its own rows: importing it again must not copy them.
    std::string ownToken = ReadFileToken(transaction.Database());
    for (const TICalEvent& event : calendar.Events) {
        if (IsExportedUID(event.UID, ownToken) && !asFlag && !IsFlagEvent(event)) {
            wanted.OwnRows += event.Occurrences.size();
            continue;
        }
        if (!event.Cancelled) {
            wanted.Scope.PresentUIDs.insert(event.UID);
        }
        if (event.Capped) {
            Warn(streams, "event " + Printable(event.Name) + " has more than " +
                              std::to_string(ICalOccurrenceCap) + " occurrences; the first " +
                              std::to_string(ICalOccurrenceCap) + " are imported");
        }
        if (asFlag || IsFlagEvent(event)) {
            std::optional<TFlag> flag =
                asFlag ? asFlag : FlagFor(transaction, event.Summary, flags);
            if (!flag) {
                Warn(streams, "skipped event " + Printable(event.Name) + ": no flag \"" +
                                  Printable(event.Summary) + "\"");
                ++wanted.Skipped;
                continue;
            }
            for (const TICalOccurrence& occurrence : event.Occurrences) {
                wanted.FlagDays.push_back({StampDay(occurrence.Start), flag->ID, flag->Caption});
            }
            continue;
        }
        for (const TICalOccurrence& occurrence : event.Occurrences) {
            wanted.Rows.push_back(
                {{event.UID, occurrence.RecurrenceID}, ValuesOf(event, occurrence, options)});
        }
    }
    return wanted;
}

TPlannedLine AppointmentLine(const TImportValues& values) {
    return values.Date + ' ' + values.Time + "  " + Printable(values.Discription);
}

int64_t AddAppointment(TDBTransaction& transaction, const TImportValues& values) {
    AddDate(transaction, AppointmentOf(values, -1));
    int64_t id = transaction.Database().Query("SELECT last_insert_rowid()")->FieldAsInteger(0);
    if (values.Done != 0) {
        SetDateDone(transaction, id);
    }
    return id;
}

// Carries the plan out inside the transaction; answers the lines of what was written.
std::vector<TPlannedLine> Apply(TDBTransaction& transaction, const TImportPlan& plan,
                                const TWanted& wanted, TCounts& counts) {
    TSqliteDatabase& database = transaction.Database();
    CreateImportTable(database);
    std::vector<TPlannedLine> lines;
    for (const TWantedRow& row : plan.Add) {
        AddImportRecord(database, AddAppointment(transaction, row.Values), row.Key, row.Values);
        lines.push_back(AppointmentLine(row.Values));
    }
    for (const TImportPlan::TUpdate& update : plan.Update) {
        UpdateDate(transaction, AppointmentOf(update.Values, update.Record.ID));
        if (update.Values.Done != 0) {
            SetDateDone(transaction, update.Record.ID);
        }
        UpdateImportRecord(database, update.Record.RecordID, update.Values);
        lines.push_back(AppointmentLine(update.Values));
    }
    for (const TImportRecord& record : plan.Remove) {
        DeleteDate(transaction, record.ID);
        DeleteImportRecord(database, record.RecordID);
    }
    for (const TImportRecord& record : plan.Forget) {
        DeleteImportRecord(database, record.RecordID);
    }
    counts.Added = plan.Add.size();
    counts.Updated = plan.Update.size();
    counts.Removed = plan.Remove.size();
    counts.Unchanged = plan.Unchanged + wanted.OwnRows;

    for (const TFlagDay& day : wanted.FlagDays) {
        if (AddFlagToDays(transaction, day.FlagID, {day.Day}).Changed != 0) {
            ++counts.Added;
            lines.push_back(DateToDBText('-', day.Day) + "  " + Printable(day.Caption));
        } else {
            ++counts.Unchanged;
        }
    }
    std::stable_sort(lines.begin(), lines.end());
    return lines;
}

size_t WithoutScript(const TImportPlan& plan) {
    size_t count = 0;
    for (const TWantedRow& row : plan.Add) {
        count += row.Values.Script.empty() ? 1 : 0;
    }
    for (const TImportPlan::TUpdate& update : plan.Update) {
        count += update.Values.Script.empty() ? 1 : 0;
    }
    return count;
}

TImportOptions ReadOptions(const TArguments& Args) {
    TImportOptions options;
    options.Path = Args.Positional("PATH");
    options.File = Args.Positional("FILE");
    options.Script = Args.Option("script");
    options.Value = Args.Option("value");
    if (Args.Has("as-flag")) {
        options.AsFlag = Args.Option("as-flag");
    }
    options.DryRun = Args.Has("dry-run");
    options.From = Args.Has("from") ? Args.Day("from") : DateOf(Now());
    options.Until = Args.Has("until") ? Args.Day("until") : OneYearAfter(DateOf(Now()));
    if (options.From > options.Until) {
        Args.Fail("--from " + DateToDBText('-', options.From) + " is after --until " +
                  DateToDBText('-', options.Until));
    }
    return options;
}

int Import(const TArguments& Args, TToolStreams& Streams) {
    TImportOptions options = ReadOptions(Args);
    RequireDatabaseFile(options.Path);
    TICalendar calendar = ReadICalendar(ReadCalendarText(options.File, Streams.In),
                                        {ToStamp(options.From), ToStamp(options.Until)});

    TCounts counts;
    size_t withoutScript = 0;
    std::vector<TPlannedLine> lines;
    {
        // One transaction for all of it; a dry run carries the plan out the same way and
        // leaves without committing.
        TDBTransaction transaction(options.Path, TDBTransaction::AsWriter);
        TWanted wanted = Collect(transaction, calendar, options, Streams);
        TImportPlan plan =
            PlanImport(wanted.Rows, ReadImportRecords(transaction.Database()), wanted.Scope);
        lines = Apply(transaction, plan, wanted, counts);
        counts.Skipped = wanted.Skipped;
        withoutScript = WithoutScript(plan);
        if (!options.DryRun) {
            transaction.Commit();
        }
    }
    if (withoutScript != 0) {
        Warn(Streams, std::to_string(withoutScript) +
                          (withoutScript == 1 ? " appointment has" : " appointments have") +
                          " no script: each sets Mondrel_TriggerValue every minute of its day "
                          "and never finishes (--script NAME gives them one)");
    }
    if (options.DryRun) {
        for (const TPlannedLine& line : lines) {
            Streams.Out << line << '\n';
        }
    }
    Streams.Out << counts.Added << " added, " << counts.Updated << " updated, " << counts.Removed
                << " removed, " << counts.Unchanged << " unchanged, " << counts.Skipped
                << " skipped\n";
    return 0;
}

}  // namespace

const TCommand ImportCommand = {
    "import",
    "import PATH FILE [--script NAME] [--value TEXT] [--from YYYY-MM-DD] [--until YYYY-MM-DD] "
    "[--as-flag CAPTION] [--dry-run]",
    {.Positionals = {"PATH", "FILE"},
     .Options = {"script", "value", "from", "until", "as-flag"},
     .Switches = {"dry-run"}},
    Import};
