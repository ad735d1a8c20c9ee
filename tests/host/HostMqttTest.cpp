// The MQTT bridge against a real broker started by the test on 127.0.0.1.
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>

#include "HostMqttBridge.h"
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

NHXResult RunWithParameters(TNHXHost& host, const std::string& script) {
    auto scripter = NHXQuery<INHXEventScripter>(host.Kernel(), IID_INHXEventScripter);
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

class MqttTest : public HostTest {
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

TEST_F(MqttTest, VariablesScriptRunsAndDiscoveryReachTheBroker) {
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
    auto variables = NHXQuery<INHXVariableManager>(host.Kernel(), IID_INHXVariableManager);
    TNHXTextRef trigger("Mondrel_TriggerValue");
    TNHXTextRef dog("Feed the dog");
    variables->WriteString(trigger.Get(), dog.Get());

    TMqttSubscriber state(Broker->Port, {"nhx/variables/#", "nhx/status"}, 4);
    EXPECT_EQ(state.Messages(), (std::map<std::string, std::string>{
                                    {"nhx/status", "online"},
                                    {"nhx/variables/Vacation", "true"},
                                    {"nhx/variables/Mondrel_TriggerValue", "Feed the dog"},
                                    {"nhx/variables/Odd_name_", "x"}}));

    TMqttSubscriber discovery(Broker->Port, {"homeassistant/#"}, 3);
    const auto announced = discovery.Messages();
    ASSERT_EQ(announced.count("homeassistant/binary_sensor/nhx/Vacation/config"), 1u);
    ASSERT_EQ(announced.count("homeassistant/sensor/nhx/Mondrel_TriggerValue/config"), 1u);
    const QJsonObject sensor =
        JsonObject(announced.at("homeassistant/binary_sensor/nhx/Vacation/config"));
    EXPECT_EQ(sensor["state_topic"].toString(), "nhx/variables/Vacation");
    EXPECT_EQ(sensor["payload_on"].toString(), "true");
    EXPECT_EQ(sensor["availability_topic"].toString(), "nhx/status");
    EXPECT_EQ(sensor["payload_not_available"].toString(), "offline");
    const QJsonObject text =
        JsonObject(announced.at("homeassistant/sensor/nhx/Mondrel_TriggerValue/config"));
    EXPECT_EQ(text["device"].toObject()["identifiers"], sensor["device"].toObject()["identifiers"]);
    EXPECT_NE(text["unique_id"], sensor["unique_id"]);

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
TEST_F(MqttTest, BrokerAwayAtStartOrLaterIsRetriedAndGetsTheStateAgain) {
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

TEST_F(MqttTest, RefusedCredentialsAreLoggedOnceAndTheHostRunsOn) {
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
TEST_F(MqttTest, TlsConnectsOnlyToABrokerTheSystemTrusts) {
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
