#include "MondrelDbCommand.h"

#include <algorithm>
#include <exception>
#include <iostream>
#include <sstream>

#include "CommandSupport.h"
#include "CommandTable.h"

namespace {

std::string UsageLine(const TCommand& command) {
    return "usage: mondrel-db " + command.Usage + "\n";
}

// The usage line, then one line per option: the option as the usage line writes it, then what
// it does.
std::string CommandHelp(const TCommand& command) {
    std::vector<std::vector<std::string>> rows;
    for (const TOptionHelp& line : command.Help) {
        rows.push_back({"  " + line.Option, line.Text});
    }
    std::ostringstream text;
    text << UsageLine(command);
    PrintTable(text, rows);
    return text.str();
}

std::string AllUsage() {
    std::string text;
    for (const TCommand* command : Commands()) {
        text += (text.empty() ? "usage: " : "       ") + std::string("mondrel-db ") +
                command->Usage + "\n";
    }
    text += "       mondrel-db help [COMMAND]\n";
    return text;
}

// Messages of the store may span lines (SQLite's text, then the statement); the tool reports
// every error on one line.
std::string OneLine(const std::string& message) {
    std::string line;
    bool inBreak = false;
    for (char c : message) {
        if (c == '\r' || c == '\n') {
            inBreak = true;
            continue;
        }
        if (inBreak && !line.empty()) {
            line += "; ";
        }
        inBreak = false;
        line += c;
    }
    return line;
}

// `--help` among the arguments, before any `--` that ends the options.
bool AsksForHelp(const std::vector<std::string>& args) {
    auto end = std::find(args.begin(), args.end(), "--");
    return std::find(args.begin(), end, "--help") != end;
}

int Dispatch(const std::vector<std::string>& args, TToolStreams& streams,
             const TCommand*& running) {
    if (args.empty()) {
        throw EUsageError("no command given");
    }
    const std::string& name = args[0];
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (name == "help" || name == "--help" || name == "-h") {
        if (rest.empty() || name != "help") {
            streams.Out << AllUsage();
            return mdbOK;
        }
        const TCommand* command = FindCommand(rest[0]);
        if (command == nullptr || rest.size() > 1) {
            throw EUsageError(command == nullptr ? "help: unknown command '" + rest[0] + "'"
                                                 : "help: unexpected argument '" + rest[1] + "'");
        }
        streams.Out << CommandHelp(*command);
        return mdbOK;
    }
    running = FindCommand(name);
    if (running == nullptr) {
        throw EUsageError("unknown command '" + name + "'");
    }
    if (AsksForHelp(rest)) {
        streams.Out << CommandHelp(*running);
        return mdbOK;
    }
    TArguments arguments(running->Name, running->Grammar, rest);
    return running->Run(arguments, streams);
}

}  // namespace

int RunMondrelDb(const std::vector<std::string>& Args, std::istream& In, std::ostream& Out,
                 std::ostream& Err) {
    TToolStreams streams{In, Out, Err};
    const TCommand* running = nullptr;
    try {
        return Dispatch(Args, streams, running);
    } catch (const EUsageError& error) {
        Err << "mondrel-db: " << OneLine(error.what()) << '\n'
            << (running != nullptr ? UsageLine(*running) : AllUsage());
        return mdbUsage;
    } catch (const std::exception& error) {
        Err << "mondrel-db: " << OneLine(error.what()) << '\n';
        return mdbFailed;
    }
}

int RunMondrelDb(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err) {
    return RunMondrelDb(Args, std::cin, Out, Err);
}
