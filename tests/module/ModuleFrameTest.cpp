// The module as the host meets it: the real Core.Mondrel.so loaded by the stand-in host.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <QTemporaryDir>
#include <bit>
#include <cstring>

#include "HostKernel.h"
#include "HostLogLines.h"
#include "NHXHost.h"

namespace {

class ModuleFrameTest : public testing::Test {
  protected:
    ModuleFrameTest()
        : Host(std::make_unique<TNHXHost>(
              TNHXHostOptions{.KernelDir = Dir.path().toStdString() + "/",
                              .SettingsFile = Dir.path().toStdString() + "/nhx-host.ini",
                              .ScriptsDir = Dir.path().toStdString() + "/scripts/",
                              .VariablesOut = {},
                              .HistoryFile = {},
                              .HistoryDays = DefaultHistoryDays,
                              .ScriptTimeoutSeconds = DefaultScriptTimeoutSeconds})) {}

    const TNHXModuleInfo& Load() { return Host->LoadModule(MONDREL_MODULE_PATH); }

    std::vector<std::string> Log() const { return LogLines(Host->Log()); }

    QTemporaryDir Dir;
    std::unique_ptr<TNHXHost> Host;
};

// An instance control that answers success but hands out no module.
class TEmptyInstanceControl final : public TNHXMessageObject<INHXInstanceControl> {
  public:
    NHXResult NHXCALL CreateInstance(const GUID*, TNHXModuleInstance* out, int32_t) override {
        if (out) {
            out->Module = nullptr;
        }
        return S_OK;
    }
    NHXResult NHXCALL DeleteInstance(uint16_t) override { return S_OK; }

  protected:
    bool AnswersInterface(const GUID& iid) const override { return iid == IID_INHXInstanceControl; }
};

std::string Text(NHXText t) {
    return t ? std::string(t, NHXTextLength(t)) : std::string();
}

}  // namespace

TEST(ModuleFrame, HandsOutTheSameModuleInfoEveryTime) {
    void* library = dlopen(MONDREL_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto entry = reinterpret_cast<NHXModuleInfoFunc>(dlsym(library, NHX_MODULE_INFO_SYMBOL));
    ASSERT_NE(entry, nullptr);
    const TNHXModuleInfo* first = nullptr;
    const TNHXModuleInfo* second = nullptr;
    EXPECT_EQ(entry(&first), S_OK);
    EXPECT_EQ(entry(&second), S_OK);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);

    EXPECT_TRUE(first->ModuleID == IID_INHXMondrel);
    EXPECT_TRUE(first->SecondID == IID_INHXMondrel);
    for (uint8_t b : first->Reserved) {
        EXPECT_EQ(b, 0);
    }
    EXPECT_FALSE(Text(first->Author).empty());
    EXPECT_EQ(first->Unnamed, nullptr);
    EXPECT_EQ(Text(first->ModuleName), "Mondrel");
    EXPECT_EQ(Text(first->Project), "NHX Mondrel Project");
    EXPECT_EQ(first->VersionInfo, 0x0002010Cu);
    EXPECT_EQ(std::bit_cast<uint64_t>(first->Stamp), 0x40E3202F92ADB365ull);
    EXPECT_EQ(first->Build, 346);
    EXPECT_NE(first->Register, nullptr);
    EXPECT_NE(first->Unregister, nullptr);
    EXPECT_NE(first->CreateInstance, nullptr);

    // Before Register nothing can be created; Register without a kernel and Unregister
    // without one answer S_OK and hold nothing.
    INHXModule* instance = reinterpret_cast<INHXModule*>(0x1);
    EXPECT_EQ(first->CreateInstance(3, &instance), E_FAIL);
    EXPECT_EQ(instance, nullptr);
    EXPECT_EQ(first->Unregister(), S_OK);
    EXPECT_EQ(first->Register(nullptr), S_OK);
    instance = reinterpret_cast<INHXModule*>(0x1);
    EXPECT_EQ(first->CreateInstance(3, &instance), E_FAIL) << "a null kernel is not held";
    EXPECT_EQ(instance, nullptr);
    EXPECT_EQ(first->Unregister(), S_OK);
    EXPECT_EQ(first->Unregister(), S_OK);
    dlclose(library);
}

TEST_F(ModuleFrameTest, RegisterCreatesTheFirstInstanceThroughTheAddIn) {
    Load();
    ASSERT_EQ(Host->RegisterModule(), S_OK);
    EXPECT_EQ(Host->AddIns().AddIns().size(), 1u);
    ASSERT_EQ(Host->Instances().Instances().size(), 1u);
    Host->Shutdown();

    const auto log = Log();
    const std::vector<std::string> expected = {
        "10021 Mondrel: Register", "10021 Mondrel: Creating new Instance...",
        "10021 Mondrel #1: Interface Create", "10021 Mondrel #1: Interface Destroy",
        "10021 Mondrel: Unregister"};
    EXPECT_EQ(log, expected);
    EXPECT_TRUE(Host->AddIns().AddIns().empty());
}

