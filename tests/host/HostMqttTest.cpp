// The MQTT bridge against a real broker started by the test on 127.0.0.1.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <set>

#include "HostInstanceServices.h"
#include "HostMqttBridge.h"
#include "HostRunHistory.h"
#include "MqttBroker.h"

namespace {

bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    QCoreApplication::processEvents();
    return done();
}

int CountLogged(const TNHXHost& host, const std::string& start) {
    const auto& entries = host.Log().Entries();
    return static_cast<int>(std::count_if(entries.begin(), entries.end(), [&start](const auto& e) {
        return e.Text.rfind(start, 0) == 0;
    }));
}

QJsonObject JsonObject(const std::string& text) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    return document.object();
}

// Through the host's scripter, or through the view of it a module instance has.
NHXResult RunWithParameters(TNHXHost& host, const std::string& script,
                            INHXEventScripter* through = nullptr) {
    auto scripter = through ? TNHXInterfacePtr<INHXEventScripter>::Share(through)
                            : NHXQuery<INHXEventScripter>(host.Kernel(), IID_INHXEventScripter);
    const char* names[] = {"Mondrel_Discription", "Mondrel_Value"};
    const char* values[] = {"Wake \"up\"", "30%"};
    TNHXVariablesRef variables = TNHXVariablesRef::Adopt(NHXVariablesNew(2));
    for (uint32_t i = 0; i < 2; ++i) {
        variables[i].Name = NHXTextNew(names[i]);
        variables[i].ValueText = NHXTextNew(values[i]);
    }
    TNHXScriptParams params{};
    params.Variables = variables.Get();
    TNHXTextRef name(script);
    TNHXTextRef sender("Mondrel");
    return scripter->RunScript(name.Get(), sender.Get(), 0, &params, 0);
}

std::vector<THostRunRecord> AllRuns(THostRunHistory& history) {
    return history.List({});
}

class HostMqtt : public HostTest {
  protected:
    void SetUp() override {
        HostTest::SetUp();
        if (!TMqttBroker::Installed()) {
            GTEST_SKIP() << "mosquitto and mosquitto_sub are not installed (scripts/setup)";
        }
        Broker = std::make_unique<TMqttBroker>(KernelDir());
    }
    THostMqttOptions BridgeOptions() const {
        THostMqttOptions options;
        options.Host = "127.0.0.1";
        options.Port = Broker->Port;
        return options;
    }

    std::unique_ptr<TMqttBroker> Broker;
};

}  // namespace

