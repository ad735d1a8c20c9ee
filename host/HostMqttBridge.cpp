#include "HostMqttBridge.h"

#include <mosquitto.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "HostEventScripter.h"
#include "HostVariableManager.h"

namespace {

constexpr int KeepAliveSeconds = 60;
constexpr int MaxRetryDelaySeconds = 60;
constexpr int QosAtLeastOnce = 1;
// Script runs kept for a broker that is away; beyond them runs are not published.
constexpr size_t MaxWaitingRuns = 1000;
constexpr std::chrono::seconds StopGrace{3};
constexpr const char* SystemCertificates = "/etc/ssl/certs";

void InitLibraryOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        mosquitto_lib_init();
        std::atexit([] { mosquitto_lib_cleanup(); });
    });
}

// libmosquitto says "Unknown error" for errors it leaves in errno. Without a closing full stop.
std::string ErrorText(int result, int error = errno) {
    std::string text = result == MOSQ_ERR_ERRNO ? std::strerror(error) : mosquitto_strerror(result);
    if (!text.empty() && text.back() == '.') {
        text.pop_back();
    }
    return text;
}

// Appends `text` as a JSON string; invalid UTF-8 becomes U+FFFD.
void AppendJsonString(std::string& out, const std::string& text) {
    const QByteArray quoted = QJsonDocument(QJsonArray{QString::fromUtf8(
                                                text.data(), static_cast<qsizetype>(text.size()))})
                                  .toJson(QJsonDocument::Compact);
    // ["..."] without the brackets.
    out.append(quoted.constData() + 1, static_cast<size_t>(quoted.size() - 2));
}

// Discovery ids allow letters, digits, '_' and '-'.
std::string DiscoveryId(const std::string& text) {
    std::string id = text;
    std::replace_if(
        id.begin(), id.end(),
        [](char c) { return !std::isalnum(static_cast<unsigned char>(c)) && c != '-'; }, '_');
    return id;
}

}  // namespace

std::string THostMqttOptions::Address() const {
    return Host + ":" + std::to_string(Port);
}

bool IsTopicPrefix(const std::string& prefix) {
    return !prefix.empty() && prefix.front() != '/' && prefix.back() != '/' &&
           prefix.find("//") == std::string::npos &&
           prefix.find_first_of(std::string("+#\0", 3)) == std::string::npos;
}

