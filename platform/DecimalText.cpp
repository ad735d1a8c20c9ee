#include "DecimalText.h"

#include <algorithm>

std::optional<int> ParseDecimalDigits(std::string_view text, size_t maxDigits) {
    if (text.empty() || text.size() > std::min<size_t>(maxDigits, 9)) {
        return std::nullopt;
    }
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}
