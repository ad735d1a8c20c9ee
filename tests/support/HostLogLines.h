// The host's log as the tests read it: the module's entries that match, counted or as lines.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "HostLog.h"

// What an entry must be to count, built up: TLogMatch().Kind(NHX_LOG_ERROR).Containing("ID 3").
// Each part that is set must match; the text must contain the given part.
class TLogMatch {
  public:
    TLogMatch& Kind(int32_t kind) {
        WantedKind = kind;
        return *this;
    }
    TLogMatch& From(std::string sender) {
        WantedSender = std::move(sender);
        return *this;
    }
    TLogMatch& Containing(std::string part) {
        Part = std::move(part);
        return *this;
    }
    bool Matches(const THostLogEntry& entry) const {
        return (!WantedKind || entry.Kind == *WantedKind) &&
               (!WantedSender || entry.Sender == *WantedSender) &&
               entry.Text.find(Part) != std::string::npos;
    }

  private:
    std::optional<int32_t> WantedKind;
    std::optional<std::string> WantedSender;
    std::string Part;
};

inline std::vector<THostLogEntry> ModuleEntries(const THostLog& log,
                                                const TLogMatch& match = TLogMatch()) {
    std::vector<THostLogEntry> found;
    for (const THostLogEntry& entry : log.ModuleEntries()) {
        if (match.Matches(entry)) {
            found.push_back(entry);
        }
    }
    return found;
}

inline int CountLogged(const THostLog& log, const TLogMatch& match) {
    return static_cast<int>(ModuleEntries(log, match).size());
}

// "kind sender: text", one line per entry of the module.
inline std::vector<std::string> LogLines(const THostLog& log) {
    std::vector<std::string> lines;
    for (const THostLogEntry& entry : log.ModuleEntries()) {
        lines.push_back(std::to_string(entry.Kind) + " " + entry.Sender + ": " + entry.Text);
    }
    return lines;
}