TEST_F(HostMqtt, VariablesScriptRunsAndDiscoveryReachTheBroker) {
    ASSERT_TRUE(Broker->Start());
    WriteScript("show.sh", "exit 0\n");
    TNHXHost host(Options());
    host.Variables().PreCreate("Vacation", NHX_VAR_BOOLEAN, "true");
    host.Variables().PreCreate("Mondrel_TriggerValue", NHX_VAR_STRING, "Feed the cat");
    THostMqttOptions options = BridgeOptions();
    options.DiscoveryPrefix = "homeassistant";
    THostMqttBridge bridge(options, host.SharedLog());
    bridge.Attach(host.Variables(), host.Scripter());
    bridge.Start();
    ASSERT_TRUE(WaitUntil([&] { return bridge.Connected(); }));
    host.Variables().PreCreate("Odd/name+", NHX_VAR_STRING, "x");
    host.Variables().PreCreate("Odd_name_", NHX_VAR_STRING, "");
    // The write reaches the broker on the bridge's next turn of its loop: wait until it has, by
    // listening from before the write (the first value seen proves the subscription is there).
    TMqttSubscriber trigger(Broker->Port, {"nhx/variables/Mondrel_TriggerValue"}, 2);
    ASSERT_TRUE(trigger.WaitForFirstLine());
    auto variables = NHXQuery<INHXVariableManager>(host.Kernel(), IID_INHXVariableManager);
    TNHXTextRef name("Mondrel_TriggerValue");
    TNHXTextRef dog("Feed the dog");
    variables->WriteString(name.Get(), dog.Get());
    ASSERT_EQ(trigger.Lines(),
              (std::vector<std::string>{"nhx/variables/Mondrel_TriggerValue Feed the cat",
                                        "nhx/variables/Mondrel_TriggerValue Feed the dog"}));

    // Names that cannot be levels are encoded one-to-one; an empty value is not a clearing.
    TMqttSubscriber state(Broker->Port, {"nhx/variables/#", "nhx/status"}, 5);
    EXPECT_EQ(state.Messages(), (std::map<std::string, std::string>{
                                    {"nhx/status", "online"},
                                    {"nhx/variables/Vacation", "true"},
                                    {"nhx/variables/Mondrel_TriggerValue", "Feed the dog"},
                                    {"nhx/variables/Odd%2Fname%2B", "x"},
                                    {"nhx/variables/Odd_name_", "\"\""}}));
    EXPECT_EQ(CountLogged(host, "MQTT: the name \"Odd%2Fname%2B\" (encoded)"), 1);

    TMqttSubscriber runs(Broker->Port, {"nhx/status", "nhx/scripts/#"}, 3);
    ASSERT_TRUE(runs.WaitForFirstLine());
    EXPECT_EQ(RunWithParameters(host, "show.sh"), S_OK);
    EXPECT_EQ(RunWithParameters(host, "mqtt/lights/on"), S_OK);
    const auto published = runs.Messages();
    ASSERT_EQ(published.count("nhx/scripts/show.sh"), 1u);
    ASSERT_EQ(published.count("nhx/scripts/lights/on"), 1u);
    const std::string json = published.at("nhx/scripts/lights/on");
    const QJsonObject run = JsonObject(json);
    EXPECT_EQ(run["sender"].toString(), "Mondrel");
    EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$)")
                    .match(run["time"].toString())
                    .hasMatch())
        << json;
    EXPECT_EQ(run["parameters"].toObject()["Mondrel_Discription"].toString(), "Wake \"up\"");
    EXPECT_LT(json.find("Mondrel_Discription"), json.find("Mondrel_Value")) << "the order given";
    EXPECT_EQ(JsonObject(published.at("nhx/scripts/show.sh"))["parameters"], run["parameters"]);
    EXPECT_TRUE(host.Scripter().WaitForScripts(20000));
}

// A broker down at start, then up, then gone and back: the host runs on, logs each loss once, and
// the returning broker (which kept nothing) gets the whole state again.
TEST_F(HostMqtt, BrokerAwayAtStartOrLaterIsRetriedAndGetsTheStateAgain) {
    TNHXHost host(Options());
    host.Variables().PreCreate("Vacation", NHX_VAR_BOOLEAN, "false");
    auto owned = std::make_unique<THostMqttBridge>(BridgeOptions(), host.SharedLog());
    THostMqttBridge& bridge = *owned;
    bridge.Attach(host.Variables(), host.Scripter());
    bridge.Start();
    const std::string address = "127.0.0.1:" + std::to_string(Broker->Port);
    ASSERT_TRUE(WaitUntil([&] { return CountLogged(host, "MQTT: cannot reach") > 0; }));
    EXPECT_FALSE(bridge.Connected());

    ASSERT_TRUE(Broker->Start());
    ASSERT_TRUE(WaitUntil([&] { return bridge.Connected(); }));
    Broker->Stop();
    ASSERT_TRUE(WaitUntil([&] { return !bridge.Connected(); }));
    host.Variables().PreCreate("Vacation", NHX_VAR_BOOLEAN, "true");
    EXPECT_EQ(RunWithParameters(host, "mqtt/while/away"), S_OK);
    // Several attempts fail meanwhile.
    QThread::msleep(1500);
    ASSERT_TRUE(Broker->Start());
    // Listening before the bridge is back (it waits seconds between attempts by now).
    TMqttSubscriber state(Broker->Port, {"nhx/variables/#", "nhx/status", "nhx/scripts/#"}, 3);
    ASSERT_TRUE(WaitUntil([&] { return bridge.Connected(); }, 40000));
    const auto messages = state.Messages();
    EXPECT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages.count("nhx/scripts/while/away"), 1u) << "the run made while away";
    EXPECT_EQ(messages.at("nhx/status"), "online");
    EXPECT_EQ(messages.at("nhx/variables/Vacation"), "true");
    WaitUntil([&] { return CountLogged(host, "MQTT: connected to " + address) == 2; });
    EXPECT_EQ(CountLogged(host, "MQTT: cannot reach the broker at " + address), 1);
    EXPECT_EQ(CountLogged(host, "MQTT: lost the connection to the broker at " + address), 1);
    EXPECT_EQ(CountLogged(host, "MQTT: connected to " + address), 2);

    // A host that stops says so itself.
    owned.reset();
    TMqttSubscriber status(Broker->Port, {"nhx/status"}, 1);
    EXPECT_EQ(status.Lines(), std::vector<std::string>{"nhx/status offline"});
}

