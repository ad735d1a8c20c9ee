// UTF-8 writing shared by the parts that turn other encodings and escapes into text.
#pragma once

#include <string>

// Appends the code point `Code` (at most U+10FFFF) to `Out` as UTF-8.
void AppendUtf8(std::string& Out, char32_t Code);
