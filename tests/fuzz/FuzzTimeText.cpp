// The time-text reader, in every form the store accepts: HH:MM:SS, H:MM, 12-hour times with
// AM/PM, milliseconds after the seconds, blanks around. Anything else raises EConvertError; a
// time that reads is a time of day and reads back the same once written.
#include <string>
#include <string_view>

#include "FuzzTarget.h"
#include "MondrelError.h"
#include "TimeText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    TDateTime time = 0;
    try {
        time = ParseTime(text);
    } catch (const EConvertError&) {
        return 0;
    }
    FUZZ_EXPECT(time >= 0 && time < 1);
    std::string written = FormatLongTime(time);
    FUZZ_EXPECT(written.size() == 8);
    FUZZ_EXPECT(FormatLongTime(ParseTime(written)) == written);
    return 0;
}
