// The command line of nhx-host.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "HostHistoryCommand.h"
#include "HostMqttBridge.h"
#include "NHXHost.h"

// A command line that cannot be used; the message says why.
class EOptionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The environment variable that may hold the broker password.
inline constexpr const char* MqttPasswordVariable = "NHX_MQTT_PASSWORD";

struct THostOptions {
    // Empty: the built module next to the program (../module/Core.Mondrel.so).
    std::string ModulePath;
    TNHXHostOptions Host;
    bool Headless = false;
    // The MQTT bridge; without --mqtt (an empty broker host) there is none.
    THostMqttOptions Mqtt;
    // The file holding the broker password (its first line).
    std::string MqttPasswordFile;
    // Print the database of every instance named in the settings, and the default one, then exit.
    bool ListDatabases = false;
    // The run history and the script time-out; --show-history prints the history and exits.
    THostHistoryOptions History;
    // Seconds until the program quits by itself; none: run until the window closes or a signal.
    std::optional<double> QuitAfter;
    bool Help = false;
};

// Parses the arguments after the program name; raises EOptionError.
THostOptions ParseHostOptions(const std::vector<std::string>& args);

// The broker password from the password file, else from NHX_MQTT_PASSWORD (which is then
// removed from the environment, so scripts do not inherit it), else the URL's; raises
// EOptionError when the file cannot be read.
void ResolveMqttPassword(THostOptions& options);

// The --help text.
std::string HostUsage(const std::string& program);

// The module used without --module: ../module/Core.Mondrel.so relative to the program's folder
// (the build tree), or ../lib/nhx/Core.Mondrel.so where only that exists (installed).
std::string DefaultModulePath(const std::string& programDir);
