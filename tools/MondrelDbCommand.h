// The mondrel-db command line: finds the command, parses its arguments with the one grammar,
// runs it and turns what it raised into an exit status and one line on standard error.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// Exit statuses, the same for every command.
enum TMondrelDbExit {
    mdbOK = 0,      // done
    mdbFailed = 1,  // the file or a library refused
    mdbUsage = 2,   // the arguments themselves are wrong
};

// Runs one command; Args are the arguments after the program name. Results go to Out, errors
// (one line each) and, after an error in the arguments, the usage line go to Err. `help`,
// `help COMMAND` and `COMMAND --help` print usage to Out. Never throws.
int RunMondrelDb(const std::vector<std::string>& Args, std::istream& In, std::ostream& Out,
                 std::ostream& Err);
// The same, reading standard input.
int RunMondrelDb(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err);
