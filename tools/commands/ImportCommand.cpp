#include "ImportCommand.h"

#include <filesystem>
#include <optional>
#include <ostream>

#include "Clock.h"
#include "CommandSupport.h"
#include "DBCnx.h"
#include "DavSource.h"
#include "FeedFetch.h"
#include "ICalendarSupport.h"
#include "SourceRun.h"
#include "SourceTables.h"

namespace {

void Warn(TToolStreams& streams, const std::string& message) {
    streams.Err << "mondrel-db: import: " << message << '\n';
}

// A URL source signed in with --user and --password-file keeps the address without user and
// password, the user, and the file's full path: never the password itself. A password in the
// URL still works, but is kept in the database, which the import says.
void TakeFeedAccount(const TArguments& Args, TSource& source, TToolStreams& streams) {
    const std::string file = Args.Positional("FILE");
    TUrlAccount split = SplitUrlAccount(file);
    if (!Args.Has("user") && !Args.Has("password-file")) {
        if (split.HasPassword) {
            Warn(streams,
                 "the password in the URL is kept in the database (it is shown as "
                 "user:***@); --user NAME --password-file FILE keeps it out");
        }
        return;
    }
    if (split.HasPassword) {
        Args.Fail("the URL holds a password; with --user or --password-file give it without");
    }
    source.Location = split.Url;
    std::vector<std::string>& options = source.Options;
    for (size_t i = 0; i + 1 < options.size(); ++i) {
        if (options[i] == "--password-file") {
            // refresh may run from another directory
            options[i + 1] = std::filesystem::absolute(options[i + 1]).lexically_normal().string();
        }
    }
    if (!Args.Has("user")) {
        if (split.Account.User.empty()) {
            Args.Fail("--password-file needs --user NAME (or a user in the URL)");
        }
        options.insert(options.end(), {"--user", split.Account.User});
    }
}

// The source the import belongs to: --source NAME, else the file or URL as given.
TSource SourceOf(const TArguments& Args, TToolStreams& Streams) {
    std::string file = Args.Positional("FILE");
    TSource source;
    source.Name = SourceNameOption(Args);
    if (file == "-") {
        if (source.Name.empty()) {
            Args.Fail("reading standard input needs --source NAME");
        }
        source.Kind = StdinSource;
    } else if (Args.Has("caldav")) {
        if (!IsFeedUrl(file) || LowerCase(file).rfind("webcal://", 0) == 0) {
            Args.Fail("--caldav needs the http:// or https:// address of a calendar");
        }
        source.Kind = CalDavSource;
        source.Location = file;
    } else if (IsFeedUrl(file)) {
        source.Kind = UrlSource;
        source.Location = file;
    } else {
        source.Kind = FileSource;
        // refresh may run from another directory
        source.Location = std::filesystem::absolute(file).lexically_normal().string();
    }
    for (const char* account : {"user", "password-file", "two-way"}) {
        bool url = source.Kind == UrlSource && std::string(account) != "two-way";
        if (Args.Has(account) && source.Kind != CalDavSource && !url) {
            Args.Fail("--" + std::string(account) + " belongs to --caldav" +
                      (std::string(account) == "two-way" ? "" : " or a URL"));
        }
    }
    if (source.Name.empty()) {
        // A password in the URL is never shown, so it names no source either.
        source.Name = ShownUrl(file);
    }
    source.Options = KeptOptions(source.Kind, Args);
    if (source.Kind == UrlSource) {
        TakeFeedAccount(Args, source, Streams);
    }
    CheckKeptOptions(source.Kind, TArguments("import", KeptGrammar(source.Kind), source.Options));
    return source;
}

int Import(const TArguments& Args, TToolStreams& Streams) {
    TSource source = SourceOf(Args, Streams);
    TRunOptions run;
    run.Path = Args.Positional("PATH");
    run.Command = "import";
    run.DryRun = Args.Has("dry-run");
    run.AllowEmpty = Args.Has("allow-empty");
    // Without options of its own, an import of a known source runs with the stored ones.
    run.ReuseOptions = source.Options.empty();
    TDateTime today = DateOf(Now());
    run.From = Args.Has("from") ? Args.Day("from") : today;
    run.Until = Args.Has("until") ? Args.Day("until") : today + DefaultHorizonDays;
    if (run.From > run.Until) {
        Args.Fail("--from " + DateToDBText('-', run.From) + " is after --until " +
                  DateToDBText('-', run.Until));
    }
    run.Warn = [&](const std::string& message) { Warn(Streams, message); };
    RequireDatabaseFile(run.Path);
    // A source made before passwords were hidden is named by its whole URL: it stays that source.
    const std::string file = Args.Positional("FILE");
    if (!Args.Has("source") && source.Name != file && source.Kind == UrlSource &&
        InTransaction(run.Path, [&](TDBTransaction& transaction) {
            return FindSource(transaction.Database(), file).has_value();
        })) {
        source.Name = file;
    }
    TSourceWrite write;
    if (source.Kind == CalDavSource) {
        // Everything is read before anything is written: a server that fails changes nothing.
        write = RunDavSource(source, run,
                             TDavAccountOptions{Args.Option("user"), Args.Option("password-file"),
                                                Args.Has("two-way")})
                    .Write;
    } else {
        // Read (or fetched) before anything is written: a feed that fails changes nothing.
        std::vector<std::string> options = source.Options;
        if (source.Kind == UrlSource && run.ReuseOptions) {
            std::optional<TSource> known =
                InTransaction(run.Path, [&](TDBTransaction& transaction) {
                    return FindSource(transaction.Database(), source.Name);
                });
            if (known && known->Kind == UrlSource) {
                options = known->Options;
            }
        }
        run.Text =
            ReadCalendarText(source.Kind == UrlSource ? source.Location : Args.Positional("FILE"),
                             Streams.In, FeedAccountOf(source.Kind, options));
        write = RunSource(source, run).Write;
    }
    if (write.WithoutScript != 0) {
        Warn(Streams, std::to_string(write.WithoutScript) +
                          (write.WithoutScript == 1 ? " appointment has" : " appointments have") +
                          " no script: each sets Mondrel_TriggerValue every minute of its day "
                          "and never finishes (--script NAME gives them one)");
    }
    if (run.DryRun) {
        for (const std::string& line : write.Lines) {
            Streams.Out << line << '\n';
        }
    }
    const TSourceCounts& counts = write.Counts;
    Streams.Out << counts.Added << " added, " << counts.Updated << " updated, " << counts.Removed
                << " removed, " << counts.Unchanged << " unchanged, " << counts.Skipped
                << " skipped\n";
    return 0;
}

}  // namespace