TEST_F(HostMqtt, RefusedCredentialsAreLoggedOnceAndTheHostRunsOn) {
    TMqttBroker strict(KernelDir() + "strict-", false);
    ASSERT_TRUE(strict.Start());
    TNHXHost host(Options());
    THostMqttOptions options = BridgeOptions();
    options.Port = strict.Port;
    options.User = "nhx";
    options.Password = "wrong";
    THostMqttBridge bridge(options, host.SharedLog());
    bridge.Attach(host.Variables(), host.Scripter());
    bridge.Start();
    // Refused at once, then again after 1 and 2 seconds.
    WaitUntil([] { return false; }, 3500);
    EXPECT_FALSE(bridge.Connected());
    EXPECT_EQ(CountLogged(host, "MQTT: the broker at 127.0.0.1:" + std::to_string(strict.Port) +
                                    " refused the connection: Connection Refused: not authorised"),
              1);
    EXPECT_EQ(CountLogged(host, "MQTT: "), 1);
}

namespace {

// A certificate authority of the test's own and a certificate it signed for localhost, made with
// the openssl program; answers false when that is missing.
bool MakeCertificates(const std::string& dir) {
    const QString script = QStringLiteral(
        "set -e\n"
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
        "-subj /CN=nhx-test-ca -keyout ca.key -out ca.pem\n"
        "openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
        "-subj /CN=localhost -keyout server.key -out server.csr\n"
        "printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\\n' > san.ext\n"
        "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 "
        "-extfile san.ext -out server.pem\n");
    QProcess openssl;
    openssl.setWorkingDirectory(QString::fromStdString(dir));
    openssl.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script});
    return openssl.waitForFinished(30000) && openssl.exitStatus() == QProcess::NormalExit &&
           openssl.exitCode() == 0;
}

// Sets an environment variable for the scope.
class TScopedEnvironment {
  public:
    TScopedEnvironment(const char* name, const std::string& value) : Name(name) {
        setenv(name, value.c_str(), 1);
    }
    ~TScopedEnvironment() { unsetenv(Name); }

  private:
    const char* Name;
};

}  // namespace

