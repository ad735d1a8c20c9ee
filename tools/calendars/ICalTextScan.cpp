#include "ICalTextScan.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string Trimmed(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    size_t end = text.find_last_not_of(" \t");
    return begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
}

// TEXT escapes (RFC 5545 3.3.11): \\ \; \, and \n or \N for a line break.
std::string Unescaped(const std::string& value) {
    std::string text;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            char next = value[++i];
            text += next == 'n' || next == 'N' ? '\n' : next;
        } else {
            text += value[i];
        }
    }
    return text;
}

// The content lines of the text, unfolded (a line break followed by a blank continues a line).
std::vector<std::string> ContentLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!lines.empty() && !line.empty() && (line[0] == ' ' || line[0] == '\t')) {
            lines.back() += line.substr(1);
        } else {
            lines.push_back(std::move(line));
        }
        begin = end + 1;
    }
    return lines;
}

// The value of a content line: after the first colon outside a quoted parameter value.
std::string ValueOf(const std::string& line) {
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else if (line[i] == ':' && !quoted) {
            return line.substr(i + 1);
        }
    }
    return std::string();
}

}  // namespace

TICalTextScan ScanICalText(const std::string& Text) {
    TICalTextScan scan;
    std::vector<std::string> open;
    for (const std::string& line : ContentLines(Text)) {
        std::string name = Upper(line.substr(0, line.find_first_of(";:")));
        if (name == "BEGIN" || name == "END") {
            std::string component = Upper(Trimmed(ValueOf(line)));
            if (name == "BEGIN") {
                if (component == "VEVENT" && !open.empty() && open.back() == "VCALENDAR") {
                    scan.Summaries.emplace_back();
                }
                open.push_back(component);
            } else {
                // An END that closes nothing open is libical's to judge; one that closes an
                // outer component closes the inner ones too.
                auto found = std::find(open.rbegin(), open.rend(), component);
                if (found != open.rend()) {
                    open.erase(std::prev(found.base()), open.end());
                }
            }
        } else if (name == "SUMMARY" && open.size() >= 2 && open.back() == "VEVENT" &&
                   open[open.size() - 2] == "VCALENDAR" && !scan.Summaries.empty() &&
                   !scan.Summaries.back()) {
            scan.Summaries.back() = Unescaped(ValueOf(line));
        }
    }
    if (!open.empty()) {
        scan.Unclosed = open.back();
    }
    return scan;
}
