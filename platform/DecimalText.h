// Reading plain decimal numbers out of stored texts, and writing them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The value of `text` when it is 1 to `maxDigits` decimal digits and nothing else (at most 9,
// so the value always fits an int); no sign, no blanks.
std::optional<int> ParseDecimalDigits(std::string_view text, size_t maxDigits);

// Whole-number text as typed into an edit box: an optional sign and decimal digits, blanks
// around allowed; nothing when the value does not fit an int.
std::optional<int> ParseInteger(std::string_view text);

// Appends Value, 0 to 99, as two digits (07): what "%02d" writes, without the cost of a format
// string, for texts written once per stored row.
void AppendTwoDigits(std::string& Text, int Value);
