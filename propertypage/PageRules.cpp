#include "PageRules.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "MondrelError.h"

std::string FormatTime(TDateTime time) {
    TTimeParts parts = DecodeTime(time);
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", parts.Hour, parts.Minute);
    return text;
}

bool SameDay(TDateTime a, TDateTime b) {
    TDateParts x = DecodeDate(a);
    TDateParts y = DecodeDate(b);
    return x.Year == y.Year && x.Month == y.Month && x.Day == y.Day;
}

bool HasDatabaseFileName(const std::string& path) {
    std::string name = path.substr(path.find_last_of('/') + 1);
    // Only a to z change case, so names in other scripts never match by accident.
    for (char& c : name) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return name == "MONDREL.SDB";
}

bool IsDatabasePathAcceptable(const std::string& path) {
    std::error_code error;
    return HasDatabaseFileName(path) && std::filesystem::is_regular_file(path, error);
}

std::optional<std::string> DatabaseProblem(const std::string& path) {
    try {
        CheckDatabase(path);
        return std::nullopt;
    } catch (const EMondrelError& error) {
        return error.what();
    }
}

TFlagGridWidths FlagGridColumnWidths(int gridWidth) {
    TFlagGridWidths widths;
    widths.Caption = (gridWidth - 20) / 3;
    int sixth = (widths.Caption * 2) / 6;
    widths.Variable = sixth * 5;
    widths.Color = sixth - 4;
    return widths;
}

namespace {

const TFlag* FindFlag(const TFlags& flags, int64_t id) {
    for (const TFlag& flag : flags) {
        if (flag.ID == id) {
            return &flag;
        }
    }
    return nullptr;
}

}  // namespace

TTermine BuildDayMarks(const TDayFlags& dayFlags, const TFlags& flags) {
    TTermine marks(1);
    for (const TDayFlag& dayFlag : dayFlags) {
        TTermin mark;
        mark.Date = dayFlag.Date;
        if (const TFlag* flag = FindFlag(flags, dayFlag.FlagID)) {
            mark.Color = flag->Color;
            mark.Style = fsBold;
        }
        marks.front().push_back(mark);
    }
    return marks;
}

std::optional<int32_t> FindColorValue(const TDBColors& colors, const std::string& name) {
    for (const TDBColor& color : colors) {
        if (color.Name == name) {
            return color.Value;
        }
    }
    return std::nullopt;
}

bool DayCarriesCaption(const TDayFlags& dayFlags, const TFlags& flags, const std::string& caption) {
    for (const TDayFlag& dayFlag : dayFlags) {
        for (const TFlag& flag : flags) {
            if (flag.ID == dayFlag.FlagID && flag.Caption == caption) {
                return true;
            }
        }
    }
    return false;
}

TCaptionChanges CaptionChanges(const std::vector<std::string>& before,
                               const std::vector<std::string>& after) {
    auto listed = [](const std::vector<std::string>& captions, const std::string& caption) {
        return std::find(captions.begin(), captions.end(), caption) != captions.end();
    };
    TCaptionChanges changes;
    for (const std::string& caption : after) {
        if (!listed(before, caption) && !listed(changes.Checked, caption)) {
            changes.Checked.push_back(caption);
        }
    }
    for (const std::string& caption : before) {
        if (!listed(after, caption) && !listed(changes.Unchecked, caption)) {
            changes.Unchecked.push_back(caption);
        }
    }
    return changes;
}

TIntegerArray FlagIdsForCaptions(const std::vector<std::string>& captions, const TFlags& flags) {
    TIntegerArray ids;
    for (const std::string& caption : captions) {
        for (const TFlag& flag : flags) {
            // Two entries of one caption name the same flags; a day carries each flag once.
            if (flag.Caption == caption &&
                std::find(ids.begin(), ids.end(), flag.ID) == ids.end()) {
                ids.push_back(flag.ID);
            }
        }
    }
    return ids;
}

std::string FlagDeleteQuestion(const std::string& caption, size_t days) {
    std::string question = "Delete the flag \"" + caption + "\"";
    if (days == 1) {
        question += " and its 1 day";
    } else if (days > 1) {
        question += " and its " + std::to_string(days) + " days";
    }
    return question + "?";
}

std::optional<std::string> FlagFieldsProblem(const std::string& caption,
                                             const std::string& variable) {
    const auto blank = [](const std::string& text) {
        return std::all_of(text.begin(), text.end(),
                           [](char c) { return static_cast<unsigned char>(c) <= ' '; });
    };
    if (blank(caption)) {
        return "The flag needs a name.";
    }
    if (blank(variable)) {
        return "The flag needs a variable.";
    }
    return std::nullopt;
}
