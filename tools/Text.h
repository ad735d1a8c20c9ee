// Small text helpers the tool's parts share: ASCII case and the blanks around a text.
#pragma once

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

// Years the tool takes, in its arguments and inside calendars: MinYear to MaxYear.
constexpr int MinYear = 1900;
constexpr int MaxYear = 2200;

// "1900-2200", as messages name the years the tool takes.
inline std::string YearRangeText() {
    return std::to_string(MinYear) + "-" + std::to_string(MaxYear);
}

// Whether A and B hold the same letters, ASCII case aside.
inline bool EqualsNoCase(std::string_view A, std::string_view B) {
    return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

// Whether Text begins with Prefix, ASCII case aside.
inline bool StartsWithNoCase(std::string_view Text, std::string_view Prefix) {
    return Text.size() >= Prefix.size() && EqualsNoCase(Text.substr(0, Prefix.size()), Prefix);
}

inline std::string UpperCase(std::string Text) {
    std::transform(Text.begin(), Text.end(), Text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return Text;
}

inline std::string LowerCase(std::string Text) {
    std::transform(Text.begin(), Text.end(), Text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return Text;
}

// Text without the blanks (spaces and tabs) at either end.
inline std::string_view Trimmed(std::string_view Text) {
    size_t begin = Text.find_first_not_of(" \t");
    size_t end = Text.find_last_not_of(" \t");
    return begin == std::string_view::npos ? std::string_view()
                                           : Text.substr(begin, end - begin + 1);
}
