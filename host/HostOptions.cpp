#include "HostOptions.h"

#include <QFile>
#include <QFileInfo>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <map>

namespace {

enum class TOption {
    Module,
    Settings,
    KernelDir,
    Scripts,
    Variables,
    QuitAfter,
    Mqtt,
    MqttPrefix,
    MqttDiscovery,
    MqttButton,
    MqttPasswordFile
};

const std::map<std::string, TOption>& ValueOptions() {
    static const std::map<std::string, TOption> options = {
        {"--module", TOption::Module},
        {"--settings", TOption::Settings},
        {"--kernel-dir", TOption::KernelDir},
        {"--scripts", TOption::Scripts},
        {"--variables", TOption::Variables},
        // The name the option had while the file was only written.
        {"--variables-out", TOption::Variables},
        {"--quit-after", TOption::QuitAfter},
        {"--mqtt", TOption::Mqtt},
        {"--mqtt-prefix", TOption::MqttPrefix},
        {"--mqtt-discovery", TOption::MqttDiscovery},
        {"--mqtt-button", TOption::MqttButton},
        {"--mqtt-password-file", TOption::MqttPasswordFile}};
    return options;
}

double ParseSeconds(const std::string& text) {
    double seconds = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, seconds);
    if (error != std::errc() || stop != end || !std::isfinite(seconds) || seconds < 0 ||
        seconds > 24.0 * 24 * 3600) {
        throw EOptionError("--quit-after needs a number of seconds (0 to 2073600), not \"" + text +
                           "\"");
    }
    return seconds;
}

std::string CheckedPrefix(const std::string& option, const std::string& value) {
    if (!IsTopicPrefix(value)) {
        throw EOptionError(option + " needs an MQTT topic prefix such as \"nhx\" or \"home/nhx\" " +
                           "(no '+', '#', empty levels or leading or trailing '/'), not \"" +
                           value + "\"");
    }
    return value;
}

void Apply(THostOptions& options, TOption option, const std::string& name,
           const std::string& value) {
    if (value.empty()) {
        throw EOptionError(name + " needs a value");
    }
    switch (option) {
        case TOption::Module:
            options.ModulePath = value;
            break;
        case TOption::Settings:
            options.Host.SettingsFile = value;
            break;
        case TOption::KernelDir:
            options.Host.KernelDir = value;
            break;
        case TOption::Scripts:
            options.Host.ScriptsDir = value;
            break;
        case TOption::Variables:
            options.Host.VariablesOut = value;
            break;
        case TOption::QuitAfter:
            options.QuitAfter = ParseSeconds(value);
            break;
        case TOption::Mqtt:
            try {
                ApplyMqttUrl(options.Mqtt, value);
            } catch (const std::invalid_argument& e) {
                throw EOptionError(name + ": " + e.what());
            }
            break;
        case TOption::MqttPrefix:
            options.Mqtt.Prefix = CheckedPrefix(name, value);
            break;
        case TOption::MqttDiscovery:
            options.Mqtt.DiscoveryPrefix = CheckedPrefix(name, value);
            break;
        case TOption::MqttButton:
            options.Mqtt.Buttons.push_back(value);
            break;
        case TOption::MqttPasswordFile:
            options.MqttPasswordFile = value;
            break;
    }
}

}  // namespace

THostOptions ParseHostOptions(const std::vector<std::string>& args) {
    THostOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.Help = true;
            continue;
        }
        if (arg == "--headless") {
            options.Headless = true;
            continue;
        }
        if (arg == "--list-databases") {
            options.ListDatabases = true;
            continue;
        }
        if (ParseHistoryOption(options.History, args, i)) {
            continue;
        }
        if (arg == "--mqtt-commands") {
            options.Mqtt.Commands = true;
            continue;
        }
        // Both "--name value" and "--name=value".
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (name == "--headless" || name == "--help" || name == "--list-databases" ||
            name == "--mqtt-commands") {
            throw EOptionError(name + " takes no value");
        }
        auto it = ValueOptions().find(name);
        if (it == ValueOptions().end()) {
            throw EOptionError(arg.starts_with("-") ? "Unknown option " + name
                                                    : "Unexpected argument \"" + arg + "\"");
        }
        if (equals != std::string::npos) {
            Apply(options, it->second, name, arg.substr(equals + 1));
        } else if (i + 1 < args.size()) {
            Apply(options, it->second, name, args[++i]);
        } else {
            throw EOptionError(name + " needs a value");
        }
    }
    CheckHistoryOptions(options.History);
    const THostMqttOptions plain;
    if (!options.Mqtt.Enabled() &&
        (options.Mqtt.Prefix != plain.Prefix ||
         options.Mqtt.DiscoveryPrefix != plain.DiscoveryPrefix || options.Mqtt.Commands ||
         !options.Mqtt.Buttons.empty() || !options.MqttPasswordFile.empty())) {
        throw EOptionError(
            "--mqtt-prefix, --mqtt-discovery, --mqtt-commands, --mqtt-button and "
            "--mqtt-password-file need --mqtt URL");
    }
    if (!options.Mqtt.Buttons.empty() && !options.Mqtt.Commands) {
        throw EOptionError("--mqtt-button needs --mqtt-commands (a button runs its script)");
    }
    return options;
}

