#include "StandingDays.h"

#include <ostream>

#include "Clock.h"
#include "CommandSupport.h"
#include "DBCnx.h"
#include "SourceRun.h"

void CheckStandingOptions(const TArguments& Args) {
    for (const char* option : {"year", "from", "to", "clear"}) {
        if (Args.Has(option)) {
            Args.Fail("--standing takes no --" + std::string(option) +
                      " (forget NAME ends a standing rule)");
        }
    }
}

void FlagStanding(const TArguments& Args, TToolStreams& Streams, const std::string& Kind,
                  const std::string& DefaultName) {
    CheckStandingOptions(Args);
    TSource source;
    source.Name = SourceNameOption(Args);
    if (source.Name.empty()) {
        source.Name = DefaultName + (Args.Has("flag") ? " " + Args.Option("flag") : "");
    }
    source.Kind = Kind;
    source.Options = KeptOptions(Kind, Args);
    CheckKeptOptions(Kind, Args);
    TRunOptions run;
    run.Path = Args.Positional("PATH");
    run.Command = Args.Command();
    run.DryRun = Args.Has("dry-run");
    run.From = DateOf(Now());
    run.Until = run.From + DefaultHorizonDays;
    RequireDatabaseFile(run.Path);
    TSourceRun done = RunSource(source, run);
    if (run.DryRun) {
        for (const std::string& line : done.Write.Lines) {
            Streams.Out << line << '\n';
        }
        return;
    }
    const TSourceCounts& counts = done.Write.Counts;
    Streams.Out << counts.Added << (counts.Added == 1 ? " day" : " days") << " flagged "
                << Printable(done.Flag) << " up to " << DateToDBText('-', run.Until) << ", "
                << counts.Unchanged << " already set, " << counts.Removed
                << " cleared; refresh keeps flagging as \"" << Printable(source.Name) << "\"\n";
}
