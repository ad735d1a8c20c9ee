#include "ToolTestSupport.h"

#include <cstdlib>
#include <ctime>
#include <sstream>

#include "MondrelDbCommand.h"

std::string Calendar(const std::string& Body) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//test//EN\r\n" + Body +
           "END:VCALENDAR\r\n";
}

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

TZoneScope::TZoneScope(const char* Zone) {
    const char* old = std::getenv("TZ");
    HadOld = old != nullptr;
    Old = HadOld ? old : "";
    setenv("TZ", Zone, 1);
    tzset();
}

TZoneScope::~TZoneScope() {
    if (HadOld) {
        setenv("TZ", Old.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}
