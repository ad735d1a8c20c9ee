// nhx-host: a stand-in NHX host. Loads a module, registers it, runs the event loop with or without
// a window (and with an MQTT bridge when asked), and on exit releases the instances (closing their
// pages first), unregisters and unloads. The log goes to standard output.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>

#include "HostMqttBridge.h"
#include "HostOptions.h"
#include "HostSelectorDialog.h"
#include "HostStderrTee.h"
#include "HostWindow.h"
#include "MessageBox.h"
#include "NHXHost.h"
#include "SignalQuitter.h"
#include "widgets/QtMessageBox.h"

namespace {

constexpr int ExitBadOptions = 2;
constexpr int ExitNoModule = 1;

bool HaveDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

std::string ProgramDir(const char* argv0) {
    // /proc/self/exe names the program even when it was started through $PATH.
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    const QString exe = self.exists() ? self.canonicalFilePath() : QString::fromLocal8Bit(argv0);
    return QFileInfo(exe).absolutePath().toStdString();
}

void CheckDirectory(const std::string& option, const std::string& dir) {
    if (!dir.empty() && !QFileInfo(QString::fromStdString(dir)).isDir()) {
        throw EOptionError(option + ": no such directory: " + dir);
    }
}

// The window's selector: a list of the host's variables (of the asked types) or scripts.
void InstallSelectorDialog(TNHXHost& host, QWidget* parent) {
    host.Selector().SetChooser([&host, parent](THostSelectKind kind, uint8_t types) {
        std::vector<std::string> items;
        if (kind == THostSelectKind::Script) {
            items = host.Scripter().ListScripts();
            return THostSelectorDialog::Choose(parent, QObject::tr("Select a script"), items);
        }
        for (const THostVariable& v : host.Variables().Variables()) {
            // A type set of 0 asks for every type.
            if (types == 0 || (v.TypeCode < 8 && (types & (1u << v.TypeCode)))) {
                items.push_back(v.Name);
            }
        }
        return THostSelectorDialog::Choose(parent, QObject::tr("Select a variable"), items);
    });
}

// The database of every instance the settings name, then the default one (where an instance
// without a setting keeps it), each once; relative paths as the module would open them.
int ListDatabases(const TNHXHostOptions& options) {
    TNHXHost host(options);
    std::vector<std::string> paths;
    const auto add = [&paths](const std::string& path) {
        if (path.empty()) {
            return;
        }
        const std::string absolute =
            QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString();
        if (std::find(paths.begin(), paths.end(), absolute) == paths.end()) {
            paths.push_back(absolute);
        }
    };
    // One path a line: a path that holds a line break would be read as two, so it is named
    // (escaped) on standard error instead, as is a section whose number is no instance's.
    for (const std::string& section : host.Settings().UnusableInstanceSections()) {
        std::cerr << "nhx-host: [" << section << "] ignored: instance numbers run from 0 to 65535"
                  << std::endl;
    }
    for (uint16_t instance : host.Settings().Instances()) {
        const std::string path =
            host.Settings().Value(instance, {"Settings"}, "Database").value_or(std::string());
        if (path.find_first_of("\r\n") != std::string::npos) {
            std::string shown = path;
            for (size_t at; (at = shown.find_first_of("\r\n")) != std::string::npos;) {
                shown.replace(at, 1, shown[at] == '\n' ? "\\n" : "\\r");
            }
            std::cerr << "nhx-host: the database of [Instance" << instance
                      << "] holds a line break and is skipped: " << shown << std::endl;
            continue;
        }
        add(path);
    }
    add(host.KernelDir() + "Database/Mondrel.sdb");
    for (const std::string& path : paths) {
        std::cout << path << '\n';
    }
    return 0;
}

std::string AbsoluteKernelDir(const std::string& dir) {
    const QString path = dir.empty() ? QDir::currentPath() : QString::fromStdString(dir);
    return QFileInfo(path).absoluteFilePath().toStdString() + "/";
}

int Run(THostOptions options, const char* argv0) {
    CheckDirectory("--kernel-dir", options.Host.KernelDir);
    if (options.ListDatabases) {
        return ListDatabases(options.Host);
    }
    const std::string historyFile =
        HistoryFile(options.History, AbsoluteKernelDir(options.Host.KernelDir));
    if (options.History.Show) {
        return ShowHistory(historyFile, options.History, std::cout, std::cerr);
    }
    options.Host.HistoryFile = historyFile;
    options.Host.HistoryDays = options.History.Days;
    options.Host.ScriptTimeoutSeconds = options.History.ScriptTimeoutSeconds;
    if (!options.Headless && !HaveDisplay()) {
        throw EOptionError("no display to show the window on; use --headless");
    }
    if (options.Headless) {
        // Widgets still work (a module may build its page), but nothing is shown and message
        // boxes are written to standard error instead of waiting for an answer.
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Before the first thread (Qt's, the MQTT bridge's) starts: every thread inherits it.
    BlockQuitSignals();
    int argc = 1;
    char name[] = "nhx-host";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    InstallQtMessageBoxPresenter();
    TSignalQuitter quitter;

    const std::string modulePath =
        options.ModulePath.empty() ? DefaultModulePath(ProgramDir(argv0)) : options.ModulePath;

    TNHXHost host(options.Host);
    host.Log().AddListener(
        [](const THostLogEntry& entry) { std::cout << THostLog::FormatEntry(entry) << std::endl; });
    for (const THostLogEntry& entry : host.Log().Entries()) {
        std::cout << THostLog::FormatEntry(entry) << std::endl;
    }
    // Headless, message boxes and error reports (the module's too) reach the log.
    std::unique_ptr<THostStderrTee> tee;
    if (options.Headless) {
        tee = std::make_unique<THostStderrTee>(host.SharedLog());
    }
    // Destroyed before the host: it stops listening to the host's variables and scripts.
    std::unique_ptr<THostMqttBridge> bridge;
    if (options.Mqtt.Enabled()) {
        bridge = std::make_unique<THostMqttBridge>(options.Mqtt, host.SharedLog());
        bridge->Attach(host.Variables(), host.Scripter());
        bridge->Start();
    }
    if (!QFileInfo(QString::fromStdString(host.Scripter().ScriptsDir())).isDir()) {
        host.Log().AddHostNote(
            NHX_LOG_ERROR, "The scripts folder does not exist: " + host.Scripter().ScriptsDir());
    }

    try {
        host.LoadModule(modulePath);
    } catch (const EModuleLoadError& e) {
        std::cerr << "nhx-host: " << e.what() << std::endl;
        return ExitNoModule;
    }

    if (bridge) {
        // Each instance of the module gets its own event entity.
        host.Instances().AddCreatedListener([&bridge, &host](const THostInstance& instance) {
            if (bridge && instance.ModuleID == host.Module().Info().ModuleID) {
                bridge->AddInstance(instance.Number);
            }
        });
    }

    std::unique_ptr<THostWindow> window;
    if (!options.Headless) {
        window = std::make_unique<THostWindow>(host);
        InstallSelectorDialog(host, window.get());
        window->show();
    }
    host.RegisterModule();
    host.CreateSettingsInstances();

    if (options.QuitAfter) {
        QTimer::singleShot(static_cast<int>(*options.QuitAfter * 1000), &application,
                           &QCoreApplication::quit);
    }
    application.exec();

    host.Selector().SetChooser({});
    window.reset();
    host.Shutdown();
    // Running scripts get their time to end; queued runs stay in the history for the next start.
    host.Scripter().Stop(ScriptKillGraceMs);
    bridge.reset();
    tee.reset();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    THostOptions options;
    try {
        options = ParseHostOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const EOptionError& e) {
        std::cerr << "nhx-host: " << e.what() << "\nTry 'nhx-host --help'." << std::endl;
        return ExitBadOptions;
    }
    if (options.Help) {
        std::cout << HostUsage("nhx-host");
        return 0;
    }
    try {
        ResolveMqttPassword(options);
        return Run(options, argv[0]);
    } catch (const EOptionError& e) {
        std::cerr << "nhx-host: " << e.what() << std::endl;
        return ExitBadOptions;
    } catch (const EVariablesFileError& e) {
        std::cerr << "nhx-host: " << e.what() << std::endl;
        return ExitBadOptions;
    } catch (const std::exception& e) {
        std::cerr << "nhx-host: " << e.what() << std::endl;
        return ExitNoModule;
    }
}
