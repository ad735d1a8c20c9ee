// The event scripter: which names it accepts and what a started script sees.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

#include "HostHistory.h"
#include "HostTestSupport.h"

namespace {

using HostScripter = HostTest;

TNHXInterfacePtr<INHXEventScripter> Scripter(TNHXHost& host) {
    return NHXQuery<INHXEventScripter>(host.Kernel(), IID_INHXEventScripter);
}

NHXResult Lookup(INHXEventScripter* scripter, const std::string& name,
                 std::string* path = nullptr) {
    TNHXTextRef text(name);
    TNHXTextRef out;
    const NHXResult result = scripter->LookupScript(text.Get(), out.Out());
    if (path) {
        *path = out.Str();
    }
    return result;
}

bool Logged(const TNHXHost& host, const std::string& text) {
    const auto& entries = host.Log().Entries();
    return std::any_of(entries.begin(), entries.end(),
                       [&text](const THostLogEntry& e) { return e.Text == text; });
}

}  // namespace

TEST_F(HostScripter, LookupKnowsOnlyExecutableFilesInsideTheFolder) {
    WriteScript("lights.sh", "exit 0\n");
    WriteScript("notes.txt", "not a script\n", false);
    WriteWholeFile(KernelDir() + "outside.sh", "#!/bin/sh\n", true);
    ASSERT_TRUE(QDir(QString::fromStdString(ScriptsDir())).mkdir("folder"));
    TNHXHost host(Options());
    auto scripter = Scripter(host);

    std::string path;
    EXPECT_EQ(Lookup(scripter.Get(), "lights.sh", &path), S_OK);
    EXPECT_EQ(path, ScriptsDir() + "/lights.sh");
    const std::vector<std::string> refused = {"notes.txt",
                                              "missing.sh",
                                              "folder",
                                              "",
                                              ".",
                                              "..",
                                              "../outside.sh",
                                              "scripts/../lights.sh",
                                              "/bin/sh",
                                              " lights.sh",
                                              std::string("lights.sh\0x", 11)};
    for (const std::string& name : refused) {
        EXPECT_EQ(Lookup(scripter.Get(), name), E_FAIL) << name;
    }
    EXPECT_EQ(host.Scripter().Lookups().size(), 12u);
    EXPECT_EQ(host.Scripter().Lookups()[0], "lights.sh");
    EXPECT_EQ(host.Scripter().ListScripts(), std::vector<std::string>{"lights.sh"});

    // Running a name outside the folder is refused as well, and nothing starts.
    TNHXTextRef outside("../outside.sh");
    EXPECT_EQ(scripter->RunScript(outside.Get(), nullptr, 0, nullptr, 0), E_FAIL);
    EXPECT_EQ(host.Scripter().RunningCount(), 0);
    ASSERT_EQ(host.Scripter().Runs().size(), 1u);
    EXPECT_EQ(host.Scripter().Runs()[0].Result, E_FAIL);
}

TEST_F(HostScripter, ScriptRunsWithSenderAndParametersInItsEnvironment) {
    WriteScript("show.sh",
                "echo \"sender=$NHX_SENDER\"\n"
                "echo \"d=$Mondrel_Discription|v=$Mondrel_Value|date=$Mondrel_Date|"
                "time=$Mondrel_Time\"\n"
                "printf 'no newline'\n"
                "exit 3\n");
    TNHXHost host(Options());
    auto scripter = Scripter(host);

    const char* names[] = {"Mondrel_Discription", "Mondrel_Value", "Mondrel_Date", "Mondrel_Time"};
    const char* values[] = {"Feed the cat", "2 cups", "12/8/26", "10:30:00"};
    TNHXVariablesRef variables = TNHXVariablesRef::Adopt(NHXVariablesNew(4));
    for (uint32_t i = 0; i < 4; ++i) {
        variables[i].Name = NHXTextNew(names[i]);
        variables[i].TypeCode = NHX_VAR_STRING;
        variables[i].Updated = 46364.4375;
        variables[i].ValueText = NHXTextNew(values[i]);
    }
    TNHXScriptParams params{};
    params.Variables = variables.Get();
    TNHXTextRef script("show.sh");
    TNHXTextRef sender("Mondrel");

    ASSERT_EQ(scripter->RunScript(script.Get(), sender.Get(), 0, &params, 0), S_OK);
    ASSERT_TRUE(host.Scripter().WaitForScripts(20000));

    const THostScriptRun& run = host.Scripter().Runs().at(0);
    EXPECT_EQ(run.Script, "show.sh");
    EXPECT_EQ(run.Sender, "Mondrel");
    ASSERT_EQ(run.Params.size(), 4u);
    EXPECT_EQ(run.Params[2].Name, "Mondrel_Date");
    EXPECT_EQ(run.Params[2].Value, "12/8/26");
    EXPECT_EQ(run.Params[2].TypeCode, NHX_VAR_STRING);
    EXPECT_DOUBLE_EQ(run.Params[2].Updated, 46364.4375);

    EXPECT_TRUE(Logged(host, "Script show.sh: sender=Mondrel"));
    EXPECT_TRUE(Logged(host, "Script show.sh: d=Feed the cat|v=2 cups|date=12/8/26|time=10:30:00"));
    EXPECT_TRUE(Logged(host, "Script show.sh: no newline"));
    EXPECT_TRUE(Logged(host, "Script show.sh finished with exit code 3"));
    EXPECT_EQ(host.Log().Entries().back().Kind, NHX_LOG_ERROR);
}

