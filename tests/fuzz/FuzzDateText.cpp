// The date-text reader of the store: year, hyphen, month, hyphen, day, two-digit years
// windowed. Anything else raises EConvertError; a date that reads is written and read back the
// same.
#include <string>

#include "DBCnx.h"
#include "FuzzTarget.h"
#include "MondrelError.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    TDateTime date = 0;
    try {
        date = DBTextToDate(text, '-');
    } catch (const EConvertError&) {
        return 0;
    }
    std::string written = DateToDBText('-', date);
    FUZZ_EXPECT(DBTextToDate(written, '-') == date);
    return 0;
}
