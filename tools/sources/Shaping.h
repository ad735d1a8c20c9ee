// What a calendar source does to each occurrence before it becomes a row: the time given to
// all-day events (--at), the offset that moves every appointment (--offset), and the script and
// value chosen by what an event is about (--script-for, --value-for, else --script, --value).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ICalAdapter.h"

// TEXT=TARGET: events about TEXT get TARGET.
struct TMatchRule {
    std::string Text;
    std::string Target;
};

struct TShaping {
    std::string Script;
    std::string Value;
    std::optional<std::string> AsFlag;
    std::optional<int> AtMinutes;  // minutes after midnight for all-day occurrences
    int64_t OffsetMinutes = 0;
    std::vector<TMatchRule> ScriptFor;
    std::vector<TMatchRule> ValueFor;
};

// "-15m", "+1d", "-1d2h30m", "0": minutes, or nothing when Text is no duration. Days, hours and
// minutes each at most once, in that order.
std::optional<int64_t> ParseDuration(const std::string& Text);

// "TEXT=TARGET" with a TEXT that is not empty; nothing otherwise.
std::optional<TMatchRule> ParseMatchRule(const std::string& Text);

// The target of the first rule whose text one of Categories or the summary contains, compared
// without regard to case (ASCII letters).
std::optional<std::string> FirstMatch(const std::vector<TMatchRule>& Rules,
                                      const std::string& Summary,
                                      const std::vector<std::string>& Categories);

// Where an occurrence's appointment goes: an all-day start takes --at first, then the offset
// moves it across days, months and years as the wall clock reads.
TICalStamp ShapedStart(const TICalStamp& Start, bool AllDay, const TShaping& Shaping);
