// The host's services as a module meets them: through the kernel and the contract's slots.
#include <sys/stat.h>

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <stdexcept>

#include "HostHistory.h"
#include "HostSelector.h"
#include "HostTestSupport.h"
#include "TestSupport.h"

namespace {

using HostServices = HostTest;

template <class I>
TNHXInterfacePtr<I> Service(TNHXHost& host, const GUID& iid) {
    return NHXQuery<I>(host.Kernel(), iid);
}

uint32_t RefCountOf(INHXUnknown* object) {
    object->AddRef();
    return object->Release();
}

}  // namespace

TEST_F(HostServices, KernelAnswersEveryServiceAndRefusesOnRequest) {
    TNHXHost host(Options());
    const GUID services[] = {IID_INHXEventScripter,   IID_INHXSettings,        IID_INHXDebugServer,
                             IID_INHXInstanceControl, IID_INHXVariableManager, IID_INHXModuleLoader,
                             IID_INHXAddInLibrary};
    for (const GUID& iid : services) {
        auto service = Service<INHXUnknown>(host, iid);
        ASSERT_TRUE(service);
        // The host and its kernel keep one reference each; the caller holds the third.
        EXPECT_EQ(RefCountOf(service.Get()), 3u);
    }

    host.RefuseService(THostService::Settings);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(host.Kernel()->QueryInterface(&IID_INHXSettings, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_TRUE(Service<INHXUnknown>(host, IID_INHXVariableManager));

    host.RefuseAllServices();
    for (const GUID& iid : services) {
        EXPECT_FALSE(Service<INHXUnknown>(host, iid));
    }
    host.RefuseAllServices(false);
    EXPECT_TRUE(Service<INHXUnknown>(host, IID_INHXSettings));

    const GUID unknown = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(host.Kernel()->QueryInterface(&unknown, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_TRUE(Service<INHXKernel>(host, IID_INHXKernel));
    EXPECT_EQ(host.Kernel()->Reserved4(), E_NOTIMPL);
}

TEST_F(HostServices, KernelLogsAndAnswersItsDirectory) {
    TNHXHost host(Options());
    TNHXTextRef dir;
    ASSERT_EQ(host.Kernel()->GetKernelDir(dir.Out()), S_OK);
    EXPECT_EQ(dir.Str(), KernelDir());

    host.Log().AddHostNote(NHX_LOG_NOTICE, "host's own");
    TNHXTextRef sender("Mondrel #7");
    TNHXTextRef text("Interface Create");
    EXPECT_EQ(host.Kernel()->LogMessage(NHX_LOG_ERROR, sender.Get(), text.Get()), S_OK);
    host.Kernel()->LogMessage(NHX_LOG_NOTICE, nullptr, nullptr);

    const auto entries = host.Log().ModuleEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Kind, NHX_LOG_ERROR);
    EXPECT_EQ(entries[0].Sender, "Mondrel #7");
    EXPECT_EQ(entries[0].Text, "Interface Create");
    EXPECT_EQ(entries[1].Sender, "");
    const std::string line = THostLog::FormatEntry(entries[0]);
    EXPECT_NE(line.find("10024"), std::string::npos);
    EXPECT_NE(line.find("[Mondrel #7] Interface Create"), std::string::npos);
}

TEST_F(HostServices, KernelDirectoryDefaultsAndGetsItsSlash) {
    TNHXHostOptions options;
    options.KernelDir = Dir.path().toStdString();  // no trailing slash
    TNHXHost host(options);
    EXPECT_EQ(host.KernelDir(), KernelDir());
    EXPECT_EQ(host.Settings().File(), KernelDir() + "nhx-host.ini");
    EXPECT_EQ(host.Scripter().ScriptsDir(), KernelDir() + "scripts");
}

TEST_F(HostServices, VariablesKeepTypesValuesAndTheHistoryOfCalls) {
    TNHXHost host(Options());
    auto variables = Service<INHXVariableManager>(host, IID_INHXVariableManager);
    TNHXTextRef trigger("Mondrel_TriggerValue");
    TNHXTextRef weekend("Mondrel_IsWeekend");
    TNHXTextRef value("Garden lights on");

    EXPECT_EQ(variables->CreateVariable(trigger.Get(), NHX_VAR_STRING), S_OK);
    EXPECT_EQ(variables->CreateVariable(weekend.Get(), NHX_VAR_BOOLEAN), S_OK);
    EXPECT_EQ(variables->WriteString(trigger.Get(), value.Get()), S_OK);
    EXPECT_EQ(variables->WriteBoolean(weekend.Get(), true), S_OK);
    // Writes into a missing variable or one of another type fail, and are still recorded.
    TNHXTextRef missing("Nobody_Made_Me");
    EXPECT_EQ(variables->WriteBoolean(missing.Get(), false), E_FAIL);
    EXPECT_EQ(variables->WriteString(weekend.Get(), value.Get()), E_FAIL);
    EXPECT_EQ(variables->CreateVariable(weekend.Get(), NHX_VAR_STRING), E_FAIL);

    const auto& history = host.Variables().History();
    ASSERT_EQ(history.size(), 7u);
    EXPECT_EQ(history[0].Call, THostVariableCall::CreateVariable);
    EXPECT_EQ(history[0].TypeCode, NHX_VAR_STRING);
    EXPECT_EQ(history[2].Call, THostVariableCall::WriteString);
    EXPECT_EQ(history[2].Value, "Garden lights on");
    EXPECT_EQ(history[3].Call, THostVariableCall::WriteBoolean);
    EXPECT_TRUE(history[3].BoolValue);
    EXPECT_EQ(history[4].Name, "Nobody_Made_Me");
    EXPECT_EQ(history[4].Result, E_FAIL);

    EXPECT_EQ(host.Variables().Find("Mondrel_TriggerValue")->Value, "Garden lights on");
    EXPECT_EQ(host.Variables().Find("Mondrel_IsWeekend")->Value, "true");
    EXPECT_EQ(host.Variables().Find("Mondrel_IsWeekend")->TypeCode, NHX_VAR_BOOLEAN);
    EXPECT_FALSE(host.Variables().Find("mondrel_isweekend"));  // names are case-sensitive

    // Every create and write reaches the log as a host note.
    int notes = 0;
    for (const auto& entry : host.Log().Entries()) {
        notes += entry.Origin == THostLogOrigin::Host ? 1 : 0;
    }
    EXPECT_EQ(notes, 7);
}

TEST_F(HostServices, GetVariablesHandsOutAnArrayTheCallerReleases) {
    TNHXHost host(Options());
    host.Variables().PreCreate("Mondrel_IsWeekend", NHX_VAR_BOOLEAN);
    host.Variables().PreCreate("Other", NHX_VAR_STRING, "x");
    auto variables = Service<INHXVariableManager>(host, IID_INHXVariableManager);

    TNHXVariablesRef list;
    int32_t count = -1;
    ASSERT_EQ(variables->GetVariables(list.Out(), &count), S_OK);
    ASSERT_EQ(count, 2);
    ASSERT_EQ(list.Count(), 2u);
    EXPECT_EQ(NHXTextToString(list[0].Name), "Mondrel_IsWeekend");
    EXPECT_EQ(list[0].TypeCode, NHX_VAR_BOOLEAN);
    EXPECT_EQ(NHXTextToString(list[1].ValueText), "x");
    EXPECT_GT(list[1].Updated, 40000.0);
    EXPECT_TRUE(host.Variables().History().empty());  // pre-created, not called

    TNHXHost empty(Options());
    TNHXVariablesRef none;
    count = -1;
    ASSERT_EQ(NHXQuery<INHXVariableManager>(empty.Kernel(), IID_INHXVariableManager)
                  ->GetVariables(none.Out(), &count),
              S_OK);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(none.Get(), nullptr);
}

TEST_F(HostServices, VariablesDumpIsRewrittenOnEveryChange) {
    TNHXHostOptions options = Options();
    options.VariablesOut = KernelDir() + "variables.tsv";
    TNHXHost host(options);
    EXPECT_EQ(ReadWholeFile(options.VariablesOut), "");

    auto variables = Service<INHXVariableManager>(host, IID_INHXVariableManager);
    TNHXTextRef name("Mondrel_TriggerValue");
    variables->CreateVariable(name.Get(), NHX_VAR_STRING);
    EXPECT_EQ(ReadWholeFile(options.VariablesOut), "Mondrel_TriggerValue\t3\t\n");

    TNHXTextRef awkward("tab\there\nnew line \\ end");
    variables->WriteString(name.Get(), awkward.Get());
    host.Variables().PreCreate("Flag", NHX_VAR_BOOLEAN);
    EXPECT_EQ(ReadWholeFile(options.VariablesOut),
              "Mondrel_TriggerValue\t3\ttab\\there\\nnew line \\\\ end\n"
              "Flag\t0\tfalse\n");
}

TEST_F(HostServices, AThrowingVariableListenerIsLoggedAndTheWriteStillSucceeds) {
    TNHXHost host(Options());
    host.Variables().SetVariableListener(
        [](const THostVariable&) { throw std::runtime_error("broker gone"); });
    host.Variables().SetChangeListener([] { throw 42; });
    auto variables = Service<INHXVariableManager>(host, IID_INHXVariableManager);
    TNHXTextRef name("Mondrel_TriggerValue");
    TNHXTextRef value("on");
    ASSERT_EQ(variables->CreateVariable(name.Get(), NHX_VAR_STRING), S_OK);
    EXPECT_EQ(variables->WriteString(name.Get(), value.Get()), S_OK);
    EXPECT_EQ(host.Variables().Find("Mondrel_TriggerValue")->Value, "on");
    int failures = 0;
    for (const THostLogEntry& entry : host.Log().Entries()) {
        failures +=
            entry.Kind == NHX_LOG_ERROR && entry.Text.rfind("A variable listener failed", 0) == 0;
    }
    EXPECT_EQ(failures, 4) << "two listeners, two changes";
}

TEST_F(HostServices, VariablesFileIsReadAtStartAndBadLinesAreKeptAsTheyWere) {
    TNHXHostOptions options = Options();
    options.VariablesOut = KernelDir() + "variables.tsv";
    WriteWholeFile(options.VariablesOut,
                   "# declared by hand\n"
                   "Vacation\tboolean\tTRUE\n"
                   "Mondrel_TriggerValue\t3\ttwo\\tparts\\\\\n"
                   "\n"
                   "Broken line without tabs\n"
                   "Odd\tnumber\t1\n"
                   "Lamp\t0\tmaybe\n"
                   "Vacation\t0\tfalse\n"
                   "Empty\tstring\t\n",
                   false);
    TNHXHost host(options);

    ASSERT_EQ(host.Variables().Variables().size(), 3u);
    EXPECT_EQ(host.Variables().Find("Vacation")->Value, "true");
    EXPECT_EQ(host.Variables().Find("Mondrel_TriggerValue")->Value, "two\tparts\\");
    EXPECT_EQ(host.Variables().Find("Empty")->TypeCode, NHX_VAR_STRING);
    std::vector<std::string> errors;
    for (const THostLogEntry& entry : host.Log().Entries()) {
        if (entry.Kind == NHX_LOG_ERROR) {
            errors.push_back(entry.Text.substr(entry.Text.find(", line ")));
        }
    }
    EXPECT_EQ(errors, (std::vector<std::string>{
                          ", line 5 skipped (kept in the file): not name<TAB>type<TAB>value",
                          ", line 6 skipped (kept in the file): unknown type \"number\" (0 or "
                          "boolean, 3 or string)",
                          ", line 7 skipped (kept in the file): a boolean is true or false",
                          ", line 8 skipped (kept in the file): \"Vacation\" is declared twice"}));

    // The module's writes reach a declared variable, and the file keeps them (rewritten whole,
    // comments and the lines the host cannot read in place, the reason above each).
    auto variables = Service<INHXVariableManager>(host, IID_INHXVariableManager);
    TNHXTextRef name("Vacation");
    EXPECT_EQ(variables->WriteBoolean(name.Get(), false), S_OK);
    const std::string kept = "# nhx-host cannot read the next line, kept as it is: ";
    const std::string rewritten =
        "# declared by hand\nVacation\t0\tfalse\nMondrel_TriggerValue\t3\ttwo\\tparts\\\\\n\n" +
        kept + "not name<TAB>type<TAB>value\nBroken line without tabs\n" + kept +
        "unknown type \"number\" (0 or boolean, 3 or string)\nOdd\tnumber\t1\n" + kept +
        "a boolean is true or false\nLamp\t0\tmaybe\n" + kept +
        "\"Vacation\" is declared twice\nVacation\t0\tfalse\nEmpty\t3\t\n";
    EXPECT_EQ(ReadWholeFile(options.VariablesOut), rewritten);
    struct stat status {};
    ASSERT_EQ(stat(options.VariablesOut.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u) << "only its owner reads the file";
    EXPECT_EQ(host.Variables().Declare("Lamp", NHX_VAR_BOOLEAN, "maybe"),
              "A boolean variable is true or false, not \"maybe\"");
    EXPECT_EQ(host.Variables().Declare("Vacation", NHX_VAR_STRING, ""),
              "A variable named \"Vacation\" exists already");
    EXPECT_EQ(host.Variables().Declare("Lamp", NHX_VAR_BOOLEAN, "True"), "");

    // A restart reads back what the last run left, and keeps the kept lines once.
    {
        TNHXHost again(options);
        EXPECT_EQ(again.Variables().Find("Lamp")->Value, "true");
        EXPECT_EQ(again.Variables().Find("Vacation")->Value, "false");
    }
    EXPECT_EQ(ReadWholeFile(options.VariablesOut), rewritten + "Lamp\t0\ttrue\n");

    options.VariablesOut = KernelDir() + "scripts";
    EXPECT_THROW_MSG(TNHXHost{options}, EVariablesFileError,
                     "the variables file " + options.VariablesOut + " is a directory");
}

TEST_F(HostServices, WritesToUndeclaredVariablesAreLoggedOncePerDay) {
    TNHXHost host(Options());
    auto variables = Service<INHXVariableManager>(host, IID_INHXVariableManager);
    TNHXTextRef name("Vacation");
    for (int hour = 0; hour < 3; ++hour) {
        EXPECT_EQ(variables->WriteBoolean(name.Get(), true), E_FAIL);
    }
    host.Variables().PreCreate("Text", NHX_VAR_STRING);
    TNHXTextRef text("Text");
    variables->WriteBoolean(text.Get(), true);
    variables->WriteBoolean(text.Get(), true);
    std::vector<std::string> errors;
    for (const THostLogEntry& entry : host.Log().Entries()) {
        if (entry.Kind == NHX_LOG_ERROR) {
            errors.push_back(entry.Text);
        }
    }
    EXPECT_EQ(errors, (std::vector<std::string>{
                          "WriteBoolean: no variable named \"Vacation\" (logged once a day)",
                          "WriteBoolean: Text is a string variable (logged once a day)"}));
    EXPECT_EQ(host.Variables().History().size(), 5u);
}

// A folder that is not there yet: the failure is said once, and the recovery once.
TEST_F(HostServices, VariablesThatCannotBeWrittenAreSaidOnceAndWritesLoggedOnlyOnChange) {
    TNHXHostOptions options = Options();
    options.VariablesOut = KernelDir() + "later/variables.tsv";
    TNHXHost host(options);
    host.Variables().PreCreate("Flag", NHX_VAR_BOOLEAN, "false");
    auto variables = Service<INHXVariableManager>(host, IID_INHXVariableManager);
    TNHXTextRef name("Flag");
    variables->WriteBoolean(name.Get(), true);
    variables->WriteBoolean(name.Get(), true);
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(KernelDir() + "later")));
    variables->WriteBoolean(name.Get(), true);
    variables->WriteBoolean(name.Get(), false);
    std::vector<std::string> notes;
    for (const THostLogEntry& entry : host.Log().Entries()) {
        if (entry.Text.find("ariable") != std::string::npos &&
            entry.Text.find("created") == std::string::npos) {
            notes.push_back(entry.Text.substr(0, entry.Text.find(':')));
        }
    }
    EXPECT_EQ(notes,
              (std::vector<std::string>{
                  "Cannot write the variables to " + KernelDir() + "later/variables.tsv",
                  "Variable Flag ",
                  "The variables are written to " + KernelDir() + "later/variables.tsv again",
                  "Variable Flag "}));
}

TEST_F(HostServices, LogLinesShowControlCharactersEscaped) {
    THostLogEntry entry{QDateTime::currentDateTime(), NHX_LOG_NOTICE, "Mon\x1b[2J",
                        std::string("a\nb\tc\0d\x7f", 8), THostLogOrigin::Module};
    const std::string line = THostLog::FormatEntry(entry);
    EXPECT_NE(line.find("[Mon\\x1b[2J] a\\nb\\tc\\x00d\\x7f"), std::string::npos) << line;
}

TEST_F(HostServices, LogKeepsTheLastEntriesButHandsOutEvery) {
    THostLog log;
    int seen = 0;
    log.AddListener([&seen](const THostLogEntry&) { ++seen; });
    for (int i = 0; i < 2500; ++i) {
        log.AddHostNote(NHX_LOG_NOTICE, std::to_string(i));
    }
    EXPECT_EQ(seen, 2500);
    ASSERT_EQ(log.Entries().size(), HostHistoryLimit);
    EXPECT_EQ(log.Entries().front().Text, "1500");
    EXPECT_EQ(log.Entries().back().Text, "2499");
}

TEST_F(HostServices, SettingsReadOneValuePerInstanceSectionAndKey) {
    TNHXHost host(Options());
    host.Settings().SetValue(7, {"Settings"}, "Database", "/data/a,b.sdb");
    host.Settings().SetValue(8, {"Settings"}, "Database", "");
    auto settings = Service<INHXSettings>(host, IID_INHXSettings);
    TNHXTextArrayRef section({"Settings"});
    TNHXTextRef key("Database");

    TNHXTextRef value;
    ASSERT_EQ(settings->ReadString(7, section.Get(), key.Get(), value.Out()), S_OK);
    EXPECT_EQ(value.Str(), "/data/a,b.sdb");
    // A stored empty value is a success with the empty text; no value at all is a failure.
    ASSERT_EQ(settings->ReadString(8, section.Get(), key.Get(), value.Out()), S_OK);
    EXPECT_EQ(value.Get(), nullptr);
    EXPECT_EQ(settings->ReadString(9, section.Get(), key.Get(), value.Out()), E_FAIL);
    TNHXTextArrayRef other({"Other"});
    EXPECT_EQ(settings->ReadString(7, other.Get(), key.Get(), value.Out()), E_FAIL);
    // A key may not climb into another section or instance.
    TNHXTextRef sneaky("../Instance7/Settings/Database");
    EXPECT_EQ(settings->ReadString(7, section.Get(), sneaky.Get(), value.Out()), E_FAIL);

    QSettings ini(QString::fromStdString(host.Settings().File()), QSettings::IniFormat);
    EXPECT_EQ(ini.value("Instance7/Settings/Database").toString(), "/data/a,b.sdb");
    EXPECT_NE(ReadWholeFile(host.Settings().File()).find("[Instance7]"), std::string::npos);
}

TEST_F(HostServices, SettingsReadAHandWrittenFile) {
    WriteWholeFile(KernelDir() + "nhx-host.ini",
                   "[Instance3]\nSettings\\Database=/srv/home,garden.sdb\n", false);
    TNHXHost host(Options());
    EXPECT_EQ(host.Settings().Value(3, {"Settings"}, "Database"), "/srv/home,garden.sdb");
}

TEST_F(HostServices, InstanceControlNumbersCreatesAndDeletesSelectorInstances) {
    TNHXHost host(Options());
    auto control = Service<INHXInstanceControl>(host, IID_INHXInstanceControl);
    host.Instances().SetNextNumber(65535);

    TNHXModuleInstance record{};
    ASSERT_EQ(control->CreateInstance(&CLSID_NHXSelectorModule, &record, 0), S_OK);
    EXPECT_EQ(record.InstanceID, 65535);
    ASSERT_NE(record.Module, nullptr);
    auto module = TNHXInterfacePtr<INHXModule>::Adopt(record.Module);
    // The host keeps its own reference besides the caller's.
    EXPECT_EQ(module->GetRefCount(), 2);

    TNHXModuleInstance second{};
    ASSERT_EQ(control->CreateInstance(&CLSID_NHXSelectorModule, &second, 0), S_OK);
    EXPECT_EQ(second.InstanceID, 0);  // numbers wrap around
    TNHXInterfacePtr<INHXModule>::Adopt(second.Module);
    EXPECT_EQ(host.Instances().Instances().size(), 2u);

    EXPECT_EQ(control->DeleteInstance(65535), S_OK);
    EXPECT_EQ(module->GetRefCount(), 1);
    EXPECT_EQ(control->DeleteInstance(65535), E_FAIL);
    EXPECT_EQ(host.Instances().Instances().size(), 1u);

    const GUID unknown = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
    TNHXModuleInstance none{};
    EXPECT_EQ(control->CreateInstance(&unknown, &none, 0), E_FAIL);
    EXPECT_EQ(none.Module, nullptr);
    host.Instances().SetRefuse(true);
    EXPECT_EQ(control->CreateInstance(&CLSID_NHXSelectorModule, &none, 0), E_FAIL);
    EXPECT_EQ(none.Module, nullptr);
}

TEST_F(HostServices, SelectorAnswersFromItsScriptAndFailsWithoutAChoice) {
    TNHXHost host(Options());
    THostInstance instance;
    ASSERT_EQ(host.Instances().Create(CLSID_NHXSelectorModule, instance), S_OK);
    auto selector = NHXQuery<INHXSelector>(instance.Module.Get(), IID_INHXSelector);
    ASSERT_TRUE(selector);
    EXPECT_TRUE(NHXQuery<INHXModule>(instance.Module.Get(), IID_INHXModule));

    host.Selector().QueueAnswer(THostSelectKind::Variable, "Mondrel_IsWeekend");
    host.Selector().QueueAnswer(THostSelectKind::Script, std::nullopt);  // cancelled
    TNHXTextRef chosen;
    EXPECT_EQ(selector->SelectVariable(1, chosen.Out()), S_OK);
    EXPECT_EQ(chosen.Str(), "Mondrel_IsWeekend");
    EXPECT_EQ(selector->SelectScript(chosen.Out()), E_FAIL);
    EXPECT_EQ(selector->SelectScript(chosen.Out()), E_FAIL);  // nothing queued, no chooser

    host.Selector().SetChooser([](THostSelectKind kind, uint8_t) -> std::optional<std::string> {
        return kind == THostSelectKind::Script ? "lights.sh" : "";
    });
    EXPECT_EQ(selector->SelectScript(chosen.Out()), S_OK);
    EXPECT_EQ(chosen.Str(), "lights.sh");

    const auto& calls = host.Selector().Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].Kind, THostSelectKind::Variable);
    EXPECT_EQ(calls[0].Types, 1);
}

