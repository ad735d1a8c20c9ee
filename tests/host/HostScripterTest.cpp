// The event scripter: which names it accepts and what a started script sees.
#include <algorithm>

#include "HostTestSupport.h"

namespace {

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

TEST_F(HostTest, LookupKnowsOnlyExecutableFilesInsideTheFolder) {
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

TEST_F(HostTest, ScriptRunsWithSenderAndParametersInItsEnvironment) {
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

TEST_F(HostTest, ScriptThatCannotStartIsLoggedAsAnError) {
    // Executable, but its interpreter does not exist.
    WriteWholeFile(ScriptsDir() + "/broken.sh", "#!/nonexistent/interpreter\n", true);
    TNHXHost host(Options());
    TNHXTextRef script("broken.sh");
    EXPECT_EQ(Scripter(host)->RunScript(script.Get(), nullptr, 0, nullptr, 0), S_OK);
    ASSERT_TRUE(host.Scripter().WaitForScripts(20000));
    const THostLogEntry& last = host.Log().Entries().back();
    EXPECT_EQ(last.Kind, NHX_LOG_ERROR);
    EXPECT_EQ(last.Text.rfind("Script broken.sh ", 0), 0u) << last.Text;
}
