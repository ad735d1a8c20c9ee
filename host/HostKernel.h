// The host's kernel: the log, the base directory and the services a module asks for through
// QueryInterface. Tests can make it refuse any service.
#pragma once

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
    // otherwise.
    NHXResult NHXCALL QueryInterface(const GUID* iid, void** out) override;
    NHXResult NHXCALL LogMessage(int32_t kind, NHXText sender, NHXText text) override;
    NHXResult NHXCALL GetKernelDir(NHXText* out) override;

    // ---- For the host and tests ----
    // The kernel answers `iid` with this service (one reference is kept).
    void AddService(const GUID& iid, INHXUnknown* service);
    void SetRefused(const GUID& iid, bool refused);
    void ReleaseServices();
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
};
