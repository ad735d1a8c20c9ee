// The command line of nhx-host.
#include <gtest/gtest.h>

#include "HostOptions.h"

namespace {

std::string ErrorOf(const std::vector<std::string>& args) {
    try {
        ParseHostOptions(args);
    } catch (const EOptionError& e) {
        return e.what();
    }
    return "(accepted)";
}

}  // namespace

TEST(HostOptions, EveryOptionInBothForms) {
    const THostOptions options =
        ParseHostOptions({"--module", "m.so", "--settings=s.ini", "--kernel-dir", "/k", "--scripts",
                          "/k/s", "--variables-out=v.tsv", "--headless", "--quit-after", "2.5"});
    EXPECT_EQ(options.ModulePath, "m.so");
    EXPECT_EQ(options.Host.SettingsFile, "s.ini");
    EXPECT_EQ(options.Host.KernelDir, "/k");
    EXPECT_EQ(options.Host.ScriptsDir, "/k/s");
    EXPECT_EQ(options.Host.VariablesOut, "v.tsv");
    EXPECT_TRUE(options.Headless);
    EXPECT_EQ(options.QuitAfter, 2.5);
    EXPECT_FALSE(options.Help);

    const THostOptions defaults = ParseHostOptions({});
    EXPECT_TRUE(defaults.ModulePath.empty());
    EXPECT_FALSE(defaults.Headless);
    EXPECT_FALSE(defaults.QuitAfter);
    EXPECT_TRUE(ParseHostOptions({"-h"}).Help);
}

TEST(HostOptions, BadCommandLinesSayWhatIsWrong) {
    EXPECT_EQ(ErrorOf({"--bogus"}), "Unknown option --bogus");
    EXPECT_EQ(ErrorOf({"stray"}), "Unexpected argument \"stray\"");
    EXPECT_EQ(ErrorOf({"--module"}), "--module needs a value");
    EXPECT_EQ(ErrorOf({"--module="}), "--module needs a value");
    EXPECT_EQ(ErrorOf({"--headless=yes"}), "--headless takes no value");
    for (const std::string bad : {"soon", "-1", "1e99", "nan", "2s", ""}) {
        EXPECT_NE(ErrorOf({"--quit-after", bad}).find("--quit-after needs"), std::string::npos)
            << bad;
    }
    EXPECT_EQ(ErrorOf({"--quit-after", "0"}), "(accepted)");
}

TEST(HostOptions, DefaultModuleLiesNextToTheProgram) {
    EXPECT_EQ(DefaultModulePath("/b/host"), "/b/host/../module/Core.Mondrel.so");
    EXPECT_NE(HostUsage("nhx-host").find("--variables FILE"), std::string::npos);
}

TEST(HostOptions, VariablesAndMqtt) {
    EXPECT_EQ(ParseHostOptions({"--variables", "v.tsv"}).Host.VariablesOut, "v.tsv");
    EXPECT_FALSE(ParseHostOptions({}).Mqtt.Enabled());

    const THostMqttOptions plain =
        ParseHostOptions({"--mqtt", "mqtt://broker.local", "--mqtt-prefix", "home/nhx"}).Mqtt;
    EXPECT_EQ(plain.Host, "broker.local");
    EXPECT_EQ(plain.Port, 1883);
    EXPECT_FALSE(plain.Tls);
    EXPECT_TRUE(plain.User.empty());
    EXPECT_EQ(plain.Prefix, "home/nhx");

    const THostMqttOptions secure = ParseHostOptions({"--mqtt=mqtts://me:p%40ss@[::1]:9999/",
                                                      "--mqtt-discovery", "homeassistant"})
                                        .Mqtt;
    EXPECT_EQ(secure.Host, "::1");
    EXPECT_EQ(secure.Port, 9999);
    EXPECT_TRUE(secure.Tls);
    EXPECT_EQ(secure.User, "me");
    EXPECT_EQ(secure.Password, "p@ss");
    EXPECT_EQ(secure.Prefix, "nhx");
    EXPECT_EQ(secure.DiscoveryPrefix, "homeassistant");
    EXPECT_EQ(ParseHostOptions({"--mqtt", "mqtts://h"}).Mqtt.Port, 8883);

    for (const std::string bad : {"broker", "http://h", "mqtt://", "mqtt://h:0", "mqtt://h:70000",
                                  "mqtt://h/topic", "mqtt://h?x=1", "mqtt://:pw@h"}) {
        EXPECT_EQ(ErrorOf({"--mqtt", bad}).rfind("--mqtt: ", 0), 0u) << bad;
    }
    for (const std::string bad : {"a/+", "#", "/nhx", "nhx/", "a//b"}) {
        EXPECT_EQ(
            ErrorOf({"--mqtt", "mqtt://h", "--mqtt-prefix", bad}).rfind("--mqtt-prefix needs", 0),
            0u)
            << bad;
    }
    EXPECT_EQ(
        ErrorOf({"--mqtt-commands"}).rfind("--mqtt-prefix, --mqtt-discovery, --mqtt-commands", 0),
        0u);
    EXPECT_EQ(ErrorOf({"--mqtt", "mqtt://h", "--mqtt-button", "a.sh"}),
              "--mqtt-button needs --mqtt-commands (a button runs its script)");
    EXPECT_EQ(ErrorOf({"--mqtt", "mqtt://u:secret@h/x"}).find("secret"), std::string::npos);
}
