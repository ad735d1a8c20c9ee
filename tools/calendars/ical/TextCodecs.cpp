// The texts iCalendar's TEXT cannot carry: base64 both ways, and what other calendars are shown
// of them.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "ICalPrivate.h"
#include "Utf8.h"

namespace ical {

namespace {

// Windows-1252's letters at 0x80-0x9F (where Latin-1 has control characters); 0 where it has none.
constexpr char16_t Windows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The length of the UTF-8 sequence at text[i], or 0 when none starts there.
size_t Utf8Length(const std::string& text, size_t i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
        return 1;
    }
    size_t length = c >= 0xC2 && c <= 0xDF   ? 2
                    : c >= 0xE0 && c <= 0xEF ? 3
                    : c >= 0xF0 && c <= 0xF4 ? 4
                                             : 0;
    if (length == 0 || i + length > text.size()) {
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    auto second = static_cast<unsigned char>(text[i + 1]);
    // No overlong forms, no surrogates, nothing beyond U+10FFFF.
    if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) ||
        (c == 0xF0 && second < 0x90) || (c == 0xF4 && second > 0x8F)) {
        return 0;
    }
    return length;
}

// UTF-16 from byte `start` on (past a byte-order mark, if any) as UTF-8.
std::string FromUtf16(const std::string& bytes, bool bigEndian, size_t start) {
    std::string out;
    auto unit = [&](size_t i) {
        auto a = static_cast<unsigned char>(bytes[i]);
        auto b = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char32_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
    };
    for (size_t i = start; i + 1 < bytes.size(); i += 2) {
        char32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 &&
            unit(i + 2) <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

constexpr const char* Base64Digits =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool IsUtf32(const std::string& text) {
    using namespace std::string_view_literals;
    return StartsWith(text, "\xFF\xFE\0\0"sv) || StartsWith(text, "\0\0\xFE\xFF"sv);
}

}  // namespace

std::string CalendarTextAsUtf8(const std::string& text) {
    std::string utf8;
    // Without a byte-order mark, UTF-16 shows in the zero byte beside each ASCII letter.
    auto ascii16 = [&](size_t zero) {
        return text.size() >= 4 && text[zero] == '\0' && text[zero + 2] == '\0' &&
               text[1 - zero] != '\0' && text[3 - zero] != '\0';
    };
    if (!IsUtf32(text) && text.size() >= 2 &&
        ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF'))) {
        utf8 = FromUtf16(text, text[0] == '\xFE', 2);
    } else if (ascii16(1) || ascii16(0)) {
        utf8 = FromUtf16(text, ascii16(0), 0);
    } else {
        utf8.reserve(text.size());
        for (size_t i = 0; i < text.size();) {
            size_t length = Utf8Length(text, i);
            if (length > 0) {
                utf8.append(text, i, length);
                i += length;
                continue;
            }
            auto c = static_cast<unsigned char>(text[i++]);
            char16_t high = c >= 0x80 && c <= 0x9F ? Windows1252High[c - 0x80] : 0;
            AppendUtf8(utf8, high != 0 ? high : c);
        }
    }
    if (utf8.find('\n') == std::string::npos) {
        std::replace(utf8.begin(), utf8.end(), '\r', '\n');
    }
    return utf8;
}

std::string WhatTextIs(const std::string& text) {
    using namespace std::string_view_literals;
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
        return "it is empty";
    }
    struct TKnown {
        std::string_view Start;
        const char* What;
    };
    for (const TKnown& known :
         {TKnown{"\x1F\x8B"sv, "it is gzip-compressed: unpack it first"},
          TKnown{"PK\x03\x04"sv, "it is a ZIP archive: unpack it first"},
          TKnown{"%PDF"sv, "it is a PDF document"}, TKnown{"\x89PNG"sv, "it is an image"},
          TKnown{"\xFF\xD8\xFF"sv, "it is an image"}, TKnown{"GIF8"sv, "it is an image"},
          TKnown{"\x7F"
                 "ELF"sv,
                 "it is a program"}}) {
        if (StartsWith(text, known.Start)) {
            return known.What;
        }
    }
    if (IsUtf32(text)) {
        return "it is UTF-32 text, which is not read: save it as UTF-8";
    }
    std::string head = text.substr(0, 4096);
    if (head.find('\0') != std::string::npos) {
        return "it is binary data, not text";
    }
    std::transform(head.begin(), head.end(), head.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    size_t first = head.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    if (first == std::string::npos) {
        return "";
    }
    if (head.find("<html") != std::string::npos || head.find("<!doctype html") == first) {
        return "it is a web page (HTML): a feed's address may lead to a sign-in or error page";
    }
    if (head[first] == '<') {
        return "it is XML, not iCalendar text";
    }
    if (head[first] == '{' || head[first] == '[') {
        return "it is JSON, not iCalendar text";
    }
    if (head.find("begin:vcard") != std::string::npos) {
        return "it is an address book (vCard), not a calendar";
    }
    return "";
}

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

std::string CalendarTextFromCharset(const std::string& Text, const std::string& Charset) {
    std::string name;
    for (char c : Charset) {
        if (c != '"' && c != '\'' && c != ' ') {
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    const bool latin9 = name == "iso-8859-15" || name == "iso8859-15" || name == "latin-9" ||
                        name == "latin9" || name == "l9";
    const bool latin1 = name == "iso-8859-1" || name == "iso8859-1" || name == "iso_8859-1" ||
                        name == "latin1" || name == "latin-1" || name == "l1" ||
                        name == "windows-1252" || name == "cp1252" || name == "x-cp1252";
    if (!latin1 && !latin9) {
        return Text;
    }
    // Where ISO-8859-15 differs from Latin-1.
    constexpr std::pair<unsigned char, char32_t> Latin9[] = {
        {0xA4, 0x20AC}, {0xA6, 0x0160}, {0xA8, 0x0161}, {0xB4, 0x017D},
        {0xB8, 0x017E}, {0xBC, 0x0152}, {0xBD, 0x0153}, {0xBE, 0x0178}};
    std::string utf8;
    utf8.reserve(Text.size() + Text.size() / 8);
    for (char byte : Text) {
        auto c = static_cast<unsigned char>(byte);
        char32_t code = c;
        if (latin1 && c >= 0x80 && c <= 0x9F && ical::Windows1252High[c - 0x80] != 0) {
            code = ical::Windows1252High[c - 0x80];
        }
        for (const auto& [from, to] : Latin9) {
            if (latin9 && c == from) {
                code = to;
            }
        }
        AppendUtf8(utf8, code);
    }
    return utf8;
}
