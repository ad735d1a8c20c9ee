#include "ToolCall.h"

#include <mutex>
#include <sstream>

#include "CommandTable.h"
#include "MondrelError.h"

TToolOutput RunTool(const std::vector<std::string>& Args, const std::string& Input) {
    const TCommand* command = Args.empty() ? nullptr : FindCommand(Args[0]);
    if (command == nullptr) {
        throw EMondrelError("no such command");
    }
    std::istringstream in(Input);
    std::ostringstream out, err;
    TToolStreams streams{in, out, err};
    TArguments arguments(command->Name, command->Grammar,
                         std::vector<std::string>(Args.begin() + 1, Args.end()));
    // Commands that write wait for one another here rather than on the file's lock, so that
    // the busy time-out is spent only on other programs' locks. Those that fetch first (a feed,
    // up to its time-out) would hold up every other write meanwhile: they meet the others in
    // the file's lock, for their short write at the end.
    static std::mutex writers;
    int status = 0;
    {
        std::unique_lock lock(writers, std::defer_lock);
        const bool reads = Args[0] == "list" || Args[0] == "upcoming" || Args[0] == "sources" ||
                           (Args[0] == "flags" && arguments.Positional("ACTION").empty());
        const bool fetches = Args[0] == "refresh" || Args[0] == "import";
        if (!reads && !fetches) {
            lock.lock();
        }
        status = command->Run(arguments, streams);
    }
    if (status != 0) {
        std::string reason = err.str();
        while (!reason.empty() && reason.back() == '\n') {
            reason.pop_back();
        }
        throw EMondrelError(reason.empty() ? command->Name + " failed" : reason);
    }
    return {out.str(), err.str()};
}

std::string ToolOption(const std::string& Name, const std::string& Value) {
    return "--" + Name + "=" + Value;
}
