// The commands of mondrel-db. Each lives in a file pair of its own (InitCommand.h/.cpp, ...)
// that defines one TCommand: its name, usage line, grammar and work. Adding a command is that
// file pair plus one row in the table of CommandTable.cpp.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "CommandLine.h"

// Where a command reads and writes. Results meant for scripts go to Out, one record a line;
// warnings go to Err.
struct TToolStreams {
    std::istream& In;
    std::ostream& Out;
    std::ostream& Err;
};

// One line of a command's help: an option (or positional) as the usage line writes it, and what
// it does, its default included.
struct TOptionHelp {
    std::string Option;
    std::string Text;
};

struct TCommand {
    std::string Name;
    // What follows "mondrel-db " on the usage line, the name included: "init PATH".
    std::string Usage;
    TCommandGrammar Grammar;
    // Does the work and answers the exit status (0 done). Raises EUsageError for arguments it
    // finds wrong (exit 2) and any other exception for a file or a library that refused (exit 1).
    int (*Run)(const TArguments& Args, TToolStreams& Streams);
    // What `help COMMAND` prints after the usage line: one line for each option and switch of
    // the grammar, and for positionals that need saying.
    std::vector<TOptionHelp> Help = {};
};

// Every command, in the order the usage text lists them.
const std::vector<const TCommand*>& Commands();
// The command of that name, or null.
const TCommand* FindCommand(const std::string& Name);
