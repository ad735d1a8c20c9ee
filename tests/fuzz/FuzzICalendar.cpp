// The .ics reading of `mondrel-db import`, the most exposed reader of all: any bytes as the
// calendar, read inside a window of one year. It may raise EICalError (no calendar in the text)
// or ERepeatRuleError, never crash, hang or leak; what it reads keeps its promises: occurrences
// in time order, inside the window for repeating events, no more of them than the cap, none for
// a cancelled event.
#include <string>

#include "FuzzTarget.h"
#include "ICalAdapter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    const TICalWindow window{{2009, 1, 1, 0, 0, 0}, {2009, 12, 31, 0, 0, 0}};
    TICalendar calendar;
    try {
        calendar = ReadICalendar(text, window);
    } catch (const EMondrelError&) {
        return 0;
    }
    for (const TICalEvent& event : calendar.Events) {
        FUZZ_EXPECT(event.Occurrences.size() <= ICalOccurrenceCap);
        FUZZ_EXPECT(!event.Cancelled || event.Occurrences.empty());
        for (size_t i = 1; i < event.Occurrences.size(); ++i) {
            FUZZ_EXPECT(!(event.Occurrences[i].Start < event.Occurrences[i - 1].Start));
        }
    }
    return 0;
}
