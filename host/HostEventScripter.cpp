#include "HostEventScripter.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <csignal>

#include "HostHistory.h"
#include "MessageBox.h"
#include "NHXPtr.h"
#include "SignalQuitter.h"

namespace {

// A start that failed for want of descriptors or processes, with no script running to free
// them, is tried again after this long, this many times, before the run is given up.
constexpr int StartRetryMs = 1000;
constexpr int StartRetries = 60;
// MQTT topics are at most 65,535 bytes; the prefix and "/scripts/" need room too.
constexpr size_t MaxPublishedTopic = 65000;
// The host's own variables (options, secrets) start with this.
constexpr const char* HostVariablePrefix = "NHX_";
constexpr const char* RestartNote = "run after a restart";

// A name the environment can carry: not empty, no '=' and no zero byte.
bool IsEnvironmentName(const std::string& name) {
    return !name.empty() && name.find_first_of(std::string("=\0", 2)) == std::string::npos;
}

QString ToQString(const std::string& bytes) {
    std::string clean = bytes;
    std::erase(clean, '\0');
    return QString::fromUtf8(clean.data(), static_cast<qsizetype>(clean.size()));
}

THostScriptRun DescribeRun(uint16_t instance, NHXText script, NHXText sender,
                           const TNHXScriptParams* params) {
    THostScriptRun run{0, NHXTextToString(script), NHXTextToString(sender), {}, S_OK, instance};
    if (params && params->Variables) {
        const uint32_t count = NHXVariablesCount(params->Variables);
        for (uint32_t i = 0; i < count; ++i) {
            const TNHXVariable& v = params->Variables[i];
            run.Params.push_back(THostScriptParam{NHXTextToString(v.Name), v.TypeCode,
                                                  NHXTextToString(v.ValueText), v.Updated});
        }
    }
    return run;
}

// "Mondrel_Value=2 cups, Mondrel_Date=12/8/26", each value cut after 200 bytes.
std::string DescribeParameters(const THostScriptRun& run) {
    std::string text;
    for (const THostScriptParam& p : run.Params) {
        text += (text.empty() ? "" : ", ") + p.Name + "=" +
                (p.Value.size() > 200 ? p.Value.substr(0, 200) + "..." : p.Value);
    }
    return text.empty() ? "none" : text;
}

// " (instance #2)" for a run a module instance asked for.
std::string AskedBy(const THostScriptRun& run) {
    return run.Instance == 0 ? std::string() : " (instance #" + std::to_string(run.Instance) + ")";
}

int OpenDescriptorCount() {
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files).size());
}

// Runs in the child between fork and exec: every descriptor above standard error is marked
// close-on-exec, whoever opened it (a library's socket too). Qt's own start-up pipe is marked
// already and keeps working until the exec. The signals the host reads itself are unblocked:
// a script must be stoppable with TERM and Ctrl+C.
void PrepareScriptProcess() {
    UnblockQuitSignals();
    if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) {
        return;
    }
    rlimit limit{};
    const rlim_t last = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                            ? std::min<rlim_t>(limit.rlim_cur, 1 << 20)
                            : 1 << 16;
    for (int descriptor = 3; descriptor < static_cast<int>(last); ++descriptor) {
        fcntl(descriptor, F_SETFD, FD_CLOEXEC);
    }
}

void KeepTail(std::string& tail, const std::string& more) {
    tail += more;
    if (tail.size() > OutputTailBytes) {
        tail.erase(0, tail.size() - OutputTailBytes);
        // Starts at a line when one begins in what is kept.
        if (const size_t line = tail.find('\n');
            line != std::string::npos && line + 1 < tail.size()) {
            tail.erase(0, line + 1);
        }
    }
}

}  // namespace

int ScriptConcurrency(long long limit, int open) {
    const long long free = limit - open - DescriptorsReserved;
    return static_cast<int>(
        std::clamp<long long>(free / DescriptorsPerScript, 1, MaxRunningScripts));
}

THostEventScripter::THostEventScripter(std::shared_ptr<THostLog> log, std::string scriptsDir)
    : Log(std::move(log)), Dir(std::move(scriptsDir)) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        MaxConcurrent =
            ScriptConcurrency(static_cast<long long>(limit.rlim_cur), OpenDescriptorCount());
        if (MaxConcurrent < MaxRunningScripts) {
            Log->AddHostNote(NHX_LOG_NOTICE, "At most " + std::to_string(MaxConcurrent) +
                                                 " scripts run at once under the limit of " +
                                                 std::to_string(limit.rlim_cur) + " open files");
        }
    }
}

