// The texts iCalendar's TEXT cannot carry: base64 both ways, and what other calendars are shown
// of them.
#include <cctype>
#include <cstring>

#include "ICalPrivate.h"

namespace ical {

namespace {

constexpr const char* Base64Digits =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

std::string EncodeBase64(const std::string& bytes) {
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                     (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                     static_cast<unsigned char>(bytes[i + 2]);
        for (int shift : {18, 12, 6, 0}) {
            out += Base64Digits[(v >> shift) & 63];
        }
    }
    if (i < bytes.size()) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) {
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        }
        out += Base64Digits[(v >> 18) & 63];
        out += Base64Digits[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? Base64Digits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string DecodeBase64(const std::string& text) {
    std::string out;
    unsigned v = 0;
    int bits = 0;
    for (char c : text) {
        const char* digit = c != '\0' ? std::strchr(Base64Digits, c) : nullptr;
        if (digit == nullptr) {
            if (c == '=' || std::isspace(static_cast<unsigned char>(c))) {
                continue;
            }
            throw ESkipEvent("broken base64 text");
        }
        v = (v << 6) | static_cast<unsigned>(digit - Base64Digits);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((v >> bits) & 0xFF);
        }
    }
    return out;
}

bool FitsText(const std::string& text) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (!text.empty() && (blank(text.front()) || blank(text.back()))) {
        return false;
    }
    for (size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) {
                return false;
            }
            ++i;
            continue;
        }
        size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
        if (length == 0 || (c >= 0xE0 && c < 0xF0 && length != 3) || i + length > text.size()) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

std::string ShownText(const std::string& text) {
    std::string shown;
    for (size_t i = 0; i < text.size(); ++i) {
        std::string one(1, text[i]);
        auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
            std::string sequence = text.substr(i, length);
            if (FitsText(sequence) && sequence.size() == length) {
                shown += sequence;
                i += length - 1;
            } else {
                shown += "\xEF\xBF\xBD";
            }
        } else if ((c >= 0x20 && c != 0x7F) || c == '\t' || c == '\n') {
            shown += one;  // blanks included: only what TEXT cannot carry goes
        }
    }
    return shown;
}

}  // namespace ical
