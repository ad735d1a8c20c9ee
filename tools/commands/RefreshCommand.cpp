#include "RefreshCommand.h"

#include <ostream>

#include "Clock.h"
#include "CommandSupport.h"
#include "DBTransaction.h"
#include "DavSource.h"
#include "SourceRun.h"

namespace {

constexpr int MaxHorizonDays = 3660;

int HorizonOption(const TArguments& Args) {
    if (!Args.Has("horizon")) {
        return DefaultHorizonDays;
    }
    std::string text = Args.Option("horizon");
    bool number = !text.empty() && text.size() <= 4 &&
                  text.find_first_not_of("0123456789") == std::string::npos;
    if (!number || std::stoi(text) < 1 || std::stoi(text) > MaxHorizonDays) {
        Args.Fail("--horizon '" + text + "' is no number of days from 1 to " +
                  std::to_string(MaxHorizonDays));
    }
    return std::stoi(text);
}

std::vector<TSource> StoredSources(const std::string& path) {
    TSqliteDatabase database(path);
    return ReadSources(database);
}

// How each run went is kept with its source, so that sources and check show it; runs that
// changed nothing leave it to this one write at the end. When even that cannot be written, the
// lines above have said what happened.
void KeepRuns(const std::string& path, const std::vector<TSource>& runs, TToolStreams& streams) {
    if (runs.empty()) {
        return;
    }
    try {
        InTransaction(path, TDBTransaction::AsWriter, [&](TDBTransaction& transaction) {
            for (const TSource& source : runs) {
                if (source.LastResult == "ok") {
                    SaveSource(transaction.Database(), source);
                } else {
                    SaveRunResult(transaction.Database(), source.Name, source.LastRun,
                                  source.LastResult);
                }
            }
        });
    } catch (const std::exception& error) {
        streams.Err << "mondrel-db: refresh: the results could not be recorded: " << error.what()
                    << '\n';
    }
}

std::string OneLine(std::string text) {
    for (char& c : text) {
        c = c == '\n' || c == '\r' ? ' ' : c;
    }
    return text;
}

int Refresh(const TArguments& Args, TToolStreams& Streams) {
    TRunOptions run;
    run.Path = Args.Positional("PATH");
    run.Command = "refresh";
    run.DryRun = Args.Has("dry-run");
    run.ReuseOptions = true;
    run.DeferUnchanged = true;
    run.From = DateOf(Now());
    run.Until = run.From + HorizonOption(Args);
    RequireDatabaseFile(run.Path);

    bool failed = false;
    std::vector<TSource> runs;  // to be recorded at the end
    std::vector<TSource> sources = StoredSources(run.Path);
    if (Args.Has("source")) {
        std::erase_if(sources,
                      [&](const TSource& source) { return source.Name != Args.Option("source"); });
        if (sources.empty()) {
            throw EMondrelError("no source named \"" + Args.Option("source") +
                                "\" (mondrel-db sources lists them)");
        }
    }
    if (sources.empty()) {
        Streams.Out << "no sources to refresh\n";
    }
    for (const TSource& source : sources) {
        std::string name = Printable(source.Name);
        if (source.Kind == StdinSource) {
            Streams.Out << name << "  not refreshed: it was read from standard input\n";
            continue;
        }
        run.Warn = [&](const std::string& message) {
            Streams.Err << "mondrel-db: refresh: " << name << ": " << message << '\n';
        };
        try {
            TSourceRun done = source.Kind == CalDavSource ? RunDavSource(source, run, std::nullopt)
                                                          : RunSource(source, run);
            if (!done.Saved) {
                runs.push_back(done.Source);
            }
            const TSourceWrite& write = done.Write;
            const TSourceCounts& counts = write.Counts;
            Streams.Out << name << "  " << counts.Added << " added, " << counts.Updated
                        << " updated, " << counts.Removed << " removed, " << counts.Unchanged
                        << " unchanged\n";
            if (run.DryRun) {
                for (const std::string& line : write.Lines) {
                    Streams.Out << "  " << line << '\n';
                }
            }
        } catch (const std::exception& error) {
            failed = true;
            std::string reason = OneLine(error.what());
            Streams.Err << "mondrel-db: refresh: " << name << ": " << reason << '\n';
            TSource failure = source;
            failure.LastRun = RunStamp();
            failure.LastResult = "failed: " + reason;
            runs.push_back(failure);
        }
    }
    if (!run.DryRun) {
        KeepRuns(run.Path, runs, Streams);
    }
    return failed ? 1 : 0;
}

}  // namespace

const TCommand RefreshCommand = {
    "refresh",
    "refresh PATH [--source NAME] [--horizon DAYS] [--dry-run]",
    {.Positionals = {"PATH"}, .Options = {"horizon", "source"}, .Switches = {"dry-run"}},
    Refresh,
    {{"--source NAME", "only that source or standing rule (default: every one)"},
     {"--horizon DAYS", "write rows and flags this many days ahead, 1 to 3660 (default: 400)"},
     {"--dry-run", "print what would change and write nothing (default: write)"}}};