// A script still running when the host goes is stopped (QProcess kills it on destruction); runs
// still queued are named in the log, or wait in the history for the next start.
THostEventScripter::~THostEventScripter() {
    for (const auto& run : Running) {
        run->Process->disconnect();
        if (run->Timeout) {
            run->Timeout->disconnect();
        }
    }
    if (RunHistory) {
        if (!Queue.empty()) {
            Log->AddHostNote(NHX_LOG_NOTICE,
                             std::to_string(Queue.size()) +
                                 " script runs wait in the history for the next start");
        }
        return;
    }
    for (const TQueuedRun& queued : Queue) {
        Log->AddHostNote(NHX_LOG_ERROR, "Script " + queued.Run.Script +
                                            " not started: the host stopped before its turn");
    }
}

bool THostEventScripter::IsPublishedScript(const std::string& name) {
    const std::string prefix = PublishedScriptPrefix;
    return name.size() > prefix.size() && name.starts_with(prefix) &&
           name.find_first_of(std::string("+#\0", 3)) == std::string::npos;
}

bool THostEventScripter::AnswersInterface(const GUID& iid) const {
    return iid == IID_INHXEventScripter || iid == IID_INHXMessageSink || iid == IID_IUnknown;
}

std::string THostEventScripter::ResolveScript(const std::string& name) const {
    // Only a plain file name: nothing that could reach outside the folder.
    if (Dir.empty() || name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string("/\0", 2)) != std::string::npos) {
        return {};
    }
    const QFileInfo info(QDir(ToQString(Dir)), ToQString(name));
    if (!info.isFile() || !info.isExecutable()) {
        return {};
    }
    return info.absoluteFilePath().toStdString();
}

std::vector<std::string> THostEventScripter::ListScripts() const {
    std::vector<std::string> names;
    if (Dir.empty()) {
        return names;
    }
    const QFileInfoList entries =
        QDir(ToQString(Dir)).entryInfoList(QDir::Files | QDir::Executable, QDir::Name);
    for (const QFileInfo& entry : entries) {
        names.push_back(entry.fileName().toStdString());
    }
    return names;
}

void THostEventScripter::SetPublisher(TPublisher publisher) {
    Publisher = std::move(publisher);
    PublishWaiting();
}

void THostEventScripter::AddResultListener(TResultListener listener) {
    Listeners.push_back(std::move(listener));
}

void THostEventScripter::Guard(const std::function<void()>& write) {
    try {
        write();
        if (HistoryFailing) {
            HistoryFailing = false;
            Log->AddHostNote(NHX_LOG_NOTICE, "The history file is written again");
        }
    } catch (const std::exception& e) {
        if (!HistoryFailing) {
            HistoryFailing = true;
            Log->AddHostNote(NHX_LOG_ERROR, e.what());
        }
    }
}

void THostEventScripter::UseHistory(const std::string& file, int days) {
    RunHistory = std::make_unique<THostRunHistory>(file);
    const std::int64_t pruned = RunHistory->Prune(days, THostRunHistory::Now());
    if (pruned > 0) {
        Log->AddHostNote(NHX_LOG_NOTICE, "History: " + std::to_string(pruned) +
                                             " runs older than the limit removed");
    }
    int restarted = 0;
    for (const THostRunRecord& record : RunHistory->Unfinished()) {
        const THostScriptResult& r = record.Result;
        THostScriptRun run{r.HistoryId, r.Script, r.Sender,
                           {},          S_OK,     static_cast<uint16_t>(r.Instance)};
        for (const auto& [name, value] : r.Parameters) {
            run.Params.push_back(THostScriptParam{name, NHX_VAR_STRING, value, 0});
        }
        if (IsPublishedScript(r.Script)) {
            continue;  // PublishWaiting sends these
        }
        const std::string path = ResolveScript(r.Script);
        if (path.empty()) {
            NotStarted(run, r.Asked, "not an executable file in the scripts folder", r.HistoryId);
            continue;
        }
        RunHistory->SetNote(
            r.HistoryId, r.Outcome == HostRunState::Running
                             ? std::string(RestartNote) + " (it was running when the host stopped)"
                             : RestartNote);
        Queue.push_back(TQueuedRun{path, run, r.Asked});
        ++restarted;
    }
    if (restarted > 0) {
        Log->AddHostNote(NHX_LOG_NOTICE, std::to_string(restarted) +
                                             " script runs accepted before the last stop run now");
    }
    StartQueued();
}

