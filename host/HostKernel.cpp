#include "HostKernel.h"

#include <algorithm>

THostKernel::THostKernel(std::shared_ptr<THostLog> log, std::string kernelDir)
    : Log(std::move(log)), Dir(std::move(kernelDir)) {}

bool THostKernel::AnswersInterface(const GUID& iid) const {
    return iid == IID_INHXKernel || iid == IID_INHXMessageSink || iid == IID_IUnknown;
}

bool THostKernel::IsRefused(const GUID& iid) const {
    return std::find(Refused.begin(), Refused.end(), iid) != Refused.end();
}

NHXResult NHXCALL THostKernel::QueryInterface(const GUID* iid, void** out) {
    if (iid && out) {
        auto it = std::find_if(Services.begin(), Services.end(),
                               [iid](const TService& s) { return s.Iid == *iid; });
        if (it != Services.end()) {
            *out = nullptr;
            if (IsRefused(*iid)) {
                return E_NOINTERFACE;
            }
            if (Creating != 0 && MakeForInstance) {
                if (TNHXInterfacePtr<INHXUnknown> own = MakeForInstance(*iid, Creating)) {
                    return own->QueryInterface(iid, out);
                }
            }
            return it->Object->QueryInterface(iid, out);
        }
    }
    return TNHXKernelObject::QueryInterface(iid, out);
}

NHXResult NHXCALL THostKernel::LogMessage(int32_t kind, NHXText sender, NHXText text) {
    Log->Add(kind, NHXTextToString(sender), NHXTextToString(text), THostLogOrigin::Module);
    return S_OK;
}

NHXResult NHXCALL THostKernel::GetKernelDir(NHXText* out) {
    if (!out) {
        return E_FAIL;
    }
    *out = TNHXTextRef(Dir).Detach();
    return S_OK;
}

void THostKernel::AddService(const GUID& iid, INHXUnknown* service) {
    std::erase_if(Services, [&iid](const TService& s) { return s.Iid == iid; });
    Services.push_back(TService{iid, TNHXInterfacePtr<INHXUnknown>::Share(service)});
}

void THostKernel::SetRefused(const GUID& iid, bool refused) {
    std::erase(Refused, iid);
    if (refused) {
        Refused.push_back(iid);
    }
}

void THostKernel::ReleaseServices() {
    MakeForInstance = {};
    Services.clear();
}

uint16_t THostKernel::EnterInstance(uint16_t instance) {
    const uint16_t before = Creating;
    Creating = instance;
    return before;
}
