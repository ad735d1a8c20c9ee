#include "HostInstanceServices.h"

void THostInstanceWrites::Note(uint16_t instance, std::string name, std::string text) {
    Last[instance] = {std::move(name), std::move(text)};
}

std::vector<std::pair<std::string, std::string>> THostInstanceWrites::Take(uint16_t instance) {
    const auto it = Last.find(instance);
    if (it == Last.end()) {
        return {};
    }
    std::vector<std::pair<std::string, std::string>> written{std::move(it->second)};
    Last.erase(it);
    return written;
}

THostInstanceScripter::THostInstanceScripter(THostEventScripter& scripter, uint16_t instance,
                                             std::shared_ptr<THostInstanceWrites> writes)
    : Scripter(TNHXInterfacePtr<THostEventScripter>::Share(&scripter)),
      Instance(instance),
      Writes(std::move(writes)) {}

bool THostInstanceScripter::AnswersInterface(const GUID& iid) const {
    return iid == IID_INHXEventScripter || iid == IID_INHXMessageSink || iid == IID_IUnknown;
}

NHXResult NHXCALL THostInstanceScripter::RunScript(NHXText script, NHXText sender, int32_t,
                                                   const TNHXScriptParams* params, int32_t) {
    Writes->Take(Instance);
    return Scripter->RunScriptFor(Instance, script, sender, params);
}

NHXResult NHXCALL THostInstanceScripter::LookupScript(NHXText script, NHXText* out) {
    return Scripter->LookupScriptFor(Instance, script, out, Writes->Take(Instance));
}

THostInstanceVariables::THostInstanceVariables(THostVariableManager& variables, uint16_t instance,
                                               std::shared_ptr<THostInstanceWrites> writes)
    : Variables(TNHXInterfacePtr<THostVariableManager>::Share(&variables)),
      Instance(instance),
      Writes(std::move(writes)) {}

bool THostInstanceVariables::AnswersInterface(const GUID& iid) const {
    return iid == IID_INHXVariableManager || iid == IID_INHXMessageSink || iid == IID_IUnknown;
}

NHXResult NHXCALL THostInstanceVariables::CreateVariable(NHXText name, uint8_t type) {
    return Variables->CreateVariable(name, type);
}

NHXResult NHXCALL THostInstanceVariables::WriteBoolean(NHXText name, bool value) {
    return Variables->WriteBoolean(name, value);
}

NHXResult NHXCALL THostInstanceVariables::WriteString(NHXText name, NHXText value) {
    Writes->Note(Instance, NHXTextToString(name), NHXTextToString(value));
    return Variables->WriteString(name, value);
}

NHXResult NHXCALL THostInstanceVariables::GetVariables(TNHXVariables* out, int32_t* count) {
    return Variables->GetVariables(out, count);
}
