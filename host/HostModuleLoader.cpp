#include "HostModuleLoader.h"

#include <algorithm>

THostModuleLoader::THostModuleLoader(std::shared_ptr<THostModuleRegistry> registry)
    : Registry(std::move(registry)) {}

bool THostModuleLoader::AnswersInterface(const GUID& iid) const {
    return iid == IID_INHXModuleLoader || iid == IID_INHXMessageSink || iid == IID_IUnknown;
}

NHXResult NHXCALL THostModuleLoader::FindModule(const GUID* module, int32_t* out) {
    if (!module) {
        return E_FAIL;
    }
    Finds.push_back(*module);
    const bool hidden = std::find(Hidden.begin(), Hidden.end(), *module) != Hidden.end();
    if (hidden || !Registry->Find(*module)) {
        return E_FAIL;
    }
    if (out) {
        *out = 1;
    }
    return S_OK;
}

void THostModuleLoader::SetModuleKnown(const GUID& moduleId, bool known) {
    std::erase(Hidden, moduleId);
    if (!known) {
        Hidden.push_back(moduleId);
    }
}