namespace {

int OpenDescriptors() {
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files).size());
}

// Leaves exactly `left` descriptors free for the scope, whatever gaps the numbering has. Two stay
// free because the sanitizers check memory through a pipe of their own; a script needs more (its
// pipes and the child's start-up pipe).
class TScopedDescriptorsLeft {
  public:
    explicit TScopedDescriptorsLeft(int left) : Limit(1024) {
        while (Held.size() < 1024) {
            const int descriptor = open("/dev/null", O_RDONLY | O_CLOEXEC);
            if (descriptor < 0) {
                break;
            }
            Held.push_back(descriptor);
        }
        for (int i = 0; i < left && !Held.empty(); ++i) {
            close(Held.back());
            Held.pop_back();
        }
    }
    ~TScopedDescriptorsLeft() {
        for (const int descriptor : Held) {
            close(descriptor);
        }
    }

  private:
    TScopedDescriptorLimit Limit;
    std::vector<int> Held;
};

NHXResult RunWithValue(INHXEventScripter* scripter, const std::string& script,
                       const std::string& value) {
    TNHXVariablesRef variables = TNHXVariablesRef::Adopt(NHXVariablesNew(1));
    variables[0].Name = NHXTextNew("Mondrel_Value");
    variables[0].TypeCode = NHX_VAR_STRING;
    variables[0].ValueText = NHXTextNew(value.c_str());
    TNHXScriptParams params{};
    params.Variables = variables.Get();
    TNHXTextRef name(script);
    TNHXTextRef sender("Mondrel");
    return scripter->RunScript(name.Get(), sender.Get(), 0, &params, 0);
}

}  // namespace

// A host that was down all morning fires a thousand appointments in one tick: every script runs
// exactly once, at most MaxRunningScripts at a time, under the usual limit of 1,024 descriptors.
TEST_F(HostScripter, AThousandRunsAtOnceAllRunExactlyOnce) {
    const std::string out = KernelDir() + "runs.txt";
    WriteScript("count.sh", "echo \"$Mondrel_Value\" >> '" + out + "'\n");
    TScopedDescriptorLimit limit(1024);
    TNHXHost host(Options());
    auto scripter = Scripter(host);
    const int descriptorsBefore = OpenDescriptors();

    constexpr int Runs = 1000;
    for (int i = 0; i < Runs; ++i) {
        ASSERT_EQ(RunWithValue(scripter.Get(), "count.sh", std::to_string(i)), S_OK) << i;
        EXPECT_LE(host.Scripter().RunningCount(), MaxRunningScripts);
    }
    EXPECT_EQ(host.Scripter().QueuedCount(), Runs - MaxRunningScripts);
    ASSERT_TRUE(host.Scripter().WaitForScripts(300000));

    std::vector<int> seen(Runs, 0);
    std::istringstream lines(ReadWholeFile(out));
    for (std::string line; std::getline(lines, line);) {
        ++seen.at(std::stoul(line));
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), Runs);
    // The ended scripts' pipes are closed.
    EXPECT_LE(OpenDescriptors(), descriptorsBefore + 4);
    EXPECT_EQ(host.Scripter().Runs().size(), HostHistoryLimit);
}

// A start that fails for want of descriptors is no failed run: the run waits and starts once
// descriptors are free again.
TEST_F(HostScripter, RunThatCannotStartForWantOfDescriptorsWaitsAndRuns) {
    const std::string out = KernelDir() + "ran.txt";
    WriteScript("quiet.sh", "echo ran >> '" + out + "'\n");
    TNHXHost host(Options());
    auto scripter = Scripter(host);
    {
        TScopedDescriptorsLeft tooFewForAScript(2);
        EXPECT_EQ(RunWithValue(scripter.Get(), "quiet.sh", "x"), S_OK);
        EXPECT_EQ(host.Scripter().RunningCount(), 0);
        EXPECT_EQ(host.Scripter().QueuedCount(), 1);
    }
    EXPECT_TRUE(host.Scripter().WaitForScripts(20000));
    EXPECT_EQ(ReadWholeFile(out), "ran\n");
}

TEST_F(HostScripter, PublishedScriptsNeedAPublisherAndNoFile) {
    TNHXHost host(Options());
    auto scripter = Scripter(host);
    EXPECT_EQ(Lookup(scripter.Get(), "mqtt/lights/on"), E_FAIL);

    std::vector<std::string> published;
    host.Scripter().SetPublisher([&published](const THostScriptRun& run) {
        published.push_back(run.Script);
        return true;
    });
    std::string path;
    EXPECT_EQ(Lookup(scripter.Get(), "mqtt/lights/on", &path), S_OK);
    EXPECT_EQ(path, "mqtt/lights/on");
    for (const std::string bad : {"mqtt/", "mqtt/a/+", "mqtt/#"}) {
        EXPECT_EQ(Lookup(scripter.Get(), bad), E_FAIL) << bad;
    }
    EXPECT_EQ(RunWithValue(scripter.Get(), "mqtt/lights/on", "1"), S_OK);
    EXPECT_EQ(published, std::vector<std::string>{"mqtt/lights/on"});
    EXPECT_EQ(host.Scripter().RunningCount(), 0);
}
