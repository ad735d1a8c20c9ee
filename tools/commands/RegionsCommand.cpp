#include "RegionsCommand.h"

#include <ostream>

#include "CommandSupport.h"
#include "HolidayCalendar.h"

namespace {

int Regions(const TArguments& Args, TToolStreams& Streams) {
    std::string filter = LowerCase(Args.Positional("FILTER"));
    for (const THolidayRegion& region : HolidayRegions()) {
        bool matches = false;
        for (const std::string* text : {&region.Code, &region.ShortCode, &region.Name}) {
            matches = matches || LowerCase(*text).find(filter) != std::string::npos;
        }
        if (matches) {
            Streams.Out << region.Code << "  " << region.ShortCode << "  " << region.Name << '\n';
        }
    }
    return 0;
}

}  // namespace

const TCommand RegionsCommand = {
    "regions",
    "regions [FILTER]",
    {.OptionalPositionals = {"FILTER"}},
    Regions,
    {{"FILTER", "only regions whose code or name contains it, any case (default: all)"}}};
