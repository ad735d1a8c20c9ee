#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CommandLine.h"
#include "CommandTable.h"
#include "DateTime.h"
#include "StoreTestSupport.h"
#include "ToolTestSupport.h"

namespace {

using TArgs = std::vector<std::string>;

const TCommandGrammar Grammar = {.Positionals = {"PATH", "FILE"},
                                 .OptionalPositionals = {"FILTER"},
                                 .Options = {"from", "flag"},
                                 .Switches = {"dry-run", "all"}};

TArguments Parse(const TArgs& args) {
    return TArguments("demo", Grammar, args);
}

TEST(CommandLine, PositionalsInOrderWithOptionsAndSwitchesAnywhere) {
    TArguments args = Parse(
        {"--dry-run", "a.sdb", "--flag", "Public holiday", "-", "--from=2027-01-02", "x", "--all"});
    EXPECT_EQ(args.Positional("PATH"), "a.sdb");
    EXPECT_EQ(args.Positional("FILE"), "-") << "a lone dash is a positional";
    EXPECT_EQ(args.Positional("FILTER"), "x");
    EXPECT_EQ(args.Option("flag"), "Public holiday");
    EXPECT_EQ(args.Day("from"), EncodeDate(2027, 1, 2));
    EXPECT_TRUE(args.Has("dry-run"));
    EXPECT_TRUE(args.Has("all"));

    TArguments few = Parse({"a", "b", "--", "--all"});
    EXPECT_EQ(few.Positional("FILTER"), "--all") << "after -- every argument is a positional";
    EXPECT_FALSE(few.Has("all"));
    EXPECT_FALSE(few.Has("from"));
    EXPECT_EQ(few.Option("from"), "");
    EXPECT_EQ(Parse({"a", "b"}).Positional("FILTER"), "");
    EXPECT_EQ(Parse({"a", "b", "--flag="}).Option("flag"), "") << "an empty value is a value";
    EXPECT_EQ(Parse({"a", "b", "--flag", "--all"}).Option("flag"), "--all")
        << "an option takes the next argument whatever it looks like";
}

TEST(CommandLine, EachMistakeIsAUsageErrorNamingTheArgument) {
    const std::vector<std::pair<TArgs, std::string>> cases = {
        {{}, "demo: no PATH given"},
        {{"a"}, "demo: no FILE given"},
        {{"", "b"}, "demo: no PATH given"},
        {{"a", "b", "c", "d"}, "demo: unexpected argument 'd'"},
        {{"a", "b", "--frobnicate"}, "demo: unknown option --frobnicate"},
        {{"a", "b", "--from"}, "demo: --from needs a value"},
        {{"a", "b", "--all=yes"}, "demo: --all takes no value"},
        {{"a", "b", "--flag", "x", "--flag=y"}, "demo: --flag given twice"},
    };
    for (const auto& [args, message] : cases) {
        EXPECT_THROW_MSG(Parse(args), EUsageError, message);
    }
    EXPECT_THROW_MSG(Parse({"a", "b"}).Required("from"), EUsageError, "demo: --from is required");
}

TEST(CommandLine, TypedValuesRefuseWhatIsNoDayMonthTimeOrYear) {
    auto with = [](const std::string& value) {
        return TArguments("demo", {.Options = {"v"}}, {"--v", value});
    };
    EXPECT_EQ(with("2024-02-29").Day("v"), EncodeDate(2024, 2, 29));
    EXPECT_EQ(with("2024-12").Month("v"), EncodeDate(2024, 12, 1));
    EXPECT_DOUBLE_EQ(with("7:05").Time("v"), EncodeTime(7, 5, 0, 0));
    EXPECT_EQ(with("1900").Year("v"), 1900);
    EXPECT_EQ(with("2200").Year("v"), 2200);
    for (const char* day : {"2023-02-29", "2024-1-05", "24-01-05", "2024/01/05", ""}) {
        EXPECT_THROW_MSG(
            with(day).Day("v"), EUsageError,
            "demo: --v '" + std::string(day) + "' is no valid day (expected YYYY-MM-DD)");
    }
    EXPECT_THROW_MSG(with("2024-13").Month("v"), EUsageError,
                     "demo: --v '2024-13' is no valid month (expected YYYY-MM)");
    EXPECT_THROW_MSG(with("24:00").Time("v"), EUsageError,
                     "demo: --v '24:00' is no valid time (expected HH:MM)");
    EXPECT_THROW_MSG(with("1899").Year("v"), EUsageError, "demo: --v 1899 is outside 1900-2200");
    EXPECT_THROW_MSG(with("2201").Year("v"), EUsageError, "demo: --v 2201 is outside 1900-2200");
    EXPECT_THROW_MSG(with("27").Year("v"), EUsageError,
                     "demo: --v '27' is no valid year (expected YYYY)");
    // Years the stored form cannot hold are refused, not moved into 1950-2049.
    EXPECT_THROW_MSG(with("0027-01-01").Day("v"), EUsageError,
                     "demo: --v 0027-01-01 is outside 1900-2200");
    EXPECT_THROW_MSG(with("9999-12-31").Day("v"), EUsageError,
                     "demo: --v 9999-12-31 is outside 1900-2200");
    EXPECT_THROW_MSG(with("0100-01").Month("v"), EUsageError,
                     "demo: --v 0100-01 is outside 1900-2200");
}

TEST(CommandLine, HelpPrintsUsageAndUnknownCommandsExitTwo) {
    const std::string addUsage =
        "usage: mondrel-db add PATH --date YYYY-MM-DD --time HH:MM --description TEXT "
        "[--value TEXT] [--script NAME] [--repeat RULE [--until YYYY-MM-DD | --source NAME]]\n";
    for (const TArgs& args : {TArgs{"help", "add"}, TArgs{"add", "--help"},
                              TArgs{"add", "x.sdb", "--date", "bad", "--help"}}) {
        TRun run = RunTool(args);
        EXPECT_EQ(run.Exit, 0) << args.back();
        EXPECT_EQ(run.Out.substr(0, addUsage.size()), addUsage);
        EXPECT_NE(run.Out.find("\n  --until YYYY-MM-DD  the last day of --repeat (default: none; "),
                  std::string::npos)
            << run.Out;
        EXPECT_EQ(run.Err, "");
    }
    // Every option and switch of every command has its line in the help.
    for (const TCommand* command : Commands()) {
        std::string help = RunTool({"help", command->Name}).Out;
        const TCommandGrammar& grammar = command->Grammar;
        for (const auto* names : {&grammar.Options, &grammar.Switches}) {
            for (const std::string& name : *names) {
                EXPECT_NE(help.find("\n  --" + name), std::string::npos)
                    << command->Name << " --" << name;
            }
        }
    }
    TRun all = RunTool({"help"});
    EXPECT_EQ(all.Exit, 0);
    EXPECT_EQ(all.Out.rfind("usage: mondrel-db init PATH\n       mondrel-db list PATH", 0), 0u)
        << all.Out;
    EXPECT_NE(all.Out.find("\n       mondrel-db help [COMMAND]\n"), std::string::npos);
    EXPECT_EQ(RunTool({"--help"}).Out, all.Out);

    for (const auto& [args, message] : std::vector<std::pair<TArgs, std::string>>{
             {{}, "no command given"},
             {{"frobnicate", "x"}, "unknown command 'frobnicate'"},
             {{"help", "frobnicate"}, "help: unknown command 'frobnicate'"},
             {{"help", "add", "list"}, "help: unexpected argument 'list'"}}) {
        TRun run = RunTool(args);
        EXPECT_EQ(run.Exit, 2) << message;
        EXPECT_EQ(run.Err, "mondrel-db: " + message + "\n" + all.Out);
        EXPECT_EQ(run.Out, "");
    }
}

}  // namespace