const TCommand ImportCommand = {
    "import",
    "import PATH FILE|URL|- [--source NAME] [--script NAME] [--value TEXT] "
    "[--script-for TEXT=SCRIPT]... [--value-for TEXT=VALUE]... [--at HH:MM] [--offset DURATION] "
    "[--from YYYY-MM-DD] [--until YYYY-MM-DD] [--as-flag CAPTION] [--allow-empty] [--dry-run] "
    "[--user NAME] [--password-file FILE] [--caldav [--two-way]]",
    {.Positionals = {"PATH", "FILE"},
     .Options = {"source", "script", "value", "from", "until", "as-flag", "offset", "at", "user",
                 "password-file"},
     .Switches = {"dry-run", "allow-empty", "caldav", "two-way"},
     .Repeatable = {"script-for", "value-for"}},
    Import,
    {{"FILE", "an iCalendar file, a URL (https://, http://, webcal://), or - for standard input"},
     {"--source NAME",
      "the source the rows belong to (default: FILE as given; standard input needs one)"},
     {"--script NAME", "the script of events that name none (default: none)"},
     {"--value TEXT", "the value of events that name none (default: empty)"},
     {"--script-for TEXT=SCRIPT",
      "events whose categories or summary contain TEXT run SCRIPT; repeatable, first match wins"},
     {"--value-for TEXT=VALUE", "the same for the value"},
     {"--at HH:MM", "the time of all-day events (default: 00:00)"},
     {"--offset DURATION", "moves every appointment: -15m, -5h, +1d, -1d2h30m (default: 0)"},
     {"--from YYYY-MM-DD", "the first day of repeats expanded (default: today)"},
     {"--until YYYY-MM-DD", "the last day of repeats expanded (default: 400 days from today)"},
     {"--as-flag CAPTION",
      "set that flag on the events' days instead of adding appointments (default: appointments)"},
     {"--allow-empty", "a calendar without events clears the source (default: refused)"},
     {"--dry-run", "print what would be written and write nothing (default: write)"},
     {"--caldav", "URL is a calendar on a CalDAV server (mondrel-db calendars URL lists them)"},
     {"--user NAME", "the account on the CalDAV server or the feed's (default: none)"},
     {"--password-file FILE",
      "its password, the file's first line; the source keeps the path, never the password "
      "(default: MONDREL_DAV_PASSWORD)"},
     {"--two-way",
      "write edits, deletions and add --source here back to the server (default: read only)"}}};
