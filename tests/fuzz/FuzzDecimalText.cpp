// The decimal readers: the editor's hour and minute boxes (sign, digits, blanks around) and the
// plain digits inside date and time texts. The first byte chooses the digit limit of the latter.
#include <optional>
#include <string>
#include <string_view>

#include "DecimalText.h"
#include "FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (std::optional<int> value = ParseInteger(text)) {
        FUZZ_EXPECT(ParseInteger(std::to_string(*value)) == value);
    }
    if (size > 0) {
        size_t maxDigits = data[0] % 12;
        std::string_view digits = text.substr(1);
        if (std::optional<int> value = ParseDecimalDigits(digits, maxDigits)) {
            FUZZ_EXPECT(*value >= 0);
            FUZZ_EXPECT(digits.size() <= maxDigits && digits.size() <= 9);
        }
    }
    return 0;
}
