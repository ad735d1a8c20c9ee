#include "CheckCommand.h"

#include "Clock.h"
#include "CommandSupport.h"
#include "DatabaseCheck.h"
#include "DavSource.h"

namespace {

// Exit 1 when the file has an error, after --fix too: what --fix cannot repair stays an error.
int Check(const TArguments& Args, TToolStreams& Streams) {
    std::string path = Args.Positional("PATH");
    RequireDatabaseFile(path);
    const TDateTime today = DateOf(Now());
    if (Args.Has("fix")) {
        PrintLines(Streams.Out, FixDatabase(path, today));
    }
    std::vector<TFinding> findings = CheckDatabase(path, today);
    AddDavFindings(path, findings);
    return PrintFindings(Streams.Out, findings) > 0 ? 1 : 0;
}

}  // namespace

const TCommand CheckCommand = {
    "check",
    "check PATH [--fix]",
    {.Positionals = {"PATH"}, .Switches = {"fix"}},
    Check,
    {{"--fix", "add missing indexes and set NULL or text Done to 0 (default: only report)"}}};
