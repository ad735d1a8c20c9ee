#include "HostPicker.h"

#include "NHXPtr.h"

std::optional<std::string> PickFromHost(INHXInstanceControl* control, const TSelectorCall& select) {
    if (!control) {
        return std::nullopt;
    }
    TNHXModuleInstance created{};
    if (NHXFailed(control->CreateInstance(&CLSID_NHXSelectorModule, &created, 0))) {
        return std::nullopt;
    }
    NHXResult result = E_FAIL;
    TNHXTextRef chosen;
    {
        // The record's interface is a reference of ours, like every out-interface.
        auto module = TNHXInterfacePtr<INHXModule>::Adopt(created.Module);
        auto selector = NHXQuery<INHXSelector>(module.Get(), IID_INHXSelector);
        if (selector) {
            result = select(*selector.Get(), chosen.Out());
        }
    }
    NHXResult deleted = control->DeleteInstance(created.InstanceID);
    if (NHXFailed(result) || NHXFailed(deleted)) {
        return std::nullopt;
    }
    return chosen.Str();
}

std::optional<std::string> PickScript(INHXInstanceControl* control) {
    return PickFromHost(control, [](INHXSelector& selector, NHXText* chosen) {
        return selector.SelectScript(chosen);
    });
}

std::optional<std::string> PickVariable(INHXInstanceControl* control) {
    return PickFromHost(control, [](INHXSelector& selector, NHXText* chosen) {
        return selector.SelectVariable(1, chosen);
    });
}
