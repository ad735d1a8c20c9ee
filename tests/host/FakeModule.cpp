// A small module for the host's own tests: it registers one add-in and makes instances, and logs
// every call the host makes to it, so the tests see the host's side of the contract.
#include <cstdlib>
#include <string>

#include "NHXObjects.h"
#include "NHXPtr.h"

namespace {

constexpr GUID FakeModuleId = {
    0x1F2E3D4C, 0x5B6A, 0x4789, {0x9A, 0xAB, 0xBC, 0xCD, 0xDE, 0xEF, 0xF0, 0x01}};
constexpr GUID FakeAddInId = {
    0x2F2E3D4C, 0x5B6A, 0x4789, {0x9A, 0xAB, 0xBC, 0xCD, 0xDE, 0xEF, 0xF0, 0x02}};

TNHXInterfacePtr<INHXKernel>& Kernel() {
    static TNHXInterfacePtr<INHXKernel> kernel;
    return kernel;
}

void Log(const std::string& text) {
    if (Kernel()) {
        TNHXTextRef sender("Fake");
        TNHXTextRef message(text);
        Kernel()->LogMessage(NHX_LOG_NOTICE, sender.Get(), message.Get());
    }
}

class TFakeInstance final : public TNHXModuleObject<INHXModule> {
  public:
    explicit TFakeInstance(uint16_t number) : Number(number) {
        Log("Create #" + std::to_string(Number));
    }
    ~TFakeInstance() override { Log("Destroy #" + std::to_string(Number)); }
    NHXResult NHXCALL OpenPage() override {
        Log("OpenPage #" + std::to_string(Number));
        return S_OK;
    }
    NHXResult NHXCALL ClosePage() override {
        Log("ClosePage #" + std::to_string(Number));
        return S_OK;
    }

  protected:
    bool AnswersInterface(const GUID& iid) const override { return iid == IID_INHXModule; }

  private:
    uint16_t Number;
};

// A 2 x 1 24-bit BMP: enough for the host to show a picture.
const uint8_t TinyBitmap[] = {'B', 'M', 62,  0, 0,   0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header
                              40,  0,   0,   0, 2,   0, 0, 0, 1, 0, 0,  0, 1, 0,
                              24,  0,   0,   0, 0,   0, 8, 0, 0, 0, 0,  0, 0, 0,
                              0,   0,   0,   0, 0,   0, 0, 0, 0, 0, 0,  0,  // info header
                              0,   0,   255, 0, 255, 0, 0, 0};              // red, green, padding

class TFakeAddIn final : public TNHXObject<INHXMondrelAddIn> {
  public:
    TFakeAddIn() {
        AddIn.AddInID = FakeAddInId;
        AddIn.ModuleID = FakeModuleId;
        AddIn.Flags = 1;
        AddIn.Plugin = this;
        Library = NHXQuery<INHXAddInLibrary>(Kernel().Get(), IID_INHXAddInLibrary);
        if (Library) {
            Library->RegisterAddIn(&AddIn);
        }
    }
    ~TFakeAddIn() override {
        if (Library) {
            Library->UnregisterAddIn(&AddIn);
        }
    }
    NHXResult NHXCALL GetName(NHXText* out) override {
        *out = TNHXTextRef("Fake").Detach();
        return S_OK;
    }
    NHXResult NHXCALL GetDescription(NHXText* out) override {
        *out = TNHXTextRef("A module for the host's tests").Detach();
        return S_OK;
    }
    NHXResult NHXCALL GetBitmap(NHXBytes* out) override {
        *out = NHXBytesNew(TinyBitmap, sizeof TinyBitmap);
        return S_OK;
    }
    NHXResult NHXCALL Open() override {
        Log("Open");
        return S_OK;
    }

  protected:
    bool AnswersInterface(const GUID& iid) const override {
        return iid == IID_INHXAddInPlugin || iid == FakeAddInId;
    }

  private:
    TNHXAddIn AddIn{};
    TNHXInterfacePtr<INHXAddInLibrary> Library;
};

TNHXInterfacePtr<INHXAddInPlugin>& Plugin() {
    static TNHXInterfacePtr<INHXAddInPlugin> plugin;
    return plugin;
}

// With FAKE_MODULE_RUNS=N and FAKE_MODULE_SCRIPT=NAME in the environment, the module asks the
// host to run the script N times at registration, Mondrel_Value counting from 0, as a burst of
// due appointments would.
void RunScriptsAsked() {
    const char* runs = std::getenv("FAKE_MODULE_RUNS");
    const char* script = std::getenv("FAKE_MODULE_SCRIPT");
    auto scripter = NHXQuery<INHXEventScripter>(Kernel().Get(), IID_INHXEventScripter);
    if (!runs || !script || !scripter) {
        return;
    }
    const int count = std::atoi(runs);
    for (int i = 0; i < count; ++i) {
        TNHXVariablesRef variables = TNHXVariablesRef::Adopt(NHXVariablesNew(1));
        variables[0].Name = NHXTextNew("Mondrel_Value");
        variables[0].TypeCode = NHX_VAR_STRING;
        variables[0].ValueText = NHXTextNew(std::to_string(i).c_str());
        TNHXScriptParams params{};
        params.Variables = variables.Get();
        TNHXTextRef name(script);
        TNHXTextRef sender("Fake");
        scripter->RunScript(name.Get(), sender.Get(), 0, &params, 0);
    }
}

NHXResult NHXCALL FakeRegister(INHXKernel* kernel) {
    Kernel() = TNHXInterfacePtr<INHXKernel>::Share(kernel);
    Log("Register");
    RunScriptsAsked();
    Plugin() = TNHXInterfacePtr<INHXAddInPlugin>::Adopt(new TFakeAddIn());
    return S_OK;
}

NHXResult NHXCALL FakeUnregister() {
    Log("Unregister");
    Plugin().Reset();
    Kernel().Reset();
    return S_OK;
}

NHXResult NHXCALL FakeCreateInstance(uint16_t number, INHXModule** out) {
    *out = new TFakeInstance(number);
    return S_OK;
}

struct TFakeRecord {
    TNHXTextRef Name{"Fake"};
    TNHXModuleInfo Record{};
    TFakeRecord() {
        Record.ModuleID = FakeModuleId;
        Record.SecondID = FakeModuleId;
        Record.ModuleName = Name.Get();
        Record.Register = &FakeRegister;
        Record.Unregister = &FakeUnregister;
        Record.CreateInstance = &FakeCreateInstance;
    }
    // Unloaded without Unregister: let go of the host.
    ~TFakeRecord() {
        Plugin().Reset();
        Kernel().Reset();
    }
};

TFakeRecord Globals;

}  // namespace

NHX_EXPORT NHXResult NHXCALL NHXModuleInfo(const TNHXModuleInfo** out) {
    *out = &Globals.Record;
    return S_OK;
}
