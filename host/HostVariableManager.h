// The host's variables: a name, a type code and a value, kept in creation order. Every create and
// write is logged and recorded in a history that tests read; the whole set can be dumped to a file
// that is rewritten on every change.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "HostLog.h"
#include "NHXObjects.h"

struct THostVariable {
    std::string Name;
    uint8_t TypeCode = NHX_VAR_STRING;
    std::string Value;
    double Updated = 0;  // days since 1899-12-30, local time
};

enum class THostVariableCall { CreateVariable, WriteString, WriteBoolean };

// One call the module made, with what it asked for and what the host answered.
struct THostVariableCallRecord {
    THostVariableCall Call = THostVariableCall::CreateVariable;
    std::string Name;
    uint8_t TypeCode = 0;  // CreateVariable only
    std::string Value;     // WriteString: the text; WriteBoolean: "true" or "false"
    bool BoolValue = false;
    NHXResult Result = S_OK;
};

class THostVariableManager final : public TNHXMessageObject<INHXVariableManager> {
  public:
    explicit THostVariableManager(std::shared_ptr<THostLog> log);

    // ---- INHXVariableManager ----
    NHXResult NHXCALL CreateVariable(NHXText name, uint8_t type) override;
    NHXResult NHXCALL WriteBoolean(NHXText name, bool value) override;
    NHXResult NHXCALL WriteString(NHXText name, NHXText value) override;
    NHXResult NHXCALL GetVariables(TNHXVariables* out, int32_t* count) override;
    NHXResult NHXCALL Reserved5() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved6() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved8() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved9() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved10() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved11() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved12() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved14() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved15() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved16() override { return E_NOTIMPL; }

    // ---- For the host, its window and tests ----
    // Creates (or overwrites) a variable without recording it in the history.
    void PreCreate(const std::string& name, uint8_t typeCode, const std::string& value = {});
    const std::vector<THostVariable>& Variables() const { return Items; }
    std::optional<THostVariable> Find(const std::string& name) const;
    const std::vector<THostVariableCallRecord>& History() const { return Calls; }
    void ClearHistory() { Calls.clear(); }

    // The dump file, rewritten on every change: one "name<TAB>type<TAB>value" line per variable.
    void SetDumpFile(std::string path);
    // Called after every change.
    void SetChangeListener(std::function<void()> listener) { Changed = std::move(listener); }

    static const char* TypeName(uint8_t typeCode);
    static std::string BooleanText(bool value);

  protected:
    bool AnswersInterface(const GUID& iid) const override;

  private:
    const THostVariable* Lookup(const std::string& name) const;
    THostVariable* Lookup(const std::string& name);
    NHXResult Write(THostVariableCallRecord record, uint8_t typeCode);
    void Record(const THostVariableCallRecord& record);
    void AfterChange();
    void WriteDump() const;

    std::shared_ptr<THostLog> Log;
    std::vector<THostVariable> Items;
    std::vector<THostVariableCallRecord> Calls;
    std::string DumpFile;
    std::function<void()> Changed;
};
