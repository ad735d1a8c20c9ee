#include "HostEventScripter.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <algorithm>

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
    } else if (const std::string path = ResolveScript(run.Script); path.empty()) {
        Log->AddHostNote(NHX_LOG_ERROR, "Script not in the scripts folder: " + run.Script);
        run.Result = E_FAIL;
    } else if (static_cast<int>(Running.size()) < MaxRunningScripts && Queue.empty()) {
        std::string failure = "the error reported";
        RunGuarded([&] { failure = Start(path, run); });
        if (!failure.empty()) {
            Log->AddHostNote(NHX_LOG_ERROR,
                             "Script " + run.Script + " could not be started: " + failure);
            run.Result = E_FAIL;
        }
    } else {
        Queue.push_back(TQueuedRun{path, run});
        Log->AddHostNote(NHX_LOG_NOTICE,
                         "Script " + run.Script + " queued: " + std::to_string(Running.size()) +
                             " scripts running, " + std::to_string(Queue.size()) + " waiting");
    }
    if (Publisher && NHXSucceeded(run.Result) && !IsPublishedScript(run.Script)) {
        RunGuarded([&] { Publisher(run); });
    }
    RunRecords.push_back(run);
    KeepLast(RunRecords);
    return run.Result;
}

std::string THostEventScripter::Start(const std::string& path, const THostScriptRun& run) {
    auto entry = std::make_unique<TProcess>();
    entry->Process = std::make_unique<QProcess>();
    entry->Name = run.Script;
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
                             if (status == QProcess::CrashExit) {
                                 Finish(*started, NHX_LOG_ERROR, "crashed");
                             } else {
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
    Log->AddHostNote(NHX_LOG_NOTICE, "Script " + run.Script + " started by " + run.Sender);
    return {};
}

// A queued run that cannot start while others run waits for the next one to end (descriptors
// or processes come free then); with none running, the failure is its own and it is dropped.
void THostEventScripter::StartQueued() {
    while (!Queue.empty() && static_cast<int>(Running.size()) < MaxRunningScripts) {
        const std::string failure = Start(Queue.front().Path, Queue.front().Run);
        if (failure.empty()) {
            Queue.pop_front();
        } else if (!Running.empty()) {
            return;
        } else {
            Log->AddHostNote(NHX_LOG_ERROR, "Script " + Queue.front().Run.Script +
                                                " could not be started: " + failure);
            Queue.pop_front();
        }
    }
}

void THostEventScripter::LogOutput(TProcess& run, bool flushPartialLine) {
    const QByteArray bytes = run.Process->readAllStandardOutput();
    run.Pending.append(bytes.constData(), static_cast<size_t>(bytes.size()));
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