void ApplyMqttUrl(THostMqttOptions& options, const std::string& url) {
    const QUrl parsed(QString::fromStdString(url), QUrl::StrictMode);
    const QString scheme = parsed.scheme();
    if (!parsed.isValid() ||
        (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts"))) {
        throw std::invalid_argument(
            "needs mqtt://[user:password@]host[:port] or mqtts://..., not \"" + url + "\"");
    }
    if (parsed.host().isEmpty()) {
        throw std::invalid_argument("no broker host in \"" + url + "\"");
    }
    if ((!parsed.path().isEmpty() && parsed.path() != QLatin1String("/")) || parsed.hasQuery() ||
        parsed.hasFragment()) {
        throw std::invalid_argument("a broker URL has no path, query or fragment: \"" + url + "\"");
    }
    if (!parsed.password().isEmpty() && parsed.userName().isEmpty()) {
        throw std::invalid_argument("a password without a user name in \"" + url + "\"");
    }
    options.Tls = scheme == QLatin1String("mqtts");
    options.Host = parsed.host().toStdString();
    options.Port = parsed.port(options.Tls ? 8883 : 1883);
    if (options.Port < 1) {
        throw std::invalid_argument("no usable port in \"" + url + "\"");
    }
    options.User = parsed.userName().toStdString();
    options.Password = parsed.password().toStdString();
}

THostMqttBridge::THostMqttBridge(THostMqttOptions options, std::shared_ptr<THostLog> log)
    : Settings(std::move(options)), Log(std::move(log)) {
    InitLibraryOnce();
    Client = mosquitto_new(nullptr, true, this);
    if (!Client) {
        throw std::runtime_error("MQTT: cannot create a client: " + ErrorText(MOSQ_ERR_ERRNO));
    }
    // Publishing happens on the event loop's thread, the network on ours.
    mosquitto_threaded_set(Client, true);
    const std::string status = Settings.Prefix + "/status";
    mosquitto_will_set(Client, status.c_str(), 7, "offline", QosAtLeastOnce, true);
    if (!Settings.User.empty()) {
        mosquitto_username_pw_set(Client, Settings.User.c_str(),
                                  Settings.Password.empty() ? nullptr : Settings.Password.c_str());
    }
    if (Settings.Tls) {
        // The system's certificates: OpenSSL's defaults and the hashed folder they live in here.
        mosquitto_int_option(Client, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        const int result =
            mosquitto_tls_set(Client, nullptr, SystemCertificates, nullptr, nullptr, nullptr);
        if (result != MOSQ_ERR_SUCCESS) {
            Log->AddHostNote(NHX_LOG_ERROR, "MQTT: cannot use the certificates in " +
                                                std::string(SystemCertificates) + ": " +
                                                ErrorText(result));
        }
    }
    mosquitto_connect_callback_set(Client, [](mosquitto*, void* self, int result) {
        static_cast<THostMqttBridge*>(self)->OnConnect(result);
    });
    mosquitto_disconnect_callback_set(Client, [](mosquitto*, void* self, int result) {
        static_cast<THostMqttBridge*>(self)->OnDisconnect(result);
    });
}

THostMqttBridge::~THostMqttBridge() {
    if (Variables) {
        Variables->SetVariableListener({});
    }
    if (Scripter) {
        Scripter->SetPublisher({});
    }
    {
        std::lock_guard guard(Lock);
        Stopping = true;
        if (IsConnected) {
            // Sent before the disconnect; the will is only for a host that vanished.
            PublishLocked(Settings.Prefix + "/status", "offline", QosAtLeastOnce, true);
            mosquitto_disconnect(Client);
        }
    }
    Wake.notify_all();
    if (Network.joinable()) {
        Network.join();
    }
    mosquitto_destroy(Client);
}

void THostMqttBridge::Attach(THostVariableManager& variables, THostEventScripter& scripter) {
    Variables = &variables;
    Scripter = &scripter;
    for (const THostVariable& variable : variables.Variables()) {
        PublishVariable(variable);
    }
    variables.SetVariableListener([this](const THostVariable& v) { PublishVariable(v); });
    scripter.SetPublisher([this](const THostScriptRun& run) { return PublishScriptRun(run); });
}

void THostMqttBridge::Start() {
    if (!Network.joinable()) {
        Network = std::thread([this] { RunNetwork(); });
    }
}

std::string THostMqttBridge::TopicLevel(const std::string& name) {
    std::string level = name;
    std::replace_if(
        level.begin(), level.end(),
        [](char c) { return c == '/' || c == '+' || c == '#' || c == '\0'; }, '_');
    return level;
}

std::string THostMqttBridge::ScriptRunJson(const THostScriptRun& run, const QDateTime& time) {
    // Written by hand: the parameters keep the order they were given in.
    std::string json = "{\"sender\":";
    AppendJsonString(json, run.Sender);
    json += ",\"time\":";
    // Local time with its offset, "+00:00" included (never "Z").
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    const QString zone = QStringLiteral("%1%2:%3")
                             .arg(offset < 0 ? '-' : '+')
                             .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                             .arg(minutes % 60, 2, 10, QLatin1Char('0'));
    AppendJsonString(json,
                     (time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + zone).toStdString());
    json += ",\"parameters\":{";
    for (size_t i = 0; i < run.Params.size(); ++i) {
        if (i > 0) {
            json += ',';
        }
        AppendJsonString(json, run.Params[i].Name);
        json += ':';
        AppendJsonString(json, run.Params[i].Value);
    }
    json += "}}";
    return json;
}

std::string THostMqttBridge::DiscoveryTopic(const THostVariable& variable) const {
    const char* component = variable.TypeCode == NHX_VAR_BOOLEAN ? "binary_sensor" : "sensor";
    return Settings.DiscoveryPrefix + "/" + component + "/" + DiscoveryId(Settings.Prefix) + "/" +
           DiscoveryId(variable.Name) + "/config";
}

std::string THostMqttBridge::DiscoveryPayload(const THostVariable& variable) const {
    const QString node = QString::fromStdString(DiscoveryId(Settings.Prefix));
    const QString name = QString::fromStdString(variable.Name);
    QJsonObject config{
        {"name", name},
        {"unique_id", node + "_" + QString::fromStdString(DiscoveryId(variable.Name))},
        {"state_topic",
         QString::fromStdString(Settings.Prefix + "/variables/" + TopicLevel(variable.Name))},
        {"availability_topic", QString::fromStdString(Settings.Prefix + "/status")},
        {"payload_available", "online"},
        {"payload_not_available", "offline"},
        {"device", QJsonObject{{"identifiers", QJsonArray{node}},
                               {"name", "NHX host " + QString::fromStdString(Settings.Prefix)},
                               {"model", "nhx-host"}}}};
    if (variable.TypeCode == NHX_VAR_BOOLEAN) {
        config.insert("payload_on", "true");
        config.insert("payload_off", "false");
    }
    return QJsonDocument(config).toJson(QJsonDocument::Compact).toStdString();
}

void THostMqttBridge::PublishVariable(const THostVariable& variable) {
    std::lock_guard guard(Lock);
    RetainLocked(Settings.Prefix + "/variables/" + TopicLevel(variable.Name), variable.Value);
    if (!Settings.DiscoveryPrefix.empty()) {
        RetainLocked(DiscoveryTopic(variable), DiscoveryPayload(variable));
    }
}

void THostMqttBridge::RetainLocked(const std::string& topic, const std::string& payload) {
    auto [it, added] = Retained.try_emplace(topic, payload);
    if (!added && it->second == payload) {
        return;
    }
    it->second = payload;
    // While away, the state waits in Retained for the next connect.
    if (IsConnected) {
        PublishLocked(topic, payload, QosAtLeastOnce, true);
    }
}

bool THostMqttBridge::PublishScriptRun(const THostScriptRun& run) {
    const std::string prefix = PublishedScriptPrefix;
    const std::string topic = Settings.Prefix + "/scripts/" +
                              (run.Script.starts_with(prefix) ? run.Script.substr(prefix.size())
                                                              : TopicLevel(run.Script));
    const std::string payload = ScriptRunJson(run, QDateTime::currentDateTime());
    std::lock_guard guard(Lock);
    // libmosquitto refuses messages while it has no connection: they wait here, in order.
    if (IsConnected &&
        mosquitto_publish(Client, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), QosAtLeastOnce, false) == MOSQ_ERR_SUCCESS) {
        return true;
    }
    if (WaitingRuns.size() >= MaxWaitingRuns) {
        if (!OverflowNoted) {
            OverflowNoted = true;
            Note(NHX_LOG_ERROR, "MQTT: " + std::to_string(WaitingRuns.size()) +
                                    " script runs wait for the broker at " + Settings.Address() +
                                    "; further runs are not published until it is back");
        }
        return false;
    }
    WaitingRuns.emplace_back(topic, payload);
    return true;
}

bool THostMqttBridge::PublishLocked(const std::string& topic, const std::string& payload, int qos,
                                    bool retain) {
    const int result =
        mosquitto_publish(Client, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), qos, retain);
    if (result != MOSQ_ERR_SUCCESS) {
        Note(NHX_LOG_ERROR, "MQTT: cannot publish to " + topic + ": " + ErrorText(result));
        return false;
    }
    return true;
}