THostScriptResult THostEventScripter::ResultOf(const THostScriptRun& run,
                                               const std::string& asked) const {
    THostScriptResult result;
    result.HistoryId = run.HistoryId;
    result.Sender = run.Sender;
    result.Instance = run.Instance;
    result.Script = run.Script;
    for (const THostScriptParam& p : run.Params) {
        result.Parameters.emplace_back(p.Name, p.Value);
    }
    result.Asked = asked;
    return result;
}

void THostEventScripter::Announce(const THostScriptResult& result) {
    for (const TResultListener& listener : Listeners) {
        RunGuarded([&] { listener(result); });
    }
}

void THostEventScripter::NotStarted(const THostScriptRun& run, const std::string& asked,
                                    const std::string& reason, std::int64_t id) {
    Log->AddHostNote(NHX_LOG_ERROR, "Script " + run.Script + " not started: " + reason +
                                        "; parameters: " + DescribeParameters(run) + AskedBy(run));
    THostScriptResult result = ResultOf(run, asked);
    result.Outcome = HostRunState::NotStarted;
    result.Reason = reason;
    result.Finished = THostRunHistory::Now();
    if (RunHistory) {
        Guard([&] {
            if (id == 0) {
                id = RunHistory->Add(result);
            } else {
                RunHistory->MarkEnded(id, result, std::nullopt);
            }
        });
        result.HistoryId = id;
    }
    Announce(result);
}

NHXResult NHXCALL THostEventScripter::LookupScript(NHXText script, NHXText* out) {
    return LookupScriptFor(0, script, out);
}

NHXResult THostEventScripter::LookupScriptFor(
    uint16_t instance, NHXText script, NHXText* out,
    std::vector<std::pair<std::string, std::string>> written) {
    const std::string name = NHXTextToString(script);
    LookupNames.push_back(name);
    KeepLast(LookupNames);
    const std::string path = Publisher && IsPublishedScript(name) ? name : ResolveScript(name);
    if (path.empty()) {
        // The module looks a script up right before it runs it, and a failed lookup ends the
        // run there: it is the run's only trace.
        THostScriptRun run{0, name, {}, {}, E_FAIL, instance};
        for (auto& [param, value] : written) {
            run.Params.push_back(
                THostScriptParam{std::move(param), NHX_VAR_STRING, std::move(value), 0});
        }
        NotStarted(run, THostRunHistory::Now(), "not an executable file in the scripts folder");
        return E_FAIL;
    }
    if (out) {
        *out = TNHXTextRef(path).Detach();
    }
    return S_OK;
}

NHXResult NHXCALL THostEventScripter::RunScript(NHXText script, NHXText sender, int32_t,
                                                const TNHXScriptParams* params, int32_t) {
    return RunScriptFor(0, script, sender, params);
}

NHXResult THostEventScripter::RunScriptFor(uint16_t instance, NHXText script, NHXText sender,
                                           const TNHXScriptParams* params) {
    return Accept(DescribeRun(instance, script, sender, params));
}

NHXResult THostEventScripter::Enqueue(const std::string& script, const std::string& sender,
                                      std::vector<std::pair<std::string, std::string>> params) {
    THostScriptRun run{0, script, sender, {}, S_OK};
    for (auto& [name, value] : params) {
        run.Params.push_back(
            THostScriptParam{std::move(name), NHX_VAR_STRING, std::move(value), 0});
    }
    return Accept(std::move(run));
}

