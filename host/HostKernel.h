// The host's kernel: the log, the base directory and the services a module asks for through
// QueryInterface. Tests can make it refuse any service.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "HostLog.h"
#include "NHXHostObjects.h"
#include "NHXPtr.h"

class THostKernel final : public TNHXKernelObject {
  public:
    // `kernelDir` ends in '/'.
    THostKernel(std::shared_ptr<THostLog> log, std::string kernelDir);

    // ---- INHXKernel ----
    // Answers the kernel for its own GUIDs and each service not refused; null and E_NOINTERFACE
    // otherwise. While an instance is being created, a service the instance-service maker
    // answers for it is handed out in place of the shared one.
    NHXResult NHXCALL QueryInterface(const GUID* iid, void** out) override;
    NHXResult NHXCALL LogMessage(int32_t kind, NHXText sender, NHXText text) override;
    NHXResult NHXCALL GetKernelDir(NHXText* out) override;

    // ---- For the host and tests ----
    // The kernel answers `iid` with this service (one reference is kept).
    void AddService(const GUID& iid, INHXUnknown* service);
    void SetRefused(const GUID& iid, bool refused);
    void ReleaseServices();
    // Makes, for a service GUID and an instance number, the instance's own view of the service,
    // or answers null for the shared one.
    using TInstanceServiceMaker =
        std::function<TNHXInterfacePtr<INHXUnknown>(const GUID& iid, uint16_t instance)>;
    void SetInstanceServiceMaker(TInstanceServiceMaker maker) {
        MakeForInstance = std::move(maker);
    }
    // The instance being created now (0: none); answers the one before, for the caller to set
    // back when the creation returns.
    uint16_t EnterInstance(uint16_t instance);
    const std::string& KernelDir() const { return Dir; }

  protected:
    bool AnswersInterface(const GUID& iid) const override;

  private:
    struct TService {
        GUID Iid{};
        TNHXInterfacePtr<INHXUnknown> Object;
    };

    bool IsRefused(const GUID& iid) const;

    std::shared_ptr<THostLog> Log;
    std::string Dir;
    std::vector<TService> Services;
    std::vector<GUID> Refused;
    TInstanceServiceMaker MakeForInstance;
    uint16_t Creating = 0;
};