TEST_F(HostServices, ModuleLoaderKnowsLoadedModulesUnlessToldOtherwise) {
    TNHXHost host(Options());
    auto loader = Service<INHXModuleLoader>(host, IID_INHXModuleLoader);
    int32_t found = 0;
    EXPECT_EQ(loader->FindModule(&CLSID_NHXSelectorModule, &found), S_OK);
    EXPECT_EQ(found, 1);
    EXPECT_EQ(loader->FindModule(&CLSID_Mondrel, &found), E_FAIL);  // not loaded
    host.Loader().SetModuleKnown(CLSID_NHXSelectorModule, false);
    EXPECT_EQ(loader->FindModule(&CLSID_NHXSelectorModule, &found), E_FAIL);
    EXPECT_EQ(host.Loader().FindCalls().size(), 3u);
}

// "Add variable" refuses names the variables file or an MQTT topic level cannot hold, saying why.
TEST_F(HostServices, DeclaringRefusesNamesTheFileOrATopicCannotHold) {
    TNHXHost host(Options());
    for (const char* name : {"Bad Name/With\tTab", "Two\nLines"}) {
        EXPECT_EQ(host.Variables().Declare(name, NHX_VAR_STRING, ""),
                  "A variable name cannot hold a tab, a line break or another control character");
    }
    for (const char* name : {"Bad Name/With Slash", "a+b", "#hash"}) {
        EXPECT_EQ(host.Variables().Declare(name, NHX_VAR_STRING, ""),
                  "A variable name cannot hold '/', '+' or '#': MQTT topics reserve them");
    }
    for (const char* name : {" Lamp", "Lamp "}) {
        EXPECT_EQ(host.Variables().Declare(name, NHX_VAR_STRING, ""),
                  "A variable name cannot begin or end with a blank");
    }
    EXPECT_TRUE(host.Variables().Variables().empty());
    EXPECT_EQ(host.Variables().Declare("Living room lamp", NHX_VAR_STRING, ""), "");
}