void THostMqttBridge::Note(int32_t kind, std::string text) {
    QMetaObject::invokeMethod(
        &LogContext, [log = Log, kind, text = std::move(text)] { log->AddHostNote(kind, text); },
        Qt::QueuedConnection);
}

void THostMqttBridge::OnConnect(int result) {
    std::lock_guard guard(Lock);
    if (result != 0) {
        // Refused (credentials, client id, protocol): the broker closes the connection and we
        // try again later; the same reason is not repeated.
        const std::string reason = mosquitto_connack_string(result);
        if (reason != LastRefusal) {
            LastRefusal = reason;
            Note(NHX_LOG_ERROR, "MQTT: the broker at " + Settings.Address() +
                                    " refused the connection: " + reason);
        }
        LossNoted = true;
        return;
    }
    if (Stopping) {
        mosquitto_disconnect(Client);
        return;
    }
    Note(NHX_LOG_NOTICE, "MQTT: connected to " + Settings.Address());
    LossNoted = false;
    LastRefusal.clear();
    RetryDelaySeconds = 1;
    IsConnected = true;
    OverflowNoted = false;
    PublishLocked(Settings.Prefix + "/status", "online", QosAtLeastOnce, true);
    for (const auto& [topic, payload] : Retained) {
        PublishLocked(topic, payload, QosAtLeastOnce, true);
    }
    for (const auto& [topic, payload] : WaitingRuns) {
        PublishLocked(topic, payload, QosAtLeastOnce, false);
    }
    WaitingRuns.clear();
}

void THostMqttBridge::OnDisconnect(int) {
    IsConnected = false;
}

void THostMqttBridge::SleepBeforeRetry() {
    std::unique_lock guard(Lock);
    Wake.wait_for(guard, std::chrono::seconds(RetryDelaySeconds), [this] { return Stopping; });
    RetryDelaySeconds = std::min(RetryDelaySeconds * 2, MaxRetryDelaySeconds);
}

void THostMqttBridge::RunNetwork() {
    const auto stopping = [this] {
        std::lock_guard guard(Lock);
        return Stopping;
    };
    while (!stopping()) {
        bool wasConnected = false;
        int result =
            mosquitto_connect_async(Client, Settings.Host.c_str(), Settings.Port, KeepAliveSeconds);
        int error = errno;
        std::chrono::steady_clock::time_point stopDeadline{};
        while (result == MOSQ_ERR_SUCCESS) {
            result = mosquitto_loop(Client, 1000, 1);
            error = errno;
            wasConnected = wasConnected || IsConnected;
            if (stopping()) {
                // Room for the "offline" message and the disconnect to go out.
                const auto now = std::chrono::steady_clock::now();
                if (stopDeadline == std::chrono::steady_clock::time_point{}) {
                    stopDeadline = now + StopGrace;
                }
                if (!IsConnected || now > stopDeadline) {
                    break;
                }
            }
        }
        IsConnected = false;
        if (stopping()) {
            break;
        }
        {
            std::lock_guard guard(Lock);
            if (!LossNoted) {
                LossNoted = true;
                Note(NHX_LOG_ERROR, (wasConnected ? "MQTT: lost the connection to the broker at "
                                                  : "MQTT: cannot reach the broker at ") +
                                        Settings.Address() + ": " + ErrorText(result, error) +
                                        "; trying again with back-off, the host runs on");
            }
        }
        SleepBeforeRetry();
    }
}
