#include "Core.Mondrel.h"

#include <bit>

#include "Core.Mondrel_AddIn.h"
#include "Core.Mondrel_Interface.h"
#include "MessageBox.h"
#include "NHXPtr.h"

namespace {

constexpr const char* ModuleSender = "Mondrel";

// Everything the module holds between load and unload. The texts of the description live as
// long as the library; on unload the plug-in goes first, then the kernel, as Unregister does.
struct TModuleGlobals {
    TNHXTextRef Author{"Mondrel developers"};
    TNHXTextRef ModuleName{"Mondrel"};
    TNHXTextRef Project{"NHX Mondrel Project"};
    TNHXModuleInfo Record{};
    TNHXInterfacePtr<INHXKernel> Kernel;
    TNHXInterfacePtr<INHXAddInPlugin> Plugin;

    TModuleGlobals() {
        Record.ModuleID = CLSID_Mondrel;
        Record.SecondID = CLSID_Mondrel;
        Record.Author = Author.Get();
        Record.Unnamed = nullptr;
        Record.ModuleName = ModuleName.Get();
        Record.Project = Project.Get();
        Record.VersionInfo = 0x0002010C;
        Record.Stamp = std::bit_cast<double>(0x40E3202F92ADB365ull);  // 2007-03-28 11:40:47
        Record.Build = 346;
        Record.Register = &MondrelRegister;
        Record.Unregister = &MondrelUnregister;
        Record.CreateInstance = &MondrelCreateInstance;
    }
    ~TModuleGlobals() { ReleaseHostReferences(); }
    TModuleGlobals(const TModuleGlobals&) = delete;
    TModuleGlobals& operator=(const TModuleGlobals&) = delete;

    void ReleaseHostReferences() {
        Plugin.Reset();
        Kernel.Reset();
    }
};

TModuleGlobals Globals;

void LogNotice(const char* text) {
    TNHXTextRef sender(ModuleSender);
    TNHXTextRef message(text);
    Globals.Kernel->LogMessage(NHX_LOG_NOTICE, sender.Get(), message.Get());
}

}  // namespace

const TNHXModuleInfo* MondrelModuleInfo() {
    return &Globals.Record;
}

// Register and Unregister always answer S_OK; without a kernel they do nothing.
NHXResult NHXCALL MondrelRegister(INHXKernel* kernel) {
    if (!kernel) {
        return S_OK;
    }
    RunGuarded([kernel] {
        Globals.Kernel = TNHXInterfacePtr<INHXKernel>::Share(kernel);
        LogNotice("Register");
        Globals.Plugin =
            TNHXInterfacePtr<INHXAddInPlugin>::Adopt(new TNHXAddInPlugin(Globals.Kernel.Get()));
    });
    return S_OK;
}

NHXResult NHXCALL MondrelUnregister() {
    if (!Globals.Kernel) {
        return S_OK;
    }
    RunGuarded([] {
        LogNotice("Unregister");
        Globals.ReleaseHostReferences();
    });
    return S_OK;
}

NHXResult NHXCALL MondrelCreateInstance(uint16_t instanceID, INHXModule** out) {
    if (!out) {
        return E_FAIL;
    }
    *out = nullptr;
    if (!Globals.Kernel) {
        return E_FAIL;
    }
    NHXResult result = E_FAIL;
    RunGuarded([&] {
        LogNotice("Creating new Instance...");
        auto instance = TNHXInterfacePtr<INHXModule>::Adopt(
            new TNHXMondrel(Globals.Kernel.Get(), &Globals.Record, instanceID));
        if (instance && NHXSucceeded(instance->QueryInterface(&IID_INHXModule,
                                                              reinterpret_cast<void**>(out)))) {
            result = S_OK;
        }
    });
    return result;
}