void ResolveMqttPassword(THostOptions& options) {
    const char* environment = std::getenv(MqttPasswordVariable);
    std::string fromEnvironment = environment ? environment : "";
    unsetenv(MqttPasswordVariable);
    if (!options.Mqtt.Enabled()) {
        return;
    }
    if (!options.MqttPasswordFile.empty()) {
        QFile file(QString::fromStdString(options.MqttPasswordFile));
        if (!file.open(QIODevice::ReadOnly)) {
            throw EOptionError("--mqtt-password-file: cannot read " + options.MqttPasswordFile +
                               ": " + file.errorString().toStdString());
        }
        std::string line = file.readLine(4096).toStdString();
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        options.Mqtt.Password = line;
        options.Mqtt.PasswordInUrl = false;
    } else if (!fromEnvironment.empty()) {
        options.Mqtt.Password = fromEnvironment;
        options.Mqtt.PasswordInUrl = false;
    }
    if (!options.Mqtt.Password.empty() && options.Mqtt.User.empty()) {
        throw EOptionError("a broker password needs a user name in the --mqtt URL");
    }
}

std::string HostUsage(const std::string& program) {
    return "Usage: " + program + R"( [options]
A stand-in NHX host: loads a module, registers it, shows its add-ins, instances, the log and
the variables, and runs until the window closes (or --quit-after, or Ctrl+C).

Options:
  --module PATH          the module library (default: ../module/Core.Mondrel.so next to this
                         program)
  --settings FILE        the settings INI file (default: nhx-host.ini in the kernel directory)
  --kernel-dir DIR       the host's base directory given to modules (default: the current
                         directory)
  --scripts DIR          the folder of executable scripts (default: scripts/ in the kernel
                         directory)
  --variables FILE       keep the variables in FILE: read at start, rewritten on every change;
                         one name<TAB>type<TAB>value line each (type 0 or boolean, 3 or
                         string); add lines to declare variables (--variables-out: the same)
  --headless             no window; message boxes and errors go to the log and standard error
  --quit-after SECONDS   quit by itself after that many seconds
  --mqtt URL             publish variables and script runs to an MQTT broker:
                         mqtt://[user@]host[:port], mqtts:// for TLS
  --mqtt-password-file FILE
                         the broker password: the file's first line (or the
                         environment's NHX_MQTT_PASSWORD); never put it in the URL,
                         where ps and the journal show it
  --mqtt-commands        act on PREFIX/variables/NAME/set and PREFIX/scripts/NAME/run:
                         anyone who may publish on the broker can then change
                         variables and run scripts (off by default)
  --mqtt-button NAME     announce the script NAME as a button (with --mqtt-commands;
                         repeatable)
  --mqtt-prefix PREFIX   the topics' prefix (default: nhx)
  --mqtt-discovery PREFIX
                         announce the host as one device for discovery under PREFIX
                         (homeassistant)
)" + HistoryUsage() +
           R"(  --list-databases       print the database of every instance in the settings and the default
                         one, one path a line, and exit
  --help                 this text

The log goes to standard output, one line per entry: time, kind, [sender], text.
)";
}

std::string DefaultModulePath(const std::string& programDir) {
    std::string dir = programDir;
    if (!dir.empty() && dir.back() != '/') {
        dir += '/';
    }
    // The build tree's layout, else the installed one (bin/ and lib/nhx/).
    const std::string built = dir + "../module/Core.Mondrel.so";
    const std::string installed = dir + "../lib/nhx/Core.Mondrel.so";
    return !QFileInfo::exists(QString::fromStdString(built)) &&
                   QFileInfo::exists(QString::fromStdString(installed))
               ? installed
               : built;
}