NHXResult THostEventScripter::Accept(THostScriptRun run) {
    const std::string asked = THostRunHistory::Now();
    const auto record = [&] {
        if (RunHistory) {
            THostScriptResult queued = ResultOf(run, asked);
            queued.Outcome = HostRunState::Queued;
            Guard([&] { run.HistoryId = RunHistory->Add(queued); });
        }
    };
    std::string path;
    if (Publisher && IsPublishedScript(run.Script)) {
        if (run.Script.size() > MaxPublishedTopic) {
            NotStarted(run, asked, "the topic is too long to publish");
            run.Result = E_FAIL;
        } else {
            record();
            // A publisher that throws has not published.
            bool published = false;
            RunGuarded([&] { published = Publisher(run); });
            THostScriptResult result = ResultOf(run, asked);
            if (published) {
                result.Outcome = HostRunState::Ok;
                result.Finished = THostRunHistory::Now();
                if (RunHistory) {
                    Guard([&] { RunHistory->MarkEnded(run.HistoryId, result, std::nullopt); });
                }
                Announce(result);
            } else if (RunHistory) {
                Guard([&] { RunHistory->SetNote(run.HistoryId, "waiting for the broker"); });
            } else {
                NotStarted(run, asked, "it could not be published");
                run.Result = E_FAIL;
            }
        }
    } else if (path = ResolveScript(run.Script); path.empty()) {
        NotStarted(run, asked, "not an executable file in the scripts folder");
        run.Result = E_FAIL;
    } else {
        record();
        Queue.push_back(TQueuedRun{path, run, asked});
        if (static_cast<int>(Running.size()) >= MaxConcurrent || Queue.size() > 1) {
            Log->AddHostNote(NHX_LOG_NOTICE,
                             "Script " + run.Script + " queued: " + std::to_string(Running.size()) +
                                 " scripts running, " + std::to_string(Queue.size()) + " waiting");
        }
        StartQueued();
    }
    if (Publisher && NHXSucceeded(run.Result) && !IsPublishedScript(run.Script)) {
        RunGuarded([&] { Publisher(run); });
    }
    RunRecords.push_back(run);
    KeepLast(RunRecords);
    return run.Result;
}

void THostEventScripter::PublishWaiting() {
    if (!RunHistory || !Publisher) {
        return;
    }
    std::vector<THostRunRecord> waiting;
    Guard([&] { waiting = RunHistory->Unfinished(); });
    for (const THostRunRecord& record : waiting) {
        THostScriptResult result = record.Result;
        if (!IsPublishedScript(result.Script)) {
            continue;
        }
        THostScriptRun run{result.HistoryId,
                           result.Script,
                           result.Sender,
                           {},
                           S_OK,
                           static_cast<uint16_t>(result.Instance)};
        for (const auto& [name, value] : result.Parameters) {
            run.Params.push_back(THostScriptParam{name, NHX_VAR_STRING, value, 0});
        }
        bool published = false;
        RunGuarded([&] { published = Publisher(run); });
        if (!published) {
            return;
        }
        result.Outcome = HostRunState::Ok;
        result.Finished = THostRunHistory::Now();
        Guard([&] {
            RunHistory->MarkEnded(result.HistoryId, result, std::nullopt);
            RunHistory->SetNote(result.HistoryId, "published late");
        });
        Announce(result);
    }
}

