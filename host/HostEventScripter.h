// The host's script engine. A script is an executable file directly inside the scripts folder;
// names that would leave the folder are never looked up or run. RunScript starts the script
// without waiting, with the sender and the run's parameters as environment variables (and the
// host's environment without its own NHX_ variables, which hold its options and secrets), and
// logs its output lines and exit status when it ends. A script inherits no descriptor of the
// host but its standard input (/dev/null), output and error.
//
// At most Concurrency() run at once; further runs wait in a queue, in the order they came, and
// start as others end. Each running script holds pipes and a process slot, so a burst (a host
// that was down all morning fires hundreds of appointments in one tick) must not start them all
// at once. A start that fails for want of descriptors or processes is tried again when a
// running script ends (or after a second when none runs): the run stays in the queue.
//
// With a run history (UseHistory) the queue lives in the history file: a run is recorded
// before RunScript answers, and runs accepted but not finished when the host stopped run first
// at the next start.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "HostLog.h"
#include "HostScriptResult.h"
#include "NHXHostObjects.h"

#include "HostRunHistory.h"

class QProcess;
class QTimer;

// One parameter of a script run as the module handed it over.
struct THostScriptParam {
    std::string Name;
    uint8_t TypeCode = 0;
    std::string Value;
    double Updated = 0;
};

struct THostScriptRun {
    std::int64_t HistoryId = 0;  // its row in the run history, 0 when none is kept
    std::string Script;
    std::string Sender;
    std::vector<THostScriptParam> Params;
    NHXResult Result = S_OK;
    uint16_t Instance = 0;  // the module instance that asked; 0: unknown or none (MQTT)
};

// The environment variable that carries the sender of a run.
inline constexpr const char* ScriptSenderVariable = "NHX_SENDER";

// Scripts run at once, at most. 32 run a morning's backlog of short scripts in seconds without
// forking hundreds of shells on a small machine. Under a low descriptor limit fewer run: see
// ScriptConcurrency.
inline constexpr int MaxRunningScripts = 32;
// Descriptors a running script holds in the host (its output pipe and process handle), with
// room for the two pipes its start needs for a moment; and those kept free for the host's own
// databases, sockets and log.
inline constexpr int DescriptorsPerScript = 4;
inline constexpr int DescriptorsReserved = 32;
// Scripts that may run at once under a descriptor limit of `limit` with `open` descriptors in
// use: (limit - open - reserved) / per script, at least 1 and at most MaxRunningScripts.
int ScriptConcurrency(long long limit, int open);

// How long a script may run unless told otherwise, and how long it has after TERM before KILL.
inline constexpr int DefaultScriptTimeoutSeconds = 600;
inline constexpr int ScriptKillGraceMs = 5000;
// The output a run keeps for its history (the last lines).
inline constexpr size_t OutputTailBytes = 4096;

// Scripts with this prefix have no file: they are handed to the publisher (MQTT), which sends
// the run to the topic after the prefix.
inline constexpr const char* PublishedScriptPrefix = "mqtt/";

class THostEventScripter final : public TNHXEventScripterObject {
  public:
    THostEventScripter(std::shared_ptr<THostLog> log, std::string scriptsDir);
    ~THostEventScripter() override;

    // ---- INHXEventScripter ----
    NHXResult NHXCALL RunScript(NHXText script, NHXText sender, int32_t reserved,
                                const TNHXScriptParams* params, int32_t reserved2) override;
    NHXResult NHXCALL LookupScript(NHXText script, NHXText* out) override;

    // The same for a module instance of this number (its own view of the scripter, see
    // HostInstanceServices.h): runs and failed lookups are recorded with it. A failed lookup is
    // recorded with `written` as its parameters: the module hands over none for a script it
    // cannot find.
    NHXResult RunScriptFor(uint16_t instance, NHXText script, NHXText sender,
                           const TNHXScriptParams* params);
    NHXResult LookupScriptFor(uint16_t instance, NHXText script, NHXText* out,
                              std::vector<std::pair<std::string, std::string>> written = {});

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
    void SetPublisher(TPublisher publisher);
    // "mqtt/TOPIC" with a topic MQTT can publish to (no '+', '#' or zero byte).
    static bool IsPublishedScript(const std::string& name);
    // With a history, a publisher that answers false (the broker is away) leaves the run queued
    // in the file; the publisher calls PublishWaiting when it can publish again, and waiting
    // runs go out in order.
    void PublishWaiting();