// mqtts:// checks the broker's certificate against the system's authorities (OpenSSL's defaults,
// which SSL_CERT_FILE extends): a broker signed by an unknown authority is refused, a trusted one
// gets the state.
TEST_F(HostMqtt, TlsConnectsOnlyToABrokerTheSystemTrusts) {
    if (TMqttBroker::FindProgram(QStringLiteral("openssl")).isEmpty()) {
        GTEST_SKIP() << "openssl is not installed (scripts/setup)";
    }
    ASSERT_TRUE(MakeCertificates(KernelDir()));
    const int tlsPort =
        Broker->AddTlsListener(KernelDir() + "server.pem", KernelDir() + "server.key");
    ASSERT_TRUE(Broker->Start());
    ASSERT_TRUE(WaitUntil([&] { return PortAccepts(tlsPort); }));
    TNHXHost host(Options());
    host.Variables().PreCreate("Vacation", NHX_VAR_BOOLEAN, "true");
    THostMqttOptions options = BridgeOptions();
    options.Host = "localhost";
    options.Port = tlsPort;
    options.Tls = true;
    {
        THostMqttBridge untrusting(options, host.SharedLog());
        untrusting.Attach(host.Variables(), host.Scripter());
        untrusting.Start();
        const std::string refused =
            "MQTT: cannot reach the broker at localhost:" + std::to_string(tlsPort) +
            ": A TLS error occurred";
        ASSERT_TRUE(WaitUntil([&] { return CountLogged(host, refused) > 0; }));
        EXPECT_FALSE(untrusting.Connected());
    }
    TScopedEnvironment trust("SSL_CERT_FILE", KernelDir() + "ca.pem");
    THostMqttBridge bridge(options, host.SharedLog());
    bridge.Attach(host.Variables(), host.Scripter());
    bridge.Start();
    ASSERT_TRUE(WaitUntil([&] { return bridge.Connected(); }));
    TMqttSubscriber state(Broker->Port, {"nhx/variables/#"}, 1);
    EXPECT_EQ(state.Messages(),
              (std::map<std::string, std::string>{{"nhx/variables/Vacation", "true"}}));
}

namespace {

// mosquitto_pub: one message, retained or not.
void PublishTo(int port, const std::string& topic, const std::string& payload,
               bool retain = false) {
    QStringList args{"-h", "127.0.0.1",
                     "-p", QString::number(port),
                     "-t", QString::fromStdString(topic),
                     "-m", QString::fromStdString(payload)};
    if (retain) {
        args << "-r";
    }
    QProcess publisher;
    publisher.start(TMqttBroker::FindProgram(QStringLiteral("mosquitto_pub")), args);
    ASSERT_TRUE(publisher.waitForFinished(10000));
    ASSERT_EQ(publisher.exitCode(), 0);
}

// The options each platform cannot do without (the home system's MQTT documentation).
void ExpectRequiredFields(const QJsonObject& device) {
    EXPECT_FALSE(device["dev"].toObject()["ids"].toArray().isEmpty());
    EXPECT_FALSE(device["dev"].toObject()["mf"].toString().isEmpty());
    EXPECT_FALSE(device["dev"].toObject()["sw"].toString().isEmpty());
    EXPECT_FALSE(device["o"].toObject()["name"].toString().isEmpty());
    const std::map<QString, std::vector<QString>> required = {
        {"binary_sensor", {"state_topic"}}, {"sensor", {"state_topic"}},
        {"switch", {"command_topic"}},      {"text", {"command_topic"}},
        {"button", {"command_topic"}},      {"event", {"state_topic", "event_types"}}};
    std::set<QString> ids;
    const QJsonObject components = device["cmps"].toObject();
    for (auto it = components.begin(); it != components.end(); ++it) {
        const QJsonObject component = it.value().toObject();
        const QString platform = component["p"].toString();
        ASSERT_EQ(required.count(platform), 1u) << platform.toStdString();
        EXPECT_TRUE(ids.insert(component["unique_id"].toString()).second) << it.key().toStdString();
        EXPECT_FALSE(component["unique_id"].toString().isEmpty());
        for (const QString& field : required.at(platform)) {
            EXPECT_TRUE(component.contains(field))
                << it.key().toStdString() << " " << field.toStdString();
        }
    }
}

std::map<QString, QString> Platforms(const QJsonObject& device) {
    std::map<QString, QString> platforms;
    const QJsonObject components = device["cmps"].toObject();
    for (auto it = components.begin(); it != components.end(); ++it) {
        platforms[it.key()] = it.value().toObject()["p"].toString();
    }
    return platforms;
}

}  // namespace

