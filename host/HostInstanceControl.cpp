#include "HostInstanceControl.h"

#include <QString>
#include <QUuid>
#include <algorithm>

#include "MessageBox.h"

namespace {

std::string GuidText(const GUID& g) {
    return QUuid(g.Data1, g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
                 g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7])
        .toString(QUuid::WithBraces)
        .toUpper()
        .toStdString();
}

}  // namespace

THostInstanceControl::THostInstanceControl(std::shared_ptr<THostLog> log,
                                           std::shared_ptr<THostModuleRegistry> registry)
    : Log(std::move(log)), Registry(std::move(registry)) {}

THostInstanceControl::~THostInstanceControl() {
    ReleaseAll();
}

bool THostInstanceControl::AnswersInterface(const GUID& iid) const {
    return iid == IID_INHXInstanceControl || iid == IID_INHXMessageSink || iid == IID_IUnknown;
}

uint16_t THostInstanceControl::TakeNumber() {
    // Skips numbers in use, so two live instances never share one.
    for (int tries = 0; tries <= 0xFFFF; ++tries) {
        const uint16_t number = NextNumber++;
        if (!Find(number)) {
            return number;
        }
    }
    return NextNumber++;
}

NHXResult THostInstanceControl::Create(const GUID& moduleId, THostInstance& created) {
    created = THostInstance{};
    if (Refusing) {
        Log->AddHostNote(NHX_LOG_ERROR,
                         "Instance control refused to create an instance of " + GuidText(moduleId));
        return E_FAIL;
    }
    const THostModuleEntry* module = Registry->Find(moduleId);
    if (!module) {
        Log->AddHostNote(NHX_LOG_ERROR, "No module " + GuidText(moduleId) + " is loaded");
        return E_FAIL;
    }
    const uint16_t number = TakeNumber();
    const std::string name = module->Name;
    TNHXInterfacePtr<INHXModule> instance;
    const NHXResult result = module->CreateInstance(number, instance.Out());
    if (NHXFailed(result) || !instance) {
        Log->AddHostNote(NHX_LOG_ERROR, "Module " + name + " could not create instance #" +
                                            std::to_string(number));
        return NHXFailed(result) ? result : E_FAIL;
    }
    Log->AddHostNote(NHX_LOG_NOTICE,
                     "Instance #" + std::to_string(number) + " of " + name + " created");
    created = THostInstance{number, moduleId, instance};
    Items.push_back(THostInstance{number, moduleId, std::move(instance)});
    for (const auto& listener : CreatedListeners) {
        RunGuarded([&] { listener(created); });
    }
    Notify();
    return S_OK;
}

NHXResult NHXCALL THostInstanceControl::CreateInstance(const GUID* module, TNHXModuleInstance* out,
                                                       int32_t) {
    if (!module || !out) {
        return E_FAIL;
    }
    THostInstance created;
    const NHXResult result = Create(*module, created);
    if (NHXSucceeded(result)) {
        out->InstanceID = created.Number;
        out->Module = created.Module.Detach();
    }
    return result;
}

INHXModule* THostInstanceControl::Find(uint16_t number) const {
    auto it = std::find_if(Items.begin(), Items.end(),
                           [number](const THostInstance& i) { return i.Number == number; });
    return it == Items.end() ? nullptr : it->Module.Get();
}

NHXResult NHXCALL THostInstanceControl::DeleteInstance(uint16_t instance) {
    auto it = std::find_if(Items.begin(), Items.end(),
                           [instance](const THostInstance& i) { return i.Number == instance; });
    if (it == Items.end()) {
        return E_FAIL;
    }
    // Out of the list first: the instance's own calls during its end see a consistent host.
    TNHXInterfacePtr<INHXModule> module = std::move(it->Module);
    Items.erase(it);
    module->ClosePage();
    if (PageClosed) {
        RunGuarded([&] { PageClosed(instance, *module.Get()); });
    }
    module.Reset();
    Log->AddHostNote(NHX_LOG_NOTICE, "Instance #" + std::to_string(instance) + " deleted");
    Notify();
    return S_OK;
}

NHXResult THostInstanceControl::ClosePage(uint16_t number) {
    // A reference for the call: the page's own calls may change the list meanwhile.
    auto module = TNHXInterfacePtr<INHXModule>::Share(Find(number));
    if (!module) {
        return E_FAIL;
    }
    const NHXResult result = module->ClosePage();
    if (PageClosed) {
        RunGuarded([&] { PageClosed(number, *module.Get()); });
    }
    return result;
}

void THostInstanceControl::ReleaseAll() {
    while (!Items.empty()) {
        DeleteInstance(Items.back().Number);
    }
}

void THostInstanceControl::Notify() const {
    if (Changed) {
        RunGuarded(Changed);
    }
}
