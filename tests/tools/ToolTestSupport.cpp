#include "ToolTestSupport.h"

#include <sstream>

#include "MondrelDbCommand.h"

TRun RunTool(const std::vector<std::string>& Args, const std::string& Input) {
    std::istringstream in(Input);
    std::ostringstream out;
    std::ostringstream err;
    TRun run;
    run.Exit = RunMondrelDb(Args, in, out, err);
    run.Out = out.str();
    run.Err = err.str();
    return run;
}
