// The host's variables: a name, a type code and a value, kept in creation order. Every create and
// write is logged and recorded in a (bounded) history that tests read. The variables file keeps
// them across restarts: read at start (users declare variables there too), rewritten on every
// change.
#pragma once

#include <QDate>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "HostLog.h"
#include "NHXHostObjects.h"

struct THostVariable {
    std::string Name;
    uint8_t TypeCode = NHX_VAR_STRING;
    std::string Value;
    double Updated = 0;  // days since 1899-12-30, local time
};

// The variables file cannot be used at all (a directory, unreadable); the message names it.
class EVariablesFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
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

class THostVariableManager final : public TNHXVariableManagerObject {
  public:
    explicit THostVariableManager(std::shared_ptr<THostLog> log);

    // ---- INHXVariableManager ----
    NHXResult NHXCALL CreateVariable(NHXText name, uint8_t type) override;
    NHXResult NHXCALL WriteBoolean(NHXText name, bool value) override;
    NHXResult NHXCALL WriteString(NHXText name, NHXText value) override;
    NHXResult NHXCALL GetVariables(TNHXVariables* out, int32_t* count) override;

    // ---- For the host, its window and tests ----
    // Creates (or overwrites) a variable without recording it in the history.
    void PreCreate(const std::string& name, uint8_t typeCode, const std::string& value = {});
    const std::vector<THostVariable>& Variables() const { return Items; }
    std::optional<THostVariable> Find(const std::string& name) const;
    // The last calls (HostHistoryLimit) the module made.
    const std::vector<THostVariableCallRecord>& History() const { return Calls; }
    void ClearHistory() { Calls.clear(); }

    // A variable the user declares (in the window): answers why it cannot be, or empty when it
    // was created. Refuses an empty name, a name in use and a boolean value other than true or
    // false.
    std::string Declare(const std::string& name, uint8_t typeCode, const std::string& value);

    // The variables file, one "name<TAB>type<TAB>value" line per variable: read now when it
    // exists (each line that cannot be read is logged as an error and skipped), then rewritten
    // on every change. Raises EVariablesFileError when the path is a directory or unreadable.
    void UseFile(std::string path);
    const std::string& File() const { return DumpFile; }
    // Called after every change.
    void SetChangeListener(std::function<void()> listener) { Changed = std::move(listener); }
    // Called with each variable created or written.
    void SetVariableListener(std::function<void(const THostVariable&)> listener) {
        VariableChanged = std::move(listener);
    }

    // Writes an existing boolean ("true"/"false") or string variable on behalf of `who` (MQTT),
    // as the module's writes are; logged when the value changes. Answers false for no such
    // variable.
    bool SetValue(const std::string& name, const std::string& value, const std::string& who);

    static const char* TypeName(uint8_t typeCode);
    static std::string BooleanText(bool value);
    // "true"/"false" in any case; empty is false. None for anything else.
    static std::optional<bool> ParseBoolean(const std::string& text);
    // A type code or name ("boolean", "string"); none for anything else.
    static std::optional<uint8_t> ParseType(const std::string& text);

  protected:
    bool AnswersInterface(const GUID& iid) const override;

  private:
    const THostVariable* Lookup(const std::string& name) const;
    THostVariable* Lookup(const std::string& name);
    NHXResult Write(THostVariableCallRecord record, uint8_t typeCode);
    void Record(const THostVariableCallRecord& record);
    void AfterChange(const THostVariable* changed);
    void WriteDump() const;
    void ReadFile();
    // One line of the file as a variable; answers what is wrong with it, or empty.
    std::string ParseLine(const std::string& line, THostVariable& out) const;
    // Error notes that a module may cause on every tick are written once per text and day.
    void NoteOncePerDay(const std::string& text);

    std::shared_ptr<THostLog> Log;
    std::vector<THostVariable> Items;
    std::vector<THostVariableCallRecord> Calls;
    std::string DumpFile;
    // The file's lines as read: the variable a line held, or a line kept as it was (comments,
    // blank lines, lines the host cannot read); rewrites keep them in place.
    struct TFileLine {
        std::string Raw;
        std::string Variable;
        bool IsVariable = false;
    };
    std::vector<TFileLine> Layout;
    mutable bool WriteFailing = false;
    std::function<void()> Changed;
    std::function<void(const THostVariable&)> VariableChanged;
    QDate NotedDay;
    std::set<std::string> NotedToday;
};
