// The host's script engine. A script is an executable file directly inside the scripts folder;
// names that would leave the folder are never looked up or run. RunScript starts the script
// without waiting, with the sender and the run's parameters as environment variables, and logs
// its output lines and exit status when it ends.
//
// At most MaxRunningScripts run at once; further runs wait in a queue, in the order they came,
// and start as others end. Each running script holds pipes and a process slot, so a burst (a
// host that was down all morning fires hundreds of appointments in one tick) must not start
// them all at once: the process would run out of file descriptors and the scripts would fail.
#pragma once

#include <QObject>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "HostLog.h"
#include "HostScriptResult.h"
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

// Scripts run at once. Each holds three or four descriptors in the host (its pipes and process
// handle): 32 stay far below the usual limit of 1,024 descriptors, leave room for databases and
// sockets, and still run a morning's backlog of short scripts in seconds without forking
// hundreds of shells on a small machine.
inline constexpr int MaxRunningScripts = 32;

// Scripts with this prefix have no file: they are handed to the publisher (MQTT), which sends
// the run to the topic after the prefix.
inline constexpr const char* PublishedScriptPrefix = "mqtt/";

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

    // Handed every run (a script started or queued, or a published script); for published
    // scripts its answer is the run's result. Without a publisher, published scripts are
    // unknown names.
    using TPublisher = std::function<bool(const THostScriptRun&)>;
    void SetPublisher(TPublisher publisher) { Publisher = std::move(publisher); }
    // Handed how every run ended: finished, or refused or never started.
    using TResultListener = std::function<void(const THostScriptResult&)>;
    void AddResultListener(TResultListener listener);
    // Runs a script of the folder as RunScript does, for senders inside the host (MQTT
    // commands): through the same queue, with the parameters as environment variables.
    NHXResult Enqueue(const std::string& script, const std::string& sender,
                      std::vector<std::pair<std::string, std::string>> params);

    // "mqtt/TOPIC" with a topic MQTT can publish to (no '+', '#' or zero byte).
    static bool IsPublishedScript(const std::string& name);

    // The last lookups and runs (HostHistoryLimit each).
    const std::vector<std::string>& Lookups() const { return LookupNames; }
    const std::vector<THostScriptRun>& Runs() const { return RunRecords; }
    void ClearHistory();

    // Scripts started and not yet finished.
    int RunningCount() const { return static_cast<int>(Running.size()); }
    // Runs waiting for a free slot.
    int QueuedCount() const { return static_cast<int>(Queue.size()); }
    // Runs the event loop until every started and queued script has finished and its output is
    // logged, or the timeout passes; answers true when none is left.
    bool WaitForScripts(int timeoutMs);

  protected:
    bool AnswersInterface(const GUID& iid) const override;

  private:
    struct TProcess {
        std::unique_ptr<QProcess> Process;
        std::string Name;
        std::string Pending;  // output after the last complete line
        bool Starting = true;
        std::string StartError;    // set when the start failed while Starting
        THostScriptResult Result;  // filled in as the run goes
    };
    struct TQueuedRun {
        std::string Path;
        THostScriptRun Run;
        std::string Asked;
    };

    // Starts, queues or refuses a run of the folder's script.
    NHXResult Accept(THostScriptRun& run);
    // Answers why the script could not be started, or empty when it runs.
    std::string Start(const std::string& path, const THostScriptRun& run, const std::string& asked);
    void Report(THostScriptResult result);
    void ReportNotStarted(const THostScriptRun& run, const std::string& asked,
                          const std::string& reason);
    void StartQueued();
    void LogOutput(TProcess& run, bool flushPartialLine);
    void Finish(TProcess& run, int32_t kind, const std::string& outcome);
    void Discard(TProcess& run);

    std::shared_ptr<THostLog> Log;
    std::string Dir;
    TPublisher Publisher;
    std::vector<TResultListener> ResultListeners;
    std::vector<std::string> LookupNames;
    std::vector<THostScriptRun> RunRecords;
    std::vector<std::unique_ptr<TProcess>> Running;
    std::deque<TQueuedRun> Queue;
    // Ended runs, freed by a zero-time timer of this collector (which goes with the scripter).
    std::vector<std::unique_ptr<TProcess>> Ended;
    QObject EndedCollector;
};
