// The one command-line grammar of mondrel-db. After the command name come positionals in the
// order the command's usage line shows them (`-` is a positional too), with options
// (`--name VALUE` or `--name=VALUE`) and switches (`--name`) anywhere among them; `--` ends the
// options, so every argument after it is a positional.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "DateTime.h"
#include "MondrelError.h"
#include "Text.h"

// The arguments themselves are wrong: exit status 2, reported with the command's usage line.
class EUsageError : public EMondrelError {
  public:
    using EMondrelError::EMondrelError;
};

// What a command accepts.
struct TCommandGrammar {
    std::vector<std::string> Positionals = {};          // every call gives these, in usage order
    std::vector<std::string> OptionalPositionals = {};  // may follow them, in usage order
    std::vector<std::string> Options = {};              // names without "--", each takes a value
    std::vector<std::string> Switches = {};             // names without "--", no value
    std::string MorePositionals = "";                   // takes every positional after those
    // Options that may be given again: All answers each value, Option them joined by commas.
    std::vector<std::string> Repeatable = {};
};

// One command's parsed arguments. Every error it raises is an EUsageError whose text begins
// with the command's name.
class TArguments {
  public:
    // Raises for an unknown option, a missing value, a value given to a switch, an option given
    // twice, a missing positional or one too many.
    TArguments(const std::string& Command, const TCommandGrammar& Grammar,
               const std::vector<std::string>& Args);

    const std::string& Command() const { return FCommand; }

    // A positional by its name in the grammar; "" for an optional one not given.
    std::string Positional(const std::string& Name) const;
    // The positionals the grammar's MorePositionals took, in order.
    const std::vector<std::string>& MorePositionals() const { return FMore; }
    // An option given or a switch set.
    bool Has(const std::string& Name) const;
    // An option's value; "" when it was not given.
    std::string Option(const std::string& Name) const;
    // Every value of a repeatable option, in the order given.
    std::vector<std::string> All(const std::string& Name) const;
    // An option's value; raises "--NAME is required" when it was not given.
    std::string Required(const std::string& Name) const;

    // Typed values of options, raising an error that names the option and its text. Each
    // answers for an option that was given; combine with Has or Required.
    TDateTime Day(const std::string& Name) const;  // YYYY-MM-DD
    // Every day of a repeatable option, each given as YYYY-MM-DD, several also comma-separated.
    std::vector<TDateTime> Days(const std::string& Name) const;
    TDateTime Month(const std::string& Name) const;  // YYYY-MM: the first day of that month
    TDateTime Time(const std::string& Name) const;   // HH:MM or HH:MM:SS
    int Year(const std::string& Name) const;         // YYYY, 1900 to 2200
    int Count(const std::string& Name) const;        // a whole number, 1 to 3660

    // A key of a row given as Text (What names it in the message): 1 to 2^63-1.
    int64_t Key(const std::string& What, const std::string& Text) const;

    // Raises an EUsageError with the command's name before Message.
    [[noreturn]] void Fail(const std::string& Message) const;

  private:
    TDateTime ParseDay(const std::string& Name, const std::string& Text) const;
    // Fails (exit 2) for a year outside MinYear-MaxYear, naming the option and its text.
    void CheckYear(const std::string& Name, const std::string& Text, int Year) const;

    std::string FCommand;
    std::map<std::string, std::string> FPositionals;
    std::map<std::string, std::string> FOptions;
    std::map<std::string, std::vector<std::string>> FRepeated;
    std::set<std::string> FSwitches;
    std::vector<std::string> FMore;
};
