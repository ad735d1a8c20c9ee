#include "CommandLine.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "DBCnx.h"
#include "DecimalText.h"
#include "TimeText.h"

namespace {

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Digits where the pattern has 'D', the pattern's own character elsewhere.
bool MatchesDigits(const std::string& text, const std::string& pattern) {
    if (text.size() != pattern.size()) {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == 'D' ? !digit : text[i] != pattern[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

TArguments::TArguments(const std::string& Command, const TCommandGrammar& Grammar,
                       const std::vector<std::string>& Args)
    : FCommand(Command) {
    std::vector<std::string> positionals;
    bool optionsEnded = false;
    for (size_t i = 0; i < Args.size(); ++i) {
        const std::string& arg = Args[i];
        if (optionsEnded || arg.size() < 3 || arg.rfind("--", 0) != 0) {
            if (arg == "--" && !optionsEnded) {
                optionsEnded = true;
            } else {
                positionals.push_back(arg);
            }
            continue;
        }
        std::string name = arg.substr(2);
        size_t equals = name.find('=');
        bool hasValue = equals != std::string::npos;
        std::string value = hasValue ? name.substr(equals + 1) : std::string();
        if (hasValue) {
            name.resize(equals);
        }
        if (Contains(Grammar.Switches, name)) {
            if (hasValue) {
                Fail("--" + name + " takes no value");
            }
            FSwitches.insert(name);
            continue;
        }
        bool repeatable = Contains(Grammar.Repeatable, name);
        if (!repeatable && !Contains(Grammar.Options, name)) {
            Fail("unknown option --" + name);
        }
        if (!hasValue) {
            if (i + 1 >= Args.size()) {
                Fail("--" + name + " needs a value");
            }
            value = Args[++i];
        }
        if (repeatable) {
            FRepeated[name].push_back(value);
        }
        auto [given, added] = FOptions.emplace(name, value);
        if (!added && repeatable) {
            given->second += "," + value;
        } else if (!added) {
            Fail("--" + name + " given twice");
        }
    }

    size_t given = 0;
    for (const std::string& name : Grammar.Positionals) {
        if (given >= positionals.size() || positionals[given].empty()) {
            Fail("no " + name + " given");
        }
        FPositionals[name] = positionals[given++];
    }
    for (const std::string& name : Grammar.OptionalPositionals) {
        if (given < positionals.size()) {
            FPositionals[name] = positionals[given++];
        }
    }
    if (!Grammar.MorePositionals.empty()) {
        FMore.assign(positionals.begin() + static_cast<std::ptrdiff_t>(given), positionals.end());
        given = positionals.size();
    }
    if (given < positionals.size()) {
        Fail("unexpected argument '" + positionals[given] + "'");
    }
}

std::string TArguments::Positional(const std::string& Name) const {
    auto found = FPositionals.find(Name);
    return found == FPositionals.end() ? std::string() : found->second;
}

bool TArguments::Has(const std::string& Name) const {
    return FOptions.count(Name) != 0 || FSwitches.count(Name) != 0 || FRepeated.count(Name) != 0;
}

std::vector<std::string> TArguments::All(const std::string& Name) const {
    auto found = FRepeated.find(Name);
    return found == FRepeated.end() ? std::vector<std::string>() : found->second;
}

std::string TArguments::Option(const std::string& Name) const {
    auto found = FOptions.find(Name);
    return found == FOptions.end() ? std::string() : found->second;
}

std::string TArguments::Required(const std::string& Name) const {
    if (FOptions.count(Name) == 0) {
        Fail("--" + Name + " is required");
    }
    return Option(Name);
}

TDateTime TArguments::Day(const std::string& Name) const {
    return ParseDay(Name, Option(Name));
}

std::vector<TDateTime> TArguments::Days(const std::string& Name) const {
    std::vector<TDateTime> days;
    std::string list = Option(Name) + ",";
    for (size_t start = 0, comma; (comma = list.find(',', start)) != std::string::npos;
         start = comma + 1) {
        days.push_back(ParseDay(Name, list.substr(start, comma - start)));
    }
    return days;
}

TDateTime TArguments::ParseDay(const std::string& Name, const std::string& text) const {
    try {
        if (MatchesDigits(text, "DDDD-DD-DD")) {
            CheckYear(Name, text, std::stoi(text.substr(0, 4)));
            return DBTextToDate(text, '-');
        }
    } catch (const EConvertError&) {
    }
    Fail("--" + Name + " '" + text + "' is no valid day (expected YYYY-MM-DD)");
}

TDateTime TArguments::Month(const std::string& Name) const {
    std::string text = Option(Name);
    TDateTime first = 0;
    if (MatchesDigits(text, "DDDD-DD")) {
        CheckYear(Name, text, std::stoi(text.substr(0, 4)));
    }
    if (!MatchesDigits(text, "DDDD-DD") ||
        !TryEncodeDate(std::stoi(text.substr(0, 4)), std::stoi(text.substr(5, 2)), 1, first)) {
        Fail("--" + Name + " '" + text + "' is no valid month (expected YYYY-MM)");
    }
    return first;
}

TDateTime TArguments::Time(const std::string& Name) const {
    std::string text = Option(Name);
    try {
        return ParseTime(text);
    } catch (const EConvertError&) {
        Fail("--" + Name + " '" + text + "' is no valid time (expected HH:MM)");
    }
}

int TArguments::Year(const std::string& Name) const {
    std::string text = Option(Name);
    if (!MatchesDigits(text, "DDDD")) {
        Fail("--" + Name + " '" + text + "' is no valid year (expected YYYY)");
    }
    int year = std::stoi(text);
    CheckYear(Name, text, year);
    return year;
}

// Years 0000-0099 would be read as 1950-2049 and 100-999 stored in no form the module reads.
void TArguments::CheckYear(const std::string& Name, const std::string& text, int year) const {
    if (year < MinYear || year > MaxYear) {
        Fail("--" + Name + " " + text + " is outside " + YearRangeText());
    }
}

int TArguments::Count(const std::string& Name) const {
    std::string text = Option(Name);
    std::optional<int> count = ParseDecimalDigits(text, 4);
    if (!count || *count < 1 || *count > 3660) {
        Fail("--" + Name + " '" + text + "' is no count of 1 to 3660");
    }
    return *count;
}

int64_t TArguments::Key(const std::string& What, const std::string& Text) const {
    bool digits =
        !Text.empty() && Text.size() <= 19 &&
        std::all_of(Text.begin(), Text.end(), [](char c) { return c >= '0' && c <= '9'; });
    uint64_t value = digits ? std::stoull(Text) : 0;
    if (value == 0 || value > uint64_t{INT64_MAX}) {
        Fail(What + " '" + Text + "' is no valid ID (expected a whole number from 1)");
    }
    return static_cast<int64_t>(value);
}

void TArguments::Fail(const std::string& Message) const {
    throw EUsageError(FCommand + ": " + Message);
}
