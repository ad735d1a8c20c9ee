// An instance of the host's selector module: a module instance that also answers INHXSelector,
// with which modules let the user pick a host variable or a script.
#pragma once

#include <memory>

#include "HostSelectorChoices.h"
#include "NHXObjects.h"

class THostSelector final : public TNHXModuleObject<INHXSelector> {
  public:
    explicit THostSelector(std::shared_ptr<THostSelectorChoices> choices);

    // ---- INHXSelector ----
    // Succeed when a choice was made, storing the chosen name; E_FAIL otherwise.
    NHXResult NHXCALL SelectVariable(uint8_t types, NHXText* out) override;
    NHXResult NHXCALL SelectScript(NHXText* out) override;

  protected:
    bool AnswersInterface(const GUID& iid) const override;

  private:
    NHXResult Select(THostSelectKind kind, uint8_t types, NHXText* out);

    std::shared_ptr<THostSelectorChoices> Choices;
};
