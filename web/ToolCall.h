// Runs one mondrel-db command inside the server, as the command line would run it: the same
// grammar, checks, messages and writes. What it raises is left to the caller, which turns the
// kind of error into an HTTP status.
#pragma once

#include <string>
#include <vector>

struct TToolOutput {
    std::string Out;  // what the command printed for scripts
    std::string Err;  // its warnings
};

// Args as after "mondrel-db": the command's name first. Raises EUsageError for wrong arguments
// and the command's own exceptions otherwise; a command that answers a failing exit status
// without raising raises EMondrelError with its warnings.
TToolOutput RunTool(const std::vector<std::string>& Args, const std::string& Input = "");

// "--name=value": an option whose value may begin with "--" or be empty.
std::string ToolOption(const std::string& Name, const std::string& Value);
