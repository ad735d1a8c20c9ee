#include "HostEventScripter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

#include "HostHistory.h"
#include "MessageBox.h"
#include "NHXPtr.h"

namespace {

// A name the environment can carry: not empty, no '=' and no zero byte.
bool IsEnvironmentName(const std::string& name) {
    return !name.empty() && name.find_first_of(std::string("=\0", 2)) == std::string::npos;
}

QString ToQString(const std::string& bytes) {
    std::string clean = bytes;
    std::erase(clean, '\0');
    return QString::fromUtf8(clean.data(), static_cast<qsizetype>(clean.size()));
}

THostScriptRun DescribeRun(NHXText script, NHXText sender, const TNHXScriptParams* params) {
    THostScriptRun run{NHXTextToString(script), NHXTextToString(sender), {}, S_OK};
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

// ISO 8601, local with its offset ("+00:00", never "Z").
std::string IsoNow() {
    const QDateTime now = QDateTime::currentDateTime();
    const int offset = now.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return (now.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
            QStringLiteral("%1%2:%3")
                .arg(offset < 0 ? '-' : '+')
                .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                .arg(minutes % 60, 2, 10, QLatin1Char('0')))
        .toStdString();
}

constexpr size_t MaxOutputTail = 4096;

THostScriptResult ResultOf(const THostScriptRun& run, const std::string& asked) {
    THostScriptResult result;
    result.Sender = run.Sender;
    result.Script = run.Script;
    for (const THostScriptParam& param : run.Params) {
        result.Parameters.emplace_back(param.Name, param.Value);
    }
    result.Asked = asked;
    return result;
}

}  // namespace

THostEventScripter::THostEventScripter(std::shared_ptr<THostLog> log, std::string scriptsDir)
    : Log(std::move(log)), Dir(std::move(scriptsDir)) {}

// A script still running when the host goes is stopped (QProcess kills it on destruction); runs
// still queued are named in the log.
THostEventScripter::~THostEventScripter() {
    for (const auto& run : Running) {
        run->Process->disconnect();
    }
    for (const TQueuedRun& queued : Queue) {
        Log->AddHostNote(NHX_LOG_ERROR, "Script " + queued.Run.Script +
                                            " not started: the host stopped before its turn");
        ReportNotStarted(queued.Run, queued.Asked, "the host stopped before its turn");
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

NHXResult NHXCALL THostEventScripter::LookupScript(NHXText script, NHXText* out) {
    const std::string name = NHXTextToString(script);
    LookupNames.push_back(name);
    KeepLast(LookupNames);
    const std::string path = Publisher && IsPublishedScript(name) ? name : ResolveScript(name);
    if (path.empty()) {
        return E_FAIL;
    }
    if (out) {
        *out = TNHXTextRef(path).Detach();
    }
    return S_OK;
}

NHXResult NHXCALL THostEventScripter::RunScript(NHXText script, NHXText sender, int32_t,
                                                const TNHXScriptParams* params, int32_t) {
    THostScriptRun run = DescribeRun(script, sender, params);
    if (Publisher && IsPublishedScript(run.Script)) {
        // A publisher that throws has not published.
        run.Result = E_FAIL;
        RunGuarded([&] { run.Result = Publisher(run) ? S_OK : E_FAIL; });
    } else {
        run.Result = Accept(run);
    }
    if (Publisher && NHXSucceeded(run.Result) && !IsPublishedScript(run.Script)) {
        RunGuarded([&] { Publisher(run); });
    }
    RunRecords.push_back(run);
    KeepLast(RunRecords);
    return run.Result;
}

NHXResult THostEventScripter::Enqueue(const std::string& script, const std::string& sender,
                                      std::vector<std::pair<std::string, std::string>> params) {
    THostScriptRun run{script, sender, {}, S_OK};
    for (auto& [name, value] : params) {
        run.Params.push_back(
            THostScriptParam{std::move(name), NHX_VAR_STRING, std::move(value), 0});
    }
    run.Result = Accept(run);
    RunRecords.push_back(run);
    KeepLast(RunRecords);
    return run.Result;
}

NHXResult THostEventScripter::Accept(THostScriptRun& run) {
    const std::string asked = IsoNow();
    const std::string path = ResolveScript(run.Script);
    if (path.empty()) {
        Log->AddHostNote(NHX_LOG_ERROR, "Script not in the scripts folder: " + run.Script);
        ReportNotStarted(run, asked, "not in the scripts folder");
        return E_FAIL;
    }
    if (static_cast<int>(Running.size()) < MaxRunningScripts && Queue.empty()) {
        std::string failure = "the error reported";
        RunGuarded([&] { failure = Start(path, run, asked); });
        if (!failure.empty()) {
            Log->AddHostNote(NHX_LOG_ERROR,
                             "Script " + run.Script + " could not be started: " + failure);
            ReportNotStarted(run, asked, failure);
            return E_FAIL;
        }
        return S_OK;
    }
    Queue.push_back(TQueuedRun{path, run, asked});
    Log->AddHostNote(NHX_LOG_NOTICE,
                     "Script " + run.Script + " queued: " + std::to_string(Running.size()) +
                         " scripts running, " + std::to_string(Queue.size()) + " waiting");
    return S_OK;
}

void THostEventScripter::AddResultListener(TResultListener listener) {
    ResultListeners.push_back(std::move(listener));
}

void THostEventScripter::Report(THostScriptResult result) {
    if (result.Finished.empty()) {
        result.Finished = IsoNow();
    }
    const auto listeners = ResultListeners;
    for (const TResultListener& listener : listeners) {
        RunGuarded([&] { listener(result); });
    }
}

void THostEventScripter::ReportNotStarted(const THostScriptRun& run, const std::string& asked,
                                          const std::string& reason) {
    THostScriptResult result = ResultOf(run, asked);
    result.Outcome = "not started";
    result.Reason = reason;
    Report(std::move(result));
}

std::string THostEventScripter::Start(const std::string& path, const THostScriptRun& run,
                                      const std::string& asked) {
    auto entry = std::make_unique<TProcess>();
    entry->Process = std::make_unique<QProcess>();
    entry->Name = run.Script;
    entry->Result = ResultOf(run, asked);
    TProcess* started = entry.get();
    QProcess* process = entry->Process.get();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(ScriptSenderVariable, ToQString(run.Sender));
    for (const THostScriptParam& param : run.Params) {
        if (IsEnvironmentName(param.Name)) {
            environment.insert(ToQString(param.Name), ToQString(param.Value));
        }
    }
    process->setProcessEnvironment(environment);
    process->setWorkingDirectory(ToQString(Dir));
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setProgram(ToQString(path));

    QObject::connect(process, &QProcess::readyReadStandardOutput,
                     [this, started] { RunGuarded([&] { LogOutput(*started, false); }); });
    QObject::connect(process, &QProcess::finished,
                     [this, started](int exitCode, QProcess::ExitStatus status) {
                         RunGuarded([&] {
                             THostScriptResult& result = started->Result;
                             result.Finished = IsoNow();
                             if (status == QProcess::CrashExit) {
                                 result.Outcome = "failed";
                                 result.Reason = "crashed";
                                 // On Unix the code of a crashed process is its signal.
                                 result.Signal = exitCode;
                                 Finish(*started, NHX_LOG_ERROR, "crashed");
                             } else {
                                 result.ExitStatus = exitCode;
                                 result.Outcome = exitCode == 0 ? "ok" : "failed";
                                 if (exitCode != 0) {
                                     result.Reason = "exit status " + std::to_string(exitCode);
                                 }
                                 Finish(*started, exitCode == 0 ? NHX_LOG_NOTICE : NHX_LOG_ERROR,
                                        "finished with exit code " + std::to_string(exitCode));
                             }
                             StartQueued();
                         });
                     });
    QObject::connect(process, &QProcess::errorOccurred,
                     [this, started](QProcess::ProcessError error) {
                         // Only a failed start goes without a finished signal. One that fails
                         // inside start() (no descriptors or processes left) is answered by Start
                         // itself.
                         if (error != QProcess::FailedToStart) {
                             return;
                         }
                         const std::string reason = started->Process->errorString().toStdString();
                         if (started->Starting) {
                             started->StartError = reason.empty() ? "unknown error" : reason;
                             return;
                         }
                         RunGuarded([&] {
                             started->Result.Outcome = "not started";
                             started->Result.Reason = reason;
                             started->Result.Started.clear();
                             Finish(*started, NHX_LOG_ERROR, "could not be started: " + reason);
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
    started->Result.Started = IsoNow();
    Log->AddHostNote(NHX_LOG_NOTICE, "Script " + run.Script + " started by " + run.Sender);
    return {};
}

// A queued run that cannot start while others run waits for the next one to end (descriptors
// or processes come free then); with none running, the failure is its own and it is dropped.
void THostEventScripter::StartQueued() {
    while (!Queue.empty() && static_cast<int>(Running.size()) < MaxRunningScripts) {
        const std::string failure =
            Start(Queue.front().Path, Queue.front().Run, Queue.front().Asked);
        if (failure.empty()) {
            Queue.pop_front();
        } else if (!Running.empty()) {
            return;
        } else {
            Log->AddHostNote(NHX_LOG_ERROR, "Script " + Queue.front().Run.Script +
                                                " could not be started: " + failure);
            ReportNotStarted(Queue.front().Run, Queue.front().Asked, failure);
            Queue.pop_front();
        }
    }
}

void THostEventScripter::LogOutput(TProcess& run, bool flushPartialLine) {
    const QByteArray bytes = run.Process->readAllStandardOutput();
    run.Pending.append(bytes.constData(), static_cast<size_t>(bytes.size()));
    std::string& tail = run.Result.OutputTail;
    tail.append(bytes.constData(), static_cast<size_t>(bytes.size()));
    if (tail.size() > MaxOutputTail) {
        tail.erase(0, tail.size() - MaxOutputTail);
    }
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

void THostEventScripter::Finish(TProcess& run, int32_t kind, const std::string& outcome) {
    LogOutput(run, true);
    Log->AddHostNote(kind, "Script " + run.Name + " " + outcome);
    THostScriptResult result = std::move(run.Result);
    Discard(run);
    Report(std::move(result));
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
    (*it)->Process->close();
    Ended.push_back(std::move(*it));
    Running.erase(it);
    if (Ended.size() == 1) {
        QTimer::singleShot(0, &EndedCollector, [this] { Ended.clear(); });
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
