#include "HostEventScripter.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <algorithm>

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

// A script still running when the host goes is stopped (QProcess kills it on destruction).
THostEventScripter::~THostEventScripter() = default;

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
    const std::string path = ResolveScript(name);
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
    const std::string path = ResolveScript(run.Script);
    if (path.empty()) {
        Log->AddHostNote(NHX_LOG_ERROR, "Script not in the scripts folder: " + run.Script);
        run.Result = E_FAIL;
    } else {
        RunGuarded([&] { Start(path, run); });
    }
    RunRecords.push_back(run);
    return run.Result;
}

void THostEventScripter::Start(const std::string& path, const THostScriptRun& run) {
    Ended.clear();
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
                         });
                     });
    QObject::connect(
        process, &QProcess::errorOccurred, [this, started](QProcess::ProcessError error) {
            // Only a failed start goes without a finished signal.
            if (error == QProcess::FailedToStart) {
                RunGuarded([&] {
                    Finish(
                        *started, NHX_LOG_ERROR,
                        "could not be started: " + started->Process->errorString().toStdString());
                });
            }
        });

    Running.push_back(std::move(entry));
    Log->AddHostNote(NHX_LOG_NOTICE, "Script " + run.Script + " started by " + run.Sender);
    process->start();
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
    auto it = std::find_if(Running.begin(), Running.end(),
                           [&run](const auto& entry) { return entry.get() == &run; });
    if (it != Running.end()) {
        Ended.push_back(std::move(*it));
        Running.erase(it);
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
    while (!Running.empty() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return Running.empty();
}
