#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Clock.h"
#include "StoreTestSupport.h"
#include "ToolTestSupport.h"

namespace {

constexpr const char* Program = "build/tools/mondrel-db ";

// A calendar with one event in the next year, for the examples that read one.
constexpr const char* SampleCalendar =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Mondrel//README test//EN\r\n"
    "BEGIN:VEVENT\r\nUID:readme-1@example.org\r\nDTSTAMP:20261201T000000Z\r\n"
    "DTSTART:20270112T073000\r\nSUMMARY:School trip\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";

// Every indented line of a documentation file that calls mondrel-db, continuation lines
// joined, with whether an earlier command on the line pipes into it.
struct TExample {
    std::string Line;
    bool Piped = false;
};

std::vector<TExample> Examples(const std::filesystem::path& file) {
    std::ifstream readme(file);
    std::vector<TExample> examples;
    std::string line;
    std::string pending;
    while (std::getline(readme, line)) {
        if (pending.empty() &&
            (line.rfind("    ", 0) != 0 || line.find(Program) == std::string::npos)) {
            continue;
        }
        pending += line;
        if (!pending.empty() && pending.back() == '\\') {
            pending.pop_back();
            continue;
        }
        size_t pipe = pending.rfind('|');
        TExample example{
            pending.substr(pending.find(Program, pipe == std::string::npos ? 0 : pipe) +
                           std::string(Program).size()),
            pipe != std::string::npos};
        examples.push_back(example);
        pending.clear();
    }
    return examples;
}

// Words as the shell splits them: blanks separate, double quotes group; the brackets of an
// optional part are dropped, so the example runs with it.
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, inWord = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '[' || c == ']')) {
            if (inWord && c == ' ') {
                words.push_back(word);
                word.clear();
                inWord = false;
            }
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(word);
    }
    return words;
}

// The README and every page of docs/, in a fixed order.
std::vector<std::filesystem::path> DocumentationFiles() {
    const std::filesystem::path source(MONDREL_SOURCE_DIR);
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(source / "docs")) {
        if (entry.path().extension() == ".md") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    files.insert(files.begin(), source / "README.md");
    return files;
}

// The examples of each file run, in order, on one fresh file (made by `init` when the file's
// examples do not begin with it), and the help of each command explains every option used.
TEST(ReadmeExamples, RunAndTheirOptionsAreExplained) {
    TScopedClock clock(Day(2026, 12, 1) + At(10, 0));
    size_t count = 0;
    for (const std::filesystem::path& file : DocumentationFiles()) {
        SCOPED_TRACE(file.string());
        TTempFolder temp;
        std::string path = temp.File("Mondrel.sdb");
        { std::ofstream(temp.File("sample.ics"), std::ios::binary) << SampleCalendar; }
        std::vector<TExample> examples = Examples(file);
        count += examples.size();
        if (!examples.empty() && Words(examples.front().Line).front() != "init") {
            ASSERT_EQ(RunTool({"init", path}).Exit, 0);
        }
        for (const TExample& example : examples) {
            std::vector<std::string> args = Words(example.Line);
            ASSERT_FALSE(args.empty());
            std::string help = RunTool({"help", args[0]}).Out;
            for (std::string& arg : args) {
                if (arg == "PATH") {
                    arg = path;
                } else if (arg.size() > 4 && arg.ends_with(".ics")) {
                    // Calendars read come from the sample; those written go to the test's folder.
                    arg = temp.File(args[0] == "import" ? "sample.ics" : arg);
                } else if (arg.rfind("--", 0) == 0) {
                    EXPECT_NE(help.find("\n  " + arg), std::string::npos)
                        << "help " << args[0] << " does not explain " << arg;
                }
            }
            TRun run = RunTool(args, example.Piped ? SampleCalendar : "");
            EXPECT_EQ(run.Exit, 0) << example.Line << "\n" << run.Err;
        }
    }
    EXPECT_GE(count, 15u);
}

}  // namespace