TEST_F(HostMqtt, DiscoveryIsOneDeviceSentAgainWhenTheHomeSystemIsOnline) {
    ASSERT_TRUE(Broker->Start());
    TNHXHost host(Options());
    host.Variables().PreCreate("Vacation", NHX_VAR_BOOLEAN, "true");
    host.Variables().PreCreate("a/b", NHX_VAR_STRING, "x");
    host.Variables().PreCreate("a_b", NHX_VAR_STRING, "y");
    THostMqttOptions options = BridgeOptions();
    options.DiscoveryPrefix = "homeassistant";
    options.Commands = true;
    options.Buttons = {"lights.sh"};
    THostMqttBridge bridge(options, host.SharedLog());
    bridge.Attach(host.Variables(), host.Scripter());
    bridge.AddInstance(1);
    bridge.Start();
    ASSERT_TRUE(WaitUntil([&] { return bridge.Connected(); }));

    TMqttSubscriber retained(Broker->Port, {"homeassistant/#"}, 1);
    const auto announced = retained.Messages();
    ASSERT_EQ(announced.count("homeassistant/device/nhx/config"), 1u);
    const QJsonObject device = JsonObject(announced.at("homeassistant/device/nhx/config"));
    ExpectRequiredFields(device);
    EXPECT_EQ(Platforms(device), (std::map<QString, QString>{{"var_Vacation", "switch"},
                                                             {"var_a_252Fb", "text"},
                                                             {"var_a_5Fb", "text"},
                                                             {"button_lights_2Esh", "button"},
                                                             {"runs", "event"},
                                                             {"runs_1", "event"}}));
    const QJsonObject cmps = device["cmps"].toObject();
    EXPECT_EQ(cmps["var_a_252Fb"].toObject()["state_topic"].toString(), "nhx/variables/a%2Fb");
    EXPECT_EQ(cmps["var_Vacation"].toObject()["command_topic"].toString(),
              "nhx/variables/Vacation/set");
    EXPECT_EQ(cmps["runs"].toObject()["event_types"].toArray(),
              (QJsonArray{"ok", "failed", "not started", "timed out"}));
    EXPECT_EQ(cmps["runs_1"].toObject()["state_topic"].toString(), "nhx/instances/1/event");

    // The home system restarted: the device and the state come again, not retained.
    TMqttSubscriber again(Broker->Port, {"homeassistant/device/#", "nhx/variables/Vacation"}, 4);
    ASSERT_TRUE(again.WaitForFirstLine());
    PublishTo(Broker->Port, "homeassistant/status", "online");
    const std::vector<std::string> lines = again.Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2].rfind("homeassistant/device/nhx/config {", 0), 0u) << lines[2];
    EXPECT_EQ(lines[3], "nhx/variables/Vacation true");
}

