#include "ICalTextScan.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "Text.h"

namespace {

// TEXT escapes (RFC 5545 3.3.11): \\ \; \, and \n or \N for a line break.
std::string Unescaped(std::string_view value) {
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

// Calls Visit with each content line of the text, unfolded (a line break followed by a blank
// continues a line), and whether it is the last. One buffer serves every line: a calendar has
// hundreds of thousands.
template <typename TVisit>
void ForEachContentLine(std::string_view text, TVisit&& Visit) {
    std::string line;
    bool started = false;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find('\n', begin);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view physical = text.substr(begin, end - begin);
        if (!physical.empty() && physical.back() == '\r') {
            physical.remove_suffix(1);
        }
        if (started && !physical.empty() && (physical[0] == ' ' || physical[0] == '\t')) {
            line.append(physical.substr(1));
        } else {
            if (started) {
                Visit(std::string_view(line), false);
            }
            line.assign(physical);
            started = true;
        }
        begin = end + 1;
    }
    if (started) {
        Visit(std::string_view(line), true);
    }
}

}  // namespace

std::string_view ICalLineValue(std::string_view line) {
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else if (line[i] == ':' && !quoted) {
            return line.substr(i + 1);
        }
    }
    return std::string_view();
}

TICalTextScan ScanICalText(const std::string& Text) {
    TICalTextScan scan;
    std::vector<std::string> open;
    // A text cut inside its last line: a BEGIN there names no whole component.
    const bool cutLine = !Text.empty() && Text.back() != '\n' && Text.back() != '\r';
    ForEachContentLine(Text, [&](std::string_view line, bool last) {
        size_t nameEnd = 0;
        while (nameEnd < line.size() && line[nameEnd] != ';' && line[nameEnd] != ':') {
            ++nameEnd;
        }
        std::string_view name = line.substr(0, nameEnd);
        bool begins = EqualsNoCase(name, "BEGIN");
        if (begins || EqualsNoCase(name, "END")) {
            std::string component = UpperCase(std::string(Trimmed(ICalLineValue(line))));
            if (begins && last && cutLine) {
                return;
            }
            if (begins) {
                if (component == "VEVENT" && !open.empty() && open.back() == "VCALENDAR") {
                    scan.Summaries.emplace_back();
                }
                open.push_back(std::move(component));
            } else {
                // An END that closes nothing open is libical's to judge; one that closes an
                // outer component closes the inner ones too.
                auto found = std::find(open.rbegin(), open.rend(), component);
                if (found != open.rend()) {
                    open.erase(std::prev(found.base()), open.end());
                }
            }
        } else if (EqualsNoCase(name, "SUMMARY") && open.size() >= 2 && open.back() == "VEVENT" &&
                   open[open.size() - 2] == "VCALENDAR" && !scan.Summaries.empty() &&
                   !scan.Summaries.back()) {
            scan.Summaries.back() = Unescaped(ICalLineValue(line));
        }
    });
    if (!open.empty()) {
        scan.Unclosed = open.back();
    }
    return scan;
}
