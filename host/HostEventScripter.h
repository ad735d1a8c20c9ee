// The host's script engine. A script is an executable file directly inside the scripts folder;
// names that would leave the folder are never looked up or run. RunScript starts the script
// without waiting, with the sender and the run's parameters as environment variables, and logs
// its output lines and exit status when it ends.
#pragma once

#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "HostLog.h"
#include "NHXObjects.h"

class QProcess;

// One parameter of a script run as the module handed it over.
struct THostScriptParam {
    std::string Name;
    uint8_t TypeCode = 0;
    std::string Value;
    double Updated = 0;
};

struct THostScriptRun {
    std::string Script;
    std::string Sender;
    std::vector<THostScriptParam> Params;
    NHXResult Result = S_OK;
};

// The environment variable that carries the sender of a run.
inline constexpr const char* ScriptSenderVariable = "NHX_SENDER";

class THostEventScripter final : public TNHXMessageObject<INHXEventScripter> {
  public:
    THostEventScripter(std::shared_ptr<THostLog> log, std::string scriptsDir);
    ~THostEventScripter() override;

    // ---- INHXEventScripter ----
    NHXResult NHXCALL RunScript(NHXText script, NHXText sender, int32_t reserved,
                                const TNHXScriptParams* params, int32_t reserved2) override;
    NHXResult NHXCALL LookupScript(NHXText script, NHXText* out) override;
    NHXResult NHXCALL Reserved4() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved5() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved6() override { return E_NOTIMPL; }
    NHXResult NHXCALL Reserved8() override { return E_NOTIMPL; }

    // ---- For the host and tests ----
    const std::string& ScriptsDir() const { return Dir; }
    // The full path of a script in the folder, or empty when `name` is not one.
    std::string ResolveScript(const std::string& name) const;
    // Names of the executable files in the folder, sorted.
    std::vector<std::string> ListScripts() const;

    const std::vector<std::string>& Lookups() const { return LookupNames; }
    const std::vector<THostScriptRun>& Runs() const { return RunRecords; }
    void ClearHistory();

    // Scripts started and not yet finished.
    int RunningCount() const { return static_cast<int>(Running.size()); }
    // Runs the event loop until every started script has finished and its output is logged, or
    // the timeout passes; answers true when none is left running.
    bool WaitForScripts(int timeoutMs);

  protected:
    bool AnswersInterface(const GUID& iid) const override;

  private:
    struct TProcess {
        std::unique_ptr<QProcess> Process;
        std::string Name;
        std::string Pending;  // output after the last complete line
    };

    void Start(const std::string& path, const THostScriptRun& run);
    void LogOutput(TProcess& run, bool flushPartialLine);
    void Finish(TProcess& run, int32_t kind, const std::string& outcome);

    std::shared_ptr<THostLog> Log;
    std::string Dir;
    std::vector<std::string> LookupNames;
    std::vector<THostScriptRun> RunRecords;
    std::vector<std::unique_ptr<TProcess>> Running;
    // Ended runs, freed at the next start or with the scripter (never inside their own signals).
    std::vector<std::unique_ptr<TProcess>> Ended;
};