TEST_F(HostMqtt, EveryRunsOutcomeIsPublishedAsAResult) {
    ASSERT_TRUE(Broker->Start());
    WriteScript("ok.sh", "echo fine\n");
    WriteScript("fail.sh", "echo broken; exit 3\n");
    TNHXHost host(Options());
    THostMqttBridge bridge(BridgeOptions(), host.SharedLog());
    bridge.Attach(host.Variables(), host.Scripter());
    bridge.Start();
    ASSERT_TRUE(WaitUntil([&] { return bridge.Connected(); }));
    TMqttSubscriber results(
        Broker->Port, {"nhx/status", "nhx/scripts/+/result", "nhx/event", "nhx/instances/+/event"},
        8);
    ASSERT_TRUE(results.WaitForFirstLine());
    auto instance2 = TNHXInterfacePtr<THostInstanceScripter>::Adopt(
        new THostInstanceScripter(host.Scripter(), 2, std::make_shared<THostInstanceWrites>()));
    EXPECT_EQ(RunWithParameters(host, "ok.sh", instance2.Get()), S_OK);
    EXPECT_TRUE(host.Scripter().WaitForScripts(20000));
    EXPECT_EQ(RunWithParameters(host, "fail.sh"), S_OK);
    EXPECT_TRUE(host.Scripter().WaitForScripts(20000));
    EXPECT_EQ(RunWithParameters(host, "missing.sh"), E_FAIL);
    const auto messages = results.Messages();
    const QJsonObject ok = JsonObject(messages.at("nhx/scripts/ok.sh/result"));
    EXPECT_EQ(ok["outcome"].toString(), "ok");
    EXPECT_EQ(ok["exit_status"].toInt(), 0);
    EXPECT_EQ(ok["sender"].toString(), "Mondrel");
    EXPECT_EQ(ok["instance"].toInt(), 2);
    EXPECT_EQ(JsonObject(messages.at("nhx/instances/2/event"))["event_type"].toString(), "ok");
    EXPECT_EQ(ok["script"].toString(), "ok.sh");
    EXPECT_EQ(ok["output_tail"].toString(), "fine\n");
    EXPECT_EQ(ok["parameters"].toObject()["Mondrel_Value"].toString(), "30%");
    EXPECT_FALSE(ok["started"].toString().isEmpty());
    EXPECT_FALSE(ok["finished"].toString().isEmpty());
    const QJsonObject failed = JsonObject(messages.at("nhx/scripts/fail.sh/result"));
    EXPECT_EQ(failed["outcome"].toString(), "failed");
    EXPECT_EQ(failed["exit_status"].toInt(), 3);
    const QJsonObject missing = JsonObject(messages.at("nhx/scripts/missing.sh/result"));
    EXPECT_EQ(missing["outcome"].toString(), "not started");
    EXPECT_TRUE(missing["started"].isNull());
    EXPECT_EQ(JsonObject(messages.at("nhx/event"))["event_type"].toString(), "not started");
}

TEST_F(HostMqtt, CommandsSetVariablesAndRunScriptsThroughTheQueue) {
    ASSERT_TRUE(Broker->Start());
    WriteScript("greet.sh", "echo \"$NHX_SENDER says $Who\"\n");
    TNHXHostOptions hostOptions = Options();
    hostOptions.HistoryFile = KernelDir() + "history.sdb";
    TNHXHost host(hostOptions);
    host.Variables().PreCreate("Vacation", NHX_VAR_BOOLEAN, "false");
    host.Variables().PreCreate("Note", NHX_VAR_STRING, "");
    THostMqttOptions options = BridgeOptions();
    options.Commands = true;
    THostMqttBridge bridge(options, host.SharedLog());
    bridge.Attach(host.Variables(), host.Scripter());
    bridge.Start();
    ASSERT_TRUE(WaitUntil([&] { return bridge.Connected(); }));
    TMqttSubscriber answers(
        Broker->Port, {"nhx/variables/Vacation", "nhx/variables/Note", "nhx/scripts/+/result"}, 7);
    ASSERT_TRUE(answers.WaitForFirstLine());
    PublishTo(Broker->Port, "nhx/variables/Vacation/set", "ON");
    PublishTo(Broker->Port, "nhx/variables/Note/set", "Buy milk");
    PublishTo(Broker->Port, "nhx/scripts/greet.sh/run", R"({"Who":"the hall"})");
    PublishTo(Broker->Port, "nhx/scripts/greet.sh/run", R"({"LD_PRELOAD":"/tmp/x.so"})");
    PublishTo(Broker->Port, "nhx/scripts/gone.sh/run", "{}");
    const std::vector<std::string> lines = answers.Lines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[2], "nhx/variables/Vacation true");
    EXPECT_EQ(lines[3], "nhx/variables/Note Buy milk");
    EXPECT_EQ(host.Variables().Find("Vacation")->Value, "true");
    std::map<std::string, std::vector<QJsonObject>> results;
    for (size_t i = 4; i < lines.size(); ++i) {
        const size_t space = lines[i].find(' ');
        results[lines[i].substr(0, space)].push_back(JsonObject(lines[i].substr(space + 1)));
    }
    ASSERT_EQ(results["nhx/scripts/greet.sh/result"].size(), 2u);
    const QJsonObject refused = results["nhx/scripts/greet.sh/result"][0];
    const QJsonObject ran = results["nhx/scripts/greet.sh/result"][1];
    EXPECT_EQ(refused["outcome"].toString(), "not started");
    EXPECT_EQ(ran["outcome"].toString(), "ok");
    EXPECT_EQ(ran["sender"].toString(), "MQTT");
    EXPECT_EQ(ran["output_tail"].toString(), "MQTT says the hall\n");
    ASSERT_EQ(results["nhx/scripts/gone.sh/result"].size(), 1u);
    EXPECT_EQ(results["nhx/scripts/gone.sh/result"][0]["outcome"].toString(), "not started");
    EXPECT_EQ(CountLogged(host, "MQTT: run of greet.sh refused: parameter name LD_PRELOAD"), 1);
    // In the run history like the module's runs.
    const auto recorded = host.Scripter().History()->List({});
    ASSERT_EQ(recorded.size(), 2u) << "greet.sh and gone.sh";
    const auto greet = std::find_if(recorded.begin(), recorded.end(),
                                    [](const auto& r) { return r.Result.Script == "greet.sh"; });
    ASSERT_NE(greet, recorded.end());
    EXPECT_EQ(greet->Result.Sender, "MQTT");
    EXPECT_EQ(greet->Result.Outcome, "ok");
    EXPECT_EQ(greet->Result.Parameters,
              (std::vector<std::pair<std::string, std::string>>{{"Who", "the hall"}}));
}

