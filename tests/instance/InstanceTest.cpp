#include "HostLogLines.h"
#include "InstanceFixture.h"
#include "Timer.h"

namespace {

std::string DatabaseOf(INHXMondrel* instance) {
    TNHXMondrelSettings settings{};
    EXPECT_EQ(instance->GetSettings(&settings), S_OK);
    return TNHXTextRef::Adopt(settings.Database).Str();
}

using InstanceTest = InstanceFixture;

}  // namespace

TEST_F(InstanceTest, StartsItsTimersAndLogsItsCreationAndDestruction) {
    auto instance = MakeInstance(7);
    TNHXMondrel& mondrel = Mondrel(instance);
    EXPECT_EQ(mondrel.Timer1().Name(), "Timer1");
    EXPECT_EQ(mondrel.Timer1().Interval(), 60000);
    EXPECT_TRUE(mondrel.Timer1().Enabled());
    EXPECT_EQ(mondrel.StartupTimer().Interval(), 30000);
    EXPECT_TRUE(mondrel.StartupTimer().Enabled());
    EXPECT_EQ(instance->ReceiveMessage(1), E_FAIL);
    instance.Reset();

    auto entries = ModuleEntries(Host->Log(), TLogMatch().From("Mondrel #7"));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Text, "Interface Create");
    EXPECT_EQ(entries[0].Kind, NHX_LOG_NOTICE);
    EXPECT_EQ(entries[1].Text, "Interface Destroy");
}

TEST_F(InstanceTest, LogsEveryServiceItCannotObtain) {
    Host->RefuseAllServices();
    auto instance = MakeInstance(12345);
    auto entries = ModuleEntries(Host->Log(), TLogMatch().From("Mondrel #12345"));
    std::vector<std::string> texts;
    for (const auto& entry : entries) {
        texts.push_back(std::to_string(entry.Kind) + " " + entry.Text);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"10024 >Couldn't obtain EventScripter Object",
                                               "10024 >Couldn't obtain Settings Object",
                                               "10024 >Couldn't obtain DebugServer Object",
                                               "10024 >Couldn't obtain InstanceControl Object",
                                               "10024 >Couldn't obtain VariableManager Object",
                                               "10021 Interface Create"}));
    // Without a settings store the database is the default one.
    EXPECT_EQ(DatabaseOf(instance.Get()), KernelDir + "Database/Mondrel.sdb");
}

TEST_F(InstanceTest, ReadsItsDatabasePathFromTheHostSettings) {
    EXPECT_EQ(DatabaseOf(MakeInstance(1).Get()), KernelDir + "Database/Mondrel.sdb");

    Host->Settings().SetValue(2, {"Settings"}, "Database", "/data/Other/Mondrel.sdb");
    EXPECT_EQ(DatabaseOf(MakeInstance(2).Get()), "/data/Other/Mondrel.sdb");

    Host->Settings().SetValue(3, {"Settings"}, "Database", "");
    EXPECT_EQ(DatabaseOf(MakeInstance(3).Get()), "");
}

TEST_F(InstanceTest, SetSettingsChangesThePathButNeverTheHostStore) {
    auto instance = MakeInstance(4);
    TNHXTextRef path("/elsewhere/Mondrel.sdb");
    TNHXMondrelSettings settings{path.Get()};
    EXPECT_EQ(instance->SetSettings(&settings), S_OK);
    EXPECT_EQ(DatabaseOf(instance.Get()), "/elsewhere/Mondrel.sdb");
    EXPECT_FALSE(Host->Settings().Value(4, {"Settings"}, "Database").has_value());
    instance.Reset();
    // A new instance reads the store again.
    EXPECT_EQ(DatabaseOf(MakeInstance(4).Get()), KernelDir + "Database/Mondrel.sdb");
}

TEST_F(InstanceTest, CreatesOnlyTheMissingForcedVariablesOnceStarted) {
    Host->Variables().PreCreate("Mondrel_IsWeekend", NHX_VAR_BOOLEAN);
    Host->Variables().PreCreate("mondrel_ispublicholiday", NHX_VAR_BOOLEAN);
    auto instance = MakeInstance();
    Host->Variables().ClearHistory();
    Mondrel(instance).StartupTimer().Fire();

    std::vector<std::string> created;
    for (const auto& record : Host->Variables().History()) {
        EXPECT_EQ(record.Call, THostVariableCall::CreateVariable);
        created.push_back(record.Name + ":" + std::to_string(record.TypeCode));
    }
    EXPECT_EQ(created,
              (std::vector<std::string>{"Mondrel_TriggerValue:3", "Mondrel_IsPublicHoliday:0"}));
    EXPECT_FALSE(Mondrel(instance).StartupTimer().Enabled());
}

TEST_F(InstanceTest, AnswersOnlyItsTwoInterfacesAndCountsReferences) {
    auto instance = MakeInstance();
    EXPECT_EQ(instance->GetRefCount(), 1);
    for (const GUID& iid : {IID_INHXModule, IID_INHXMondrel}) {
        void* out = nullptr;
        ASSERT_EQ(instance->QueryInterface(&iid, &out), S_OK);
        EXPECT_EQ(out, static_cast<void*>(instance.Get()));
        EXPECT_EQ(instance->GetRefCount(), 2);
        EXPECT_EQ(instance->Release(), 1u);
    }
    const GUID random = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
    for (const GUID& iid : {IID_IUnknown, random, IID_INHXAddInPlugin}) {
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(instance->QueryInterface(&iid, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }
    const uint32_t record[4] = {1, 2, 3, 0xFFFFFFFF};
    EXPECT_EQ(instance->SetHostRecord(record), S_OK);
    EXPECT_EQ(Mondrel(instance).HostRecordWords()[3], 0xFFFFFFFFu);
}