    // Called with how every run ended: finished, timed out, or not started.
    using TResultListener = std::function<void(const THostScriptResult&)>;
    void AddResultListener(TResultListener listener);

    // A run asked for by the host itself (MQTT): the same queue and history as RunScript's.
    NHXResult Enqueue(const std::string& script, const std::string& sender,
                      std::vector<std::pair<std::string, std::string>> params);

    // Keeps every run in the history file from now on (see above), drops rows older than
    // `days` (failures: twice as long), and queues the runs a previous host left unfinished.
    // Raises EHistoryError.
    void UseHistory(const std::string& file, int days);
    THostRunHistory* History() const { return RunHistory.get(); }
    // A run is stopped after this long (TERM, then KILL after ScriptKillGraceMs).
    void SetScriptTimeout(int milliseconds) { TimeoutMs = milliseconds; }
    int Concurrency() const { return MaxConcurrent; }
    void SetConcurrency(int scripts) { MaxConcurrent = scripts; }
    // The host is stopping: nothing new starts; running scripts get up to `graceMs` to end, then
    // are killed and recorded as failed. Queued runs stay in the history for the next start.
    void Stop(int graceMs);

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
    struct TQueuedRun {
        std::string Path;
        THostScriptRun Run;
        std::string Asked;
    };
    struct TProcess {
        std::unique_ptr<QProcess> Process;
        TQueuedRun Queued;
        std::string Name;
        std::string Pending;  // output after the last complete line
        std::string Tail;     // the last OutputTailBytes of output
        std::string Started;
        QElapsedTimer Clock;
        std::unique_ptr<QTimer> Timeout;
        bool TimedOut = false;
        bool Starting = true;
        std::string StartError;  // set when the start failed while Starting
    };

    NHXResult Accept(THostScriptRun run);
    // Records, logs and announces a run that cannot run; `id` is its row when it has one.
    void NotStarted(const THostScriptRun& run, const std::string& asked, const std::string& reason,
                    std::int64_t id = 0);
    // Answers why the script could not be started, or empty when it runs.
    std::string Start(const TQueuedRun& queued);
    void StartQueued();
    void LogOutput(TProcess& run, bool flushPartialLine);
    void OnFinished(TProcess& run, int exitCode, bool crashed);
    void OnTimeout(TProcess& run);
    void Finish(TProcess& run, int32_t kind, const std::string& text);
    void Discard(TProcess& run);
    void Announce(const THostScriptResult& result);
    THostScriptResult ResultOf(const THostScriptRun& run, const std::string& asked) const;
    // A failure of the history file is logged (once until it works again); the run goes on.
    void Guard(const std::function<void()>& write);

    std::shared_ptr<THostLog> Log;
    std::string Dir;
    TPublisher Publisher;
    std::vector<std::string> LookupNames;
    std::vector<THostScriptRun> RunRecords;
    std::vector<std::unique_ptr<TProcess>> Running;
    std::deque<TQueuedRun> Queue;
    std::vector<TResultListener> Listeners;
    std::unique_ptr<THostRunHistory> RunHistory;
    int TimeoutMs = DefaultScriptTimeoutSeconds * 1000;
    int MaxConcurrent = MaxRunningScripts;
    int StartFailures = 0;  // failed starts of the queue's first run in a row, none running
    bool RetryPending = false;
    bool Stopping = false;
    bool HistoryFailing = false;
    // Ended runs, freed by a zero-time timer of this collector (which goes with the scripter).
    std::vector<std::unique_ptr<TProcess>> Ended;
    QObject EndedCollector;
};
