// What a module instance gets when it asks the kernel for the event scripter or the variable
// manager while the host creates it: a view of the host's one service that knows the instance's
// number. Every module instance has its sender ("Mondrel") in common, so only the object it
// calls through tells the host which instance asked for a run. Each view forwards every call to
// the shared service; asked for outside an instance's creation (the add-in, a page), the kernel
// answers the shared service itself, and runs are recorded without an instance.
//
// The variable view also remembers the last text the instance wrote since it last looked a
// script up: the module writes the appointment's description to its trigger variable right
// before it looks the appointment's script up, and a script it cannot find gets no other
// parameters, so a failed lookup is recorded with that text.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "HostEventScripter.h"
#include "HostVariableManager.h"
#include "NHXHostObjects.h"
#include "NHXPtr.h"

// The last text each instance wrote to a variable (name, text), until its next lookup takes it.
class THostInstanceWrites {
  public:
    void Note(uint16_t instance, std::string name, std::string text);
    std::vector<std::pair<std::string, std::string>> Take(uint16_t instance);

  private:
    std::map<uint16_t, std::pair<std::string, std::string>> Last;
};

class THostInstanceScripter final : public TNHXEventScripterObject {
  public:
    THostInstanceScripter(THostEventScripter& scripter, uint16_t instance,
                          std::shared_ptr<THostInstanceWrites> writes);

    NHXResult NHXCALL RunScript(NHXText script, NHXText sender, int32_t reserved,
                                const TNHXScriptParams* params, int32_t reserved2) override;
    NHXResult NHXCALL LookupScript(NHXText script, NHXText* out) override;

  protected:
    bool AnswersInterface(const GUID& iid) const override;

  private:
    TNHXInterfacePtr<THostEventScripter> Scripter;
    uint16_t Instance;
    std::shared_ptr<THostInstanceWrites> Writes;
};

class THostInstanceVariables final : public TNHXVariableManagerObject {
  public:
    THostInstanceVariables(THostVariableManager& variables, uint16_t instance,
                           std::shared_ptr<THostInstanceWrites> writes);

    NHXResult NHXCALL CreateVariable(NHXText name, uint8_t type) override;
    NHXResult NHXCALL WriteBoolean(NHXText name, bool value) override;
    NHXResult NHXCALL WriteString(NHXText name, NHXText value) override;
    NHXResult NHXCALL GetVariables(TNHXVariables* out, int32_t* count) override;

  protected:
    bool AnswersInterface(const GUID& iid) const override;

  private:
    TNHXInterfacePtr<THostVariableManager> Variables;
    uint16_t Instance;
    std::shared_ptr<THostInstanceWrites> Writes;
};
