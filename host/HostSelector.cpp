#include "HostSelector.h"

#include "MessageBox.h"
#include "NHXPtr.h"

THostSelector::THostSelector(std::shared_ptr<THostSelectorChoices> choices)
    : Choices(std::move(choices)) {}

bool THostSelector::AnswersInterface(const GUID& iid) const {
    return iid == IID_INHXSelector || iid == IID_INHXModule || iid == IID_INHXMessageSink ||
           iid == IID_IUnknown;
}

NHXResult NHXCALL THostSelector::SelectVariable(uint8_t types, NHXText* out) {
    return Select(THostSelectKind::Variable, types, out);
}

NHXResult NHXCALL THostSelector::SelectScript(NHXText* out) {
    return Select(THostSelectKind::Script, 0, out);
}

NHXResult THostSelector::Select(THostSelectKind kind, uint8_t types, NHXText* out) {
    if (!out) {
        return E_FAIL;
    }
    std::optional<std::string> choice;
    // The chooser may show a dialog: nothing it throws may reach the module.
    if (!RunGuarded([&] { choice = Choices->Choose(kind, types); }) || !choice) {
        return E_FAIL;
    }
    *out = TNHXTextRef(*choice).Detach();
    return S_OK;
}