// Without --mqtt-commands nothing is acted on; with it, a command the broker kept from before
// (retained) is not either.
TEST_F(HostMqtt, CommandsAreIgnoredWhenOffAndWhenRetained) {
    ASSERT_TRUE(Broker->Start());
    WriteScript("stale.sh", "echo ran\n");
    PublishTo(Broker->Port, "nhx/scripts/stale.sh/run", "{}", true);
    TNHXHost host(Options());
    host.Variables().PreCreate("Vacation", NHX_VAR_BOOLEAN, "false");
    {
        THostMqttBridge bridge(BridgeOptions(), host.SharedLog());
        bridge.Attach(host.Variables(), host.Scripter());
        bridge.Start();
        ASSERT_TRUE(WaitUntil([&] { return bridge.Connected(); }));
        PublishTo(Broker->Port, "nhx/variables/Vacation/set", "true");
        WaitUntil([] { return false; }, 1000);
    }
    EXPECT_EQ(host.Variables().Find("Vacation")->Value, "false");
    THostMqttOptions options = BridgeOptions();
    options.Commands = true;
    THostMqttBridge bridge(options, host.SharedLog());
    bridge.Attach(host.Variables(), host.Scripter());
    bridge.Start();
    ASSERT_TRUE(WaitUntil([&] { return CountLogged(host, "MQTT: a retained command on") == 1; }));
    WaitUntil([] { return false; }, 500);
    EXPECT_TRUE(host.Scripter().Runs().empty());
}

