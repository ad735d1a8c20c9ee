#include "HostAddInLibrary.h"

#include <algorithm>

#include "MessageBox.h"

namespace {

bool SameAddIn(const TNHXAddIn& a, const TNHXAddIn& b) {
    return a.AddInID == b.AddInID && a.Plugin == b.Plugin;
}

}  // namespace

THostAddInLibrary::THostAddInLibrary(std::shared_ptr<THostLog> log) : Log(std::move(log)) {}

bool THostAddInLibrary::AnswersInterface(const GUID& iid) const {
    return iid == IID_INHXAddInLibrary || iid == IID_INHXMessageSink || iid == IID_IUnknown;
}

NHXResult NHXCALL THostAddInLibrary::RegisterAddIn(const TNHXAddIn* addIn) {
    if (!addIn || !addIn->Plugin) {
        Log->AddHostNote(NHX_LOG_ERROR, "RegisterAddIn: an add-in needs a plug-in");
        return E_FAIL;
    }
    auto it = std::find_if(Items.begin(), Items.end(),
                           [addIn](const TNHXAddIn& a) { return SameAddIn(a, *addIn); });
    if (it != Items.end()) {
        *it = *addIn;
    } else {
        Items.push_back(*addIn);
    }
    Log->AddHostNote(NHX_LOG_NOTICE, "Add-in registered");
    if (Changed) {
        RunGuarded(Changed);
    }
    return S_OK;
}

NHXResult NHXCALL THostAddInLibrary::UnregisterAddIn(const TNHXAddIn* addIn) {
    ++Unregisters;
    if (!addIn) {
        return E_FAIL;
    }
    auto it = std::find_if(Items.begin(), Items.end(),
                           [addIn](const TNHXAddIn& a) { return SameAddIn(a, *addIn); });
    if (it == Items.end()) {
        Log->AddHostNote(NHX_LOG_ERROR, "UnregisterAddIn: the add-in is not registered");
        return E_FAIL;
    }
    Items.erase(it);
    Log->AddHostNote(NHX_LOG_NOTICE, "Add-in unregistered");
    if (Changed) {
        RunGuarded(Changed);
    }
    return S_OK;
}

int THostAddInLibrary::ForgetModule(const GUID& moduleId) {
    const auto dropped =
        std::erase_if(Items, [&moduleId](const TNHXAddIn& a) { return a.ModuleID == moduleId; });
    if (dropped > 0 && Changed) {
        RunGuarded(Changed);
    }
    return static_cast<int>(dropped);
}
