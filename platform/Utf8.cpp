#include "Utf8.h"

void AppendUtf8(std::string& Out, char32_t Code) {
    if (Code < 0x80) {
        Out += static_cast<char>(Code);
    } else if (Code < 0x800) {
        Out += static_cast<char>(0xC0 | (Code >> 6));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    } else if (Code < 0x10000) {
        Out += static_cast<char>(0xE0 | (Code >> 12));
        Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    } else {
        Out += static_cast<char>(0xF0 | (Code >> 18));
        Out += static_cast<char>(0x80 | ((Code >> 12) & 0x3F));
        Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    }
}
