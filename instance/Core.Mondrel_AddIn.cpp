#include "Core.Mondrel_AddIn.h"

#include <QFile>
#include <optional>

#include "MessageBox.h"

namespace {

constexpr const char* IconResource = ":/mondrel/NHX_ICON.bmp";

void Tell(const char* text) {
    ShowMessageBox(text, TMsgIcon::None, {TMsgButton::OK});
}

// A new module instance of `module`, or nothing when the host refuses. A host that answers
// success without a module gives an empty handle: there is then no interface to ask for, as
// when the instance does not answer it.
std::optional<TNHXInterfacePtr<INHXModule>> CreateHostInstance(INHXInstanceControl* control,
                                                               const GUID& module) {
    TNHXModuleInstance record{};
    if (!control || NHXFailed(control->CreateInstance(&module, &record, 0))) {
        return std::nullopt;
    }
    return TNHXInterfacePtr<INHXModule>::Adopt(record.Module);
}

}  // namespace

TNHXAddInPlugin::TNHXAddInPlugin(INHXKernel* kernel)
    : Kernel(TNHXInterfacePtr<INHXKernel>::Share(kernel)) {
    AddIn.AddInID = IID_INHXMondrelAddIn;
    AddIn.ModuleID = CLSID_Mondrel;
    AddIn.Flags = 1;
    AddIn.Plugin = this;

    AddInLibrary = NHXQuery<INHXAddInLibrary>(Kernel.Get(), IID_INHXAddInLibrary);
    ModuleLoader = NHXQuery<INHXModuleLoader>(Kernel.Get(), IID_INHXModuleLoader);
    InstanceControl = NHXQuery<INHXInstanceControl>(Kernel.Get(), IID_INHXInstanceControl);

    if (AddInLibrary) {
        AddInLibrary->RegisterAddIn(&AddIn);
    }

    int32_t found = 0;
    if (!ModuleLoader || NHXFailed(ModuleLoader->FindModule(&AddIn.ModuleID, &found))) {
        Tell("Mondrel not loaded!");
        return;
    }
    if (!CreateHostInstance(InstanceControl.Get(), AddIn.ModuleID)) {
        Tell("Could not create new Instance!");
    }
}

TNHXAddInPlugin::~TNHXAddInPlugin() {
    if (AddInLibrary) {
        AddInLibrary->UnregisterAddIn(&AddIn);
    }
    AddInLibrary.Reset();
    ModuleLoader.Reset();
    InstanceControl.Reset();
    Kernel.Reset();
}

bool TNHXAddInPlugin::AnswersInterface(const GUID& iid) const {
    return iid == IID_INHXAddInPlugin || iid == AddIn.AddInID;
}

NHXResult TNHXAddInPlugin::GetName(NHXText* out) {
    if (!out) {
        return E_FAIL;
    }
    *out = NHXTextNew(Name);
    return S_OK;
}

NHXResult TNHXAddInPlugin::GetDescription(NHXText* out) {
    if (!out) {
        return E_FAIL;
    }
    *out = NHXTextNew(Description);
    return S_OK;
}

NHXResult TNHXAddInPlugin::GetBitmap(NHXBytes* out) {
    if (!out) {
        return E_FAIL;
    }
    *out = nullptr;
    QFile icon(IconResource);
    if (!icon.open(QIODevice::ReadOnly)) {
        return E_FAIL;
    }
    const QByteArray bytes = icon.readAll();
    *out = NHXBytesNew(bytes.constData(), static_cast<size_t>(bytes.size()));
    return *out ? S_OK : E_FAIL;
}

NHXResult TNHXAddInPlugin::Open() {
    NHXResult result = E_FAIL;
    RunGuarded([&] {
        std::optional<TNHXInterfacePtr<INHXModule>> module =
            CreateHostInstance(InstanceControl.Get(), AddIn.ModuleID);
        if (!module) {
            Tell("Could not create new Instance!");
            return;
        }
        auto mondrel = NHXQuery<INHXMondrel>(module->Get(), AddIn.ModuleID);
        if (!mondrel) {
            result = S_OK;
            return;
        }
        if (NHXFailed(mondrel->OpenPage())) {
            Tell("Form could not be opened");
            return;
        }
        result = S_OK;
    });
    return result;
}