std::string THostEventScripter::Start(const TQueuedRun& queued) {
    const THostScriptRun& run = queued.Run;
    auto entry = std::make_unique<TProcess>();
    entry->Process = std::make_unique<QProcess>();
    entry->Queued = queued;
    entry->Name = run.Script;
    TProcess* started = entry.get();
    QProcess* process = entry->Process.get();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : environment.keys()) {
        if (name.startsWith(QLatin1String(HostVariablePrefix))) {
            environment.remove(name);
        }
    }
    environment.insert(ScriptSenderVariable, ToQString(run.Sender));
    for (const THostScriptParam& param : run.Params) {
        if (IsEnvironmentName(param.Name)) {
            environment.insert(ToQString(param.Name), ToQString(param.Value));
        }
    }
    process->setProcessEnvironment(environment);
    process->setWorkingDirectory(ToQString(Dir));
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setChildProcessModifier(&PrepareScriptProcess);
    process->setProgram(ToQString(queued.Path));

    QObject::connect(process, &QProcess::readyReadStandardOutput,
                     [this, started] { RunGuarded([&] { LogOutput(*started, false); }); });
    QObject::connect(process, &QProcess::finished,
                     [this, started](int exitCode, QProcess::ExitStatus status) {
                         RunGuarded([&] {
                             OnFinished(*started, exitCode, status == QProcess::CrashExit);
                             StartQueued();
                         });
                     });
    QObject::connect(process, &QProcess::errorOccurred,
                     [this, started](QProcess::ProcessError error) {
                         // Only a failed start goes without a finished signal. One that fails
                         // inside start() (no descriptors or processes left) is answered by Start
                         // itself; one that fails in the child (the exec) is the script's own and
                         // ends the run.
                         if (error != QProcess::FailedToStart) {
                             return;
                         }
                         const std::string reason = started->Process->errorString().toStdString();
                         if (started->Starting) {
                             started->StartError = reason.empty() ? "unknown error" : reason;
                             return;
                         }
                         RunGuarded([&] {
                             LogOutput(*started, true);
                             NotStarted(started->Queued.Run, started->Queued.Asked, reason,
                                        started->Queued.Run.HistoryId);
                             Discard(*started);
                             StartQueued();
                         });
                     });

    Running.push_back(std::move(entry));
    process->start();
    started->Starting = false;
    const std::string failure = started->StartError;
    if (!failure.empty()) {
        Discard(*started);
        return failure;
    }
    started->Clock.start();
    started->Started = THostRunHistory::Now();
    if (RunHistory && run.HistoryId != 0) {
        Guard([&] { RunHistory->MarkStarted(run.HistoryId, started->Started); });
    }
    if (TimeoutMs > 0) {
        started->Timeout = std::make_unique<QTimer>();
        started->Timeout->setSingleShot(true);
        QObject::connect(started->Timeout.get(), &QTimer::timeout,
                         [this, started] { RunGuarded([&] { OnTimeout(*started); }); });
        started->Timeout->start(TimeoutMs);
    }
    Log->AddHostNote(NHX_LOG_NOTICE,
                     "Script " + run.Script + " started by " + run.Sender + AskedBy(run));
    return {};
}

// A queued run that cannot start while others run waits for the next one to end (descriptors
// or processes come free then); with none running it is tried again a second later, and given
// up after StartRetries tries.
void THostEventScripter::StartQueued() {
    while (!Stopping && !Queue.empty() && static_cast<int>(Running.size()) < MaxConcurrent) {
        const std::string failure = Start(Queue.front());
        if (failure.empty()) {
            Queue.pop_front();
            StartFailures = 0;
            continue;
        }
        if (ResolveScript(Queue.front().Run.Script).empty()) {
            NotStarted(Queue.front().Run, Queue.front().Asked,
                       "no longer an executable file in the scripts folder",
                       Queue.front().Run.HistoryId);
            Queue.pop_front();
            continue;
        }
        if (!Running.empty()) {
            return;
        }
        if (++StartFailures > StartRetries) {
            NotStarted(Queue.front().Run, Queue.front().Asked, failure,
                       Queue.front().Run.HistoryId);
            Queue.pop_front();
            StartFailures = 0;
            continue;
        }
        if (!RetryPending) {
            RetryPending = true;
            QTimer::singleShot(StartRetryMs, &EndedCollector, [this] {
                RetryPending = false;
                RunGuarded([&] { StartQueued(); });
            });
        }
        return;
    }
}

void THostEventScripter::LogOutput(TProcess& run, bool flushPartialLine) {
    const QByteArray bytes = run.Process->readAllStandardOutput();
    const std::string more(bytes.constData(), static_cast<size_t>(bytes.size()));
    KeepTail(run.Tail, more);
    run.Pending += more;
    size_t end;
    while ((end = run.Pending.find('\n')) != std::string::npos) {
        std::string line = run.Pending.substr(0, end);
        run.Pending.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        Log->AddHostNote(NHX_LOG_NOTICE, "Script " + run.Name + ": " + line);
    }
    if (flushPartialLine && !run.Pending.empty()) {
        Log->AddHostNote(NHX_LOG_NOTICE, "Script " + run.Name + ": " + run.Pending);
        run.Pending.clear();
    }
}

