// The host's module loader as modules see it: FindModule answers whether a module is loaded.
// Tests can make it not know a module that is in fact loaded.
#pragma once

#include <memory>
#include <vector>

#include "HostModuleRegistry.h"
#include "NHXHostObjects.h"

class THostModuleLoader final : public TNHXModuleLoaderObject {
  public:
    explicit THostModuleLoader(std::shared_ptr<THostModuleRegistry> registry);

    // ---- INHXModuleLoader ----
    // Answers S_OK and 1 when the module is loaded, E_FAIL otherwise.
    NHXResult NHXCALL FindModule(const GUID* module, int32_t* out) override;

    // ---- For tests ----
    void SetModuleKnown(const GUID& moduleId, bool known);
    const std::vector<GUID>& FindCalls() const { return Finds; }

  protected:
    bool AnswersInterface(const GUID& iid) const override;

  private:
    std::shared_ptr<THostModuleRegistry> Registry;
    std::vector<GUID> Hidden;
    std::vector<GUID> Finds;
};