// A variable a former run published that is gone now: its state is cleared and its entity
// removed from the device (a component of only its platform).
TEST_F(HostMqtt, AVariableThatNoLongerExistsIsWithdrawn) {
    ASSERT_TRUE(Broker->Start());
    THostMqttOptions options = BridgeOptions();
    options.DiscoveryPrefix = "homeassistant";
    options.WithdrawAfterMs = 500;
    {
        TNHXHost before(Options());
        before.Variables().PreCreate("Mondrel_Flag_Gone", NHX_VAR_BOOLEAN, "true");
        THostMqttBridge bridge(options, before.SharedLog());
        bridge.Attach(before.Variables(), before.Scripter());
        bridge.Start();
        ASSERT_TRUE(WaitUntil([&] { return bridge.Connected(); }));
        TMqttSubscriber kept(Broker->Port, {"nhx/variables/Mondrel_Flag_Gone"}, 1);
        ASSERT_EQ(kept.Lines().size(), 1u);
    }
    TNHXHost host(Options());
    host.Variables().PreCreate("Vacation", NHX_VAR_BOOLEAN, "true");
    THostMqttBridge bridge(options, host.SharedLog());
    bridge.Attach(host.Variables(), host.Scripter());
    bridge.Start();
    ASSERT_TRUE(WaitUntil([&] {
        return CountLogged(host, "MQTT: variable Mondrel_Flag_Gone no longer exists") == 1;
    }));
    WaitUntil([] { return false; }, 500);
    // Only what the broker still keeps: the cleared state is gone.
    TMqttSubscriber state(Broker->Port, {"nhx/variables/#", "homeassistant/#"}, 3, 3);
    const auto messages = state.Messages();
    EXPECT_EQ(messages.count("nhx/variables/Mondrel_Flag_Gone"), 0u);
    ASSERT_EQ(messages.count("homeassistant/device/nhx/config"), 1u);
    const QJsonObject device = JsonObject(messages.at("homeassistant/device/nhx/config"));
    EXPECT_EQ(device["cmps"].toObject()["var_Mondrel_5FFlag_5FGone"].toObject(),
              (QJsonObject{{"p", "binary_sensor"}}));
    EXPECT_EQ(device["cmps"].toObject()["var_Vacation"].toObject()["p"].toString(),
              "binary_sensor");
}

// An mqtt/ run made while the broker is away waits in the history: a host started later sends
// it once the broker is there.
TEST_F(HostMqtt, PublishedRunWaitingForTheBrokerSurvivesARestart) {
    TNHXHostOptions options = Options();
    options.HistoryFile = KernelDir() + "history.sdb";
    {
        TNHXHost host(options);
        THostMqttBridge bridge(BridgeOptions(), host.SharedLog());
        bridge.Attach(host.Variables(), host.Scripter());
        bridge.Start();
        // Asked for by instance #2: the run keeps its instance across the restart.
        auto instance2 = TNHXInterfacePtr<THostInstanceScripter>::Adopt(
            new THostInstanceScripter(host.Scripter(), 2, std::make_shared<THostInstanceWrites>()));
        EXPECT_EQ(RunWithParameters(host, "mqtt/lights/on", instance2.Get()), S_OK);
        ASSERT_EQ(AllRuns(*host.Scripter().History()).at(0).Note, "waiting for the broker");
    }
    ASSERT_TRUE(Broker->Start());
    // A retained message first: once it arrives, the subscription is in place.
    PublishTo(Broker->Port, "test/ready", "yes", true);
    TMqttSubscriber runs(Broker->Port, {"test/ready", "nhx/scripts/#"}, 2);
    ASSERT_TRUE(runs.WaitForFirstLine());
    TNHXHost host(options);
    THostMqttBridge bridge(BridgeOptions(), host.SharedLog());
    bridge.Attach(host.Variables(), host.Scripter());
    bridge.Start();
    const auto messages = runs.Messages();
    ASSERT_EQ(messages.count("nhx/scripts/lights/on"), 1u);
    const QJsonObject run = JsonObject(messages.at("nhx/scripts/lights/on"));
    EXPECT_EQ(run["parameters"].toObject()["Mondrel_Value"].toString(), "30%");
    EXPECT_EQ(run["instance"].toInt(), 2);
    const auto history = AllRuns(*host.Scripter().History());
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].Result.Outcome, "ok");
    EXPECT_EQ(history[0].Note, "published late");
}
