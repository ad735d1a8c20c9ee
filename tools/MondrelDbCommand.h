// The mondrel-db command line: make a database, list its appointments, add one.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// Exit codes of the tool.
enum TMondrelDbExit { mdbOK = 0, mdbFailed = 1, mdbUsage = 2 };

// Runs one command; Args are the arguments after the program name. Results go to Out, messages
// and usage to Err. Never throws.
int RunMondrelDb(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err);
