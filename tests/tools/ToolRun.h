// Runs mondrel-db in the test's own process and keeps what it printed.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "MondrelDbCommand.h"

struct TRun {
    int Exit = -1;
    std::string Out;
    std::string Err;
};

inline TRun RunTool(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    TRun run;
    run.Exit = RunMondrelDb(args, out, err);
    run.Out = out.str();
    run.Err = err.str();
    return run;
}
