#include "RemoveCommand.h"

#include <ostream>
#include <set>

#include "CommandSupport.h"
#include "DBCnx.h"
#include "DavSource.h"
#include "MondrelError.h"
#include "SourceTables.h"
#include "ToolTables.h"

namespace {

struct TRemoval {
    TDates Dates;                    // readable rows
    std::vector<std::string> Lines;  // rows that cannot be read, each as one line
};

// The appointments given by ID, all of them or an error: one missing or done (without
// --done) removes nothing. A row that cannot be read never fires; it goes, named as it is.
TRemoval ByID(TDBTransaction& transaction, const std::vector<int64_t>& ids, bool withDone,
              const std::string& tag = "") {
    TRemoval removal;
    std::set<int64_t> seen;
    for (int64_t id : ids) {
        if (!seen.insert(id).second) {
            continue;
        }
        if (!HasDate(transaction, id)) {
            throw ERowChanged("No appointment with ID " + std::to_string(id) + ".");
        }
        TMondrelDate date;
        try {
            date = GetDate(transaction, id);
        } catch (const EConvertError& error) {
            removal.Lines.push_back("ID " + std::to_string(id) + ": unreadable (" +
                                    Printable(error.what()) + ")");
            DeleteDate(transaction, id);
            continue;
        }
        RequireTag(date, tag);
        if (date.Done != 0 && !withDone) {
            throw EMondrelError("The appointment " + std::to_string(id) +
                                " is done; --done removes done appointments too.");
        }
        removal.Dates.push_back(date);
    }
    return removal;
}

// The rows a source wrote that are still in the file, edited ones included. Their records stay:
// to the source they are rows the user deleted, so a refresh does not bring them back.
std::vector<int64_t> SourceRowIDs(TDBTransaction& transaction, const std::string& source) {
    TSqliteDatabase& database = transaction.Database();
    std::vector<TImportRecord> records = ReadImportRecords(database, source);
    if (records.empty() && !FindSource(database, source)) {
        throw EMondrelError("no source named \"" + source + "\" (mondrel-db sources lists them)");
    }
    std::vector<int64_t> ids;
    for (const TImportRecord& record : records) {
        if (record.RowExists) {
            ids.push_back(record.ID);
        }
    }
    return ids;
}

int Remove(const TArguments& Args, TToolStreams& Streams) {
    std::string path = Args.Positional("PATH");
    bool byRange = Args.Has("from") || Args.Has("to");
    std::vector<int64_t> ids;
    for (const std::string& text : Args.MorePositionals()) {
        ids.push_back(Args.Key("ID", text));
    }
    bool bySource = Args.Has("source");
    if (bySource && !ids.empty()) {
        Args.Fail("give IDs or --source, not both");
    }
    if (!bySource && byRange == !ids.empty()) {
        Args.Fail(byRange ? "give IDs or --from and --to, not both"
                          : "no ID given (or --from and --to, or --source)");
    }
    if (Args.Has("if-match") && ids.size() != 1) {
        Args.Fail("--if-match goes with one ID");
    }
    if (!byRange && !bySource && Args.Has("description")) {
        Args.Fail("--description goes with --from and --to, or --source");
    }
    TDateTime from = 0, to = 0;
    if (byRange) {
        Args.Required("from");
        Args.Required("to");
        from = Args.Day("from");
        to = Args.Day("to");
        if (from > to) {
            Args.Fail("--from " + Args.Option("from") + " is after --to " + Args.Option("to"));
        }
    }
    bool withDone = Args.Has("done");
    bool dryRun = Args.Has("dry-run");
    RequireDatabaseFile(path);

    TSkippedRows skipped;
    // Begun as a writer, so that it waits for another writer like every command that writes.
    TDBTransaction transaction(path, TDBTransaction::AsWriter);
    TRemoval removal;
    if (bySource) {
        TRemoval found = ByID(transaction, SourceRowIDs(transaction, Args.Option("source")), true);
        removal.Lines = found.Lines;
        for (const TMondrelDate& date : found.Dates) {
            if ((withDone || date.Done == 0) &&
                (!byRange || (date.Date >= from && date.Date <= to)) &&
                (!Args.Has("description") || date.Discription == Args.Option("description"))) {
                removal.Dates.push_back(date);
            }
        }
    } else if (byRange) {
        for (const TMondrelDate& date : GetDatesBetween(transaction, from, to, &skipped)) {
            if ((withDone || date.Done == 0) &&
                (!Args.Has("description") || date.Discription == Args.Option("description"))) {
                removal.Dates.push_back(date);
            }
        }
    } else {
        removal = ByID(transaction, ids, withDone, Args.Option("if-match"));
    }
    SortByDay(removal.Dates);
    for (const TMondrelDate& date : removal.Dates) {
        DeleteDate(transaction, date.ID);
        removal.Lines.push_back(AppointmentLine(date));
    }
    // A dry run makes the same deletes and never commits them.
    if (!dryRun) {
        transaction.Commit();
    }
    ReportSkippedRows(Streams, "remove", skipped);
    for (const std::string& line : removal.Lines) {
        Streams.Out << (dryRun ? "Would remove " : "Removed ") << line << '\n';
    }
    size_t count = removal.Lines.size();
    Streams.Out << count << (count == 1 ? " appointment" : " appointments")
                << (dryRun ? " would be removed\n" : " removed\n");
    std::vector<int64_t> removed;
    for (const TMondrelDate& date : removal.Dates) {
        removed.push_back(date.ID);
    }
    return dryRun ? 0 : WriteBackRows(path, removed, Streams);
}

}  // namespace

const TCommand RemoveCommand = {
    "remove",
    "remove PATH (ID... | [--source NAME] --from YYYY-MM-DD --to YYYY-MM-DD [--description TEXT] "
    "| --source NAME) [--done] [--dry-run] [--if-match TAG]",
    {.Positionals = {"PATH"},
     .Options = {"from", "to", "description", "source", "if-match"},
     .Switches = {"done", "dry-run"},
     .MorePositionals = "ID"},
    Remove,
    {{"ID...", "the appointments' IDs, as `mondrel-db list PATH` shows them"},
     {"--from YYYY-MM-DD", "the first day of a range (with --to)"},
     {"--to YYYY-MM-DD", "the last day of a range (with --from)"},
     {"--description TEXT", "in the range only appointments of exactly this text (default: all)"},
     {"--source NAME",
      "the rows that source or standing rule wrote; refresh does not bring them back"},
     {"--done", "done appointments too (default: open ones only)"},
     {"--dry-run", "print what the run would remove and remove nothing (default: remove)"},
     {"--if-match TAG", "with one ID: remove nothing unless the row still carries this tag"}}};