TEST_F(ModuleFrameTest, UnregisterAnswersSOkAlsoWhenCalledAgain) {
    const TNHXModuleInfo& info = Load();
    ASSERT_EQ(Host->RegisterModule(), S_OK);
    Host->Instances().ReleaseAll();
    EXPECT_EQ(info.Unregister(), S_OK);
    EXPECT_EQ(info.Unregister(), S_OK);
    EXPECT_EQ(info.Register(nullptr), S_OK);
    EXPECT_EQ(info.Unregister(), S_OK);
    const auto log = Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "10021 Mondrel: Unregister"), 1);
    Host->UnloadModule();
}

TEST_F(ModuleFrameTest, AnInstanceWithoutModuleFromTheHostIsNoFailureOfTheAddIn) {
    Load();
    auto control = TNHXInterfacePtr<TEmptyInstanceControl>::Adopt(new TEmptyInstanceControl);
    static_cast<THostKernel*>(Host->Kernel())->AddService(IID_INHXInstanceControl, control.Get());
    testing::internal::CaptureStderr();
    ASSERT_EQ(Host->RegisterModule(), S_OK);
    ASSERT_EQ(Host->AddIns().AddIns().size(), 1u);
    auto addIn =
        NHXQuery<INHXMondrelAddIn>(Host->AddIns().AddIns()[0].Plugin, IID_INHXMondrelAddIn);
    ASSERT_TRUE(addIn);
    EXPECT_EQ(addIn->Open(), S_OK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "nothing is shown";
    addIn.Reset();
    Host->Shutdown();
}

TEST_F(ModuleFrameTest, InstanceNumbersAreTakenOverUnchecked) {
    Load();
    Host->RegisterModule();
    for (uint16_t number : {uint16_t{0}, uint16_t{65535}}) {
        Host->Instances().SetNextNumber(number);
        THostInstance created;
        ASSERT_EQ(Host->Instances().Create(IID_INHXMondrel, created), S_OK);
        EXPECT_EQ(created.Number, number);
    }
    const auto log = Log();
    EXPECT_NE(std::find(log.begin(), log.end(), "10021 Mondrel #0: Interface Create"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "10021 Mondrel #65535: Interface Create"),
              log.end());
    Host->Shutdown();
}

TEST_F(ModuleFrameTest, InstancesAnswerOnlyTheirInterfacesAndDieWithTheLastReference) {
    Load();
    Host->RegisterModule();
    THostInstance created;
    ASSERT_EQ(Host->Instances().Create(IID_INHXMondrel, created), S_OK);
    INHXModule* module = created.Module.Get();
    const int32_t base = module->GetRefCount();

    TNHXInterfacePtr<INHXMondrel> mondrel;
    ASSERT_EQ(module->QueryInterface(&IID_INHXMondrel, mondrel.OutVoid()), S_OK);
    EXPECT_EQ(module->GetRefCount(), base + 1);
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(module->QueryInterface(&IID_IUnknown, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    mondrel.Reset();
    EXPECT_EQ(module->GetRefCount(), base);

    const uint16_t number = created.Number;
    created.Module.Reset();
    ASSERT_EQ(Host->Instances().DeleteInstance(number), S_OK);
    const auto log = Log();
    EXPECT_EQ(log.back(), "10021 Mondrel #" + std::to_string(number) + ": Interface Destroy");
    Host->Shutdown();
}

TEST_F(ModuleFrameTest, AKernelRefusingEveryServiceStillGetsAnInstance) {
    Load();
    Host->RegisterModule();
    const size_t before = Host->Log().ModuleEntries().size();
    Host->RefuseService(THostService::EventScripter);
    Host->RefuseService(THostService::Settings);
    Host->RefuseService(THostService::DebugServer);
    Host->RefuseService(THostService::InstanceControl);
    Host->RefuseService(THostService::VariableManager);
    THostInstance created;
    ASSERT_EQ(Host->Instances().Create(IID_INHXMondrel, created), S_OK);
    const auto entries = Host->Log().ModuleEntries();
    int errors = 0;
    for (size_t i = before; i < entries.size(); ++i) {
        errors += entries[i].Kind == NHX_LOG_ERROR ? 1 : 0;
    }
    EXPECT_EQ(errors, 5);
    EXPECT_EQ(entries.back().Text, "Interface Create");
    created.Module.Reset();  // before the library goes
    Host->RefuseAllServices(false);
    Host->Shutdown();
}

TEST_F(ModuleFrameTest, AnUnknownModuleIsToldButTheAddInComesAndGoes) {
    Load();
    Host->Loader().SetModuleKnown(IID_INHXMondrel, false);
    testing::internal::CaptureStderr();
    Host->RegisterModule();
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_NE(told.find("Mondrel not loaded!"), std::string::npos);
    EXPECT_TRUE(Host->Instances().Instances().empty());
    EXPECT_EQ(Host->AddIns().AddIns().size(), 1u);
    Host->Shutdown();
    EXPECT_TRUE(Host->AddIns().AddIns().empty());
}

TEST_F(ModuleFrameTest, UnloadingWithoutUnregisterReleasesTheAddInSilently) {
    Load();
    Host->RegisterModule();
    Host->Instances().ReleaseAll();
    const size_t before = Host->Log().ModuleEntries().size();
    Host->UnloadModule();
    EXPECT_TRUE(Host->AddIns().AddIns().empty());
    EXPECT_EQ(Host->Log().ModuleEntries().size(), before);
}