void THostEventScripter::OnTimeout(TProcess& run) {
    run.TimedOut = true;
    Log->AddHostNote(NHX_LOG_ERROR, "Script " + run.Name + " ran longer than " +
                                        std::to_string(TimeoutMs / 1000.0).substr(0, 5) +
                                        " s: stopped (TERM, then KILL after 5 s)");
    run.Process->terminate();
    // The same timer, now for the KILL; a script that ended meanwhile has taken it along.
    run.Timeout->disconnect();
    QObject::connect(run.Timeout.get(), &QTimer::timeout, [&run] { run.Process->kill(); });
    run.Timeout->start(ScriptKillGraceMs);
}

void THostEventScripter::OnFinished(TProcess& run, int exitCode, bool crashed) {
    THostScriptResult result = ResultOf(run.Queued.Run, run.Queued.Asked);
    LogOutput(run, true);
    result.Started = run.Started;
    result.Finished = THostRunHistory::Now();
    result.OutputTail = run.Tail;
    // Qt answers the signal as the exit code of a crashed process.
    result.ExitStatus = crashed ? -1 : exitCode;
    result.Signal = crashed ? exitCode : 0;
    std::string text;
    if (run.TimedOut) {
        result.Outcome = HostRunState::TimedOut;
        result.Reason =
            "ran longer than the time-out; stopped by signal " + std::to_string(result.Signal);
        text = "stopped after its time-out";
    } else if (crashed) {
        result.Outcome = HostRunState::Failed;
        result.Reason = "ended by signal " + std::to_string(exitCode);
        text = "crashed (signal " + std::to_string(exitCode) + ")";
    } else {
        result.Outcome = exitCode == 0 ? HostRunState::Ok : HostRunState::Failed;
        if (exitCode != 0) {
            result.Reason = "exit status " + std::to_string(exitCode);
        }
        text = "finished with exit code " + std::to_string(exitCode);
    }
    if (Stopping && crashed && !run.TimedOut) {
        result.Reason = "stopped with the host";
    }
    if (RunHistory && result.HistoryId != 0) {
        const std::int64_t ms = run.Clock.isValid() ? run.Clock.elapsed() : 0;
        Guard([&] { RunHistory->MarkEnded(result.HistoryId, result, ms); });
    }
    Finish(run, result.Outcome == HostRunState::Ok ? NHX_LOG_NOTICE : NHX_LOG_ERROR, text);
    Announce(result);
}

void THostEventScripter::Finish(TProcess& run, int32_t kind, const std::string& text) {
    Log->AddHostNote(kind, "Script " + run.Name + " " + text);
    Discard(run);
}

// The process's pipes are closed at once; the object is freed from the event loop right after
// (never inside its own signal).
void THostEventScripter::Discard(TProcess& run) {
    auto it = std::find_if(Running.begin(), Running.end(),
                           [&run](const auto& entry) { return entry.get() == &run; });
    if (it == Running.end()) {
        return;
    }
    (*it)->Process->disconnect();
    if ((*it)->Timeout) {
        (*it)->Timeout->stop();
        (*it)->Timeout->disconnect();
    }
    (*it)->Process->close();
    Ended.push_back(std::move(*it));
    Running.erase(it);
    if (Ended.size() == 1) {
        QTimer::singleShot(0, &EndedCollector, [this] { Ended.clear(); });
    }
}

void THostEventScripter::Stop(int graceMs) {
    Stopping = true;
    if (!Running.empty()) {
        Log->AddHostNote(NHX_LOG_NOTICE, "Waiting up to " + std::to_string(graceMs / 1000) +
                                             " s for " + std::to_string(Running.size()) +
                                             " running scripts");
        QDeadlineTimer deadline(graceMs);
        QTimer wake;
        wake.start(20);
        while (!Running.empty() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        }
    }
    // Killed now: each ends through its finished signal and is recorded.
    while (!Running.empty()) {
        TProcess& run = *Running.front();
        run.Process->kill();
        run.Process->waitForFinished(2000);
        // Its finished signal has recorded and discarded it; one that never came is dropped.
        if (!Running.empty() && Running.front().get() == &run) {
            Discard(run);
        }
    }
}

void THostEventScripter::ClearHistory() {
    LookupNames.clear();
    RunRecords.clear();
}

bool THostEventScripter::WaitForScripts(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    // Wakes the waiting loop now and then, so the deadline is seen even when nothing happens.
    QTimer wake;
    wake.start(20);
    while ((!Running.empty() || !Queue.empty()) && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return Running.empty() && Queue.empty();
}
