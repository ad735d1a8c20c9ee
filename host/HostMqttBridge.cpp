#include "HostMqttBridge.h"

#include <mosquitto.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <set>
#include <stdexcept>

#include "HostEventScripter.h"
#include "HostJson.h"
#include "HostRunHistory.h"
#include "HostScriptResult.h"
#include "HostVariableManager.h"
#include "MessageBox.h"

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

// Levels longer than this end in a hash of the name.
constexpr size_t MaxLevelBytes = 200;
constexpr size_t KeptLevelBytes = 180;
// Commands larger than this are refused unread.
constexpr int MaxCommandBytes = 64 * 1024;
// The home system's "online": the discovery follows after 1 to 5 seconds, so that many devices
// do not answer at once.
constexpr int MinAnnounceDelayMs = 1000;
constexpr int MaxAnnounceDelayMs = 5000;
constexpr const char* Version = NHX_HOST_VERSION;
const char* const Outcomes[] = {"ok", "failed", "not started", "timed out"};

bool IsHex(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// Length of the valid UTF-8 sequence at `i`, 0 when there is none.
size_t Utf8Length(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = lead < 0x80                    ? 1
                    : lead >= 0xC2 && lead <= 0xDF ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    if (length == 0 || i + length > text.size()) {
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
    }
    // No overlong forms, surrogates or code points past U+10FFFF.
    const unsigned char second = byte(i + 1 < text.size() ? i + 1 : i);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F)) {
        return 0;
    }
    return length;
}

void AppendHex(std::string& out, char prefix, unsigned char byte) {
    static const char digits[] = "0123456789ABCDEF";
    out += prefix;
    out += digits[byte >> 4];
    out += digits[byte & 0x0F];
}

void AppendJsonNullable(std::string& out, const std::string& text) {
    if (text.empty()) {
        out += "null";
    } else {
        AppendJsonText(out, text);
    }
}

std::string JsonText(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

// Names that change how a program starts or what a shell does: never taken from a command.
bool IsUnsafeParameterName(const std::string& name) {
    static const std::set<std::string> names = {
        "PATH",       "IFS",      "ENV",        "BASH_ENV",     "SHELLOPTS",    "BASHOPTS",
        "PS4",        "CDPATH",   "GLOBIGNORE", "HOME",         "SHELL",        "TMPDIR",
        "GCONV_PATH", "LOCPATH",  "NLSPATH",    "HOSTALIASES",  "PYTHONPATH",   "PYTHONSTARTUP",
        "PERL5LIB",   "PERL5OPT", "RUBYOPT",    "NODE_OPTIONS", "MALLOC_CHECK_"};
    return names.count(name) > 0 || name.starts_with("LD_") || name.starts_with("BASH_FUNC_") ||
           name.starts_with("NHX_");
}

bool IsParameterName(const std::string& name) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name.front()))) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

}  // namespace

std::string THostMqttOptions::Address() const {
    return Host + ":" + std::to_string(Port);
}

std::string RedactedUrl(const std::string& url) {
    const size_t scheme = url.find("://");
    if (scheme == std::string::npos) {
        return url;
    }
    const size_t start = scheme + 3;
    const size_t at = url.rfind('@');
    if (at == std::string::npos || at < start) {
        return url;
    }
    const size_t colon = url.find(':', start);
    if (colon == std::string::npos || colon > at) {
        return url;
    }
    return url.substr(0, colon + 1) + "***" + url.substr(at);
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
        throw std::invalid_argument("needs mqtt://[user@]host[:port] or mqtts://..., not \"" +
                                    RedactedUrl(url) + "\"");
    }
    if (parsed.host().isEmpty()) {
        throw std::invalid_argument("no broker host in \"" + RedactedUrl(url) + "\"");
    }
    if ((!parsed.path().isEmpty() && parsed.path() != QLatin1String("/")) || parsed.hasQuery() ||
        parsed.hasFragment()) {
        throw std::invalid_argument("a broker URL has no path, query or fragment: \"" +
                                    RedactedUrl(url) + "\"");
    }
    if (!parsed.password().isEmpty() && parsed.userName().isEmpty()) {
        throw std::invalid_argument("a password without a user name in \"" + RedactedUrl(url) +
                                    "\"");
    }
    options.Tls = scheme == QLatin1String("mqtts");
    options.Host = parsed.host().toStdString();
    options.Port = parsed.port(options.Tls ? 8883 : 1883);
    if (options.Port < 1) {
        throw std::invalid_argument("no usable port in \"" + RedactedUrl(url) + "\"");
    }
    options.User = parsed.userName().toStdString();
    if (!parsed.password().isEmpty()) {
        options.Password = parsed.password().toStdString();
        options.PasswordInUrl = true;
    }
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
    mosquitto_message_callback_set(Client, [](mosquitto*, void* self,
                                              const mosquitto_message* message) {
        if (!message || !message->topic) {
            return;
        }
        const std::string payload =
            message->payloadlen > 0 && message->payloadlen <= MaxCommandBytes
                ? std::string(static_cast<const char*>(message->payload),
                              static_cast<size_t>(message->payloadlen))
                : std::string();
        if (message->payloadlen > MaxCommandBytes) {
            static_cast<THostMqttBridge*>(self)->Note(
                NHX_LOG_ERROR, "MQTT: a message of " + std::to_string(message->payloadlen) +
                                   " bytes on " + message->topic + " is refused unread");
            return;
        }
        static_cast<THostMqttBridge*>(self)->OnMessage(message->topic, payload, message->retain);
    });
    if (Settings.PasswordInUrl) {
        Log->AddHostNote(NHX_LOG_ERROR,
                         "MQTT: the password is in the broker URL, where ps and the journal show "
                         "it; use --mqtt-password-file FILE or NHX_MQTT_PASSWORD instead");
    }
}

THostMqttBridge::~THostMqttBridge() {
    Self.reset();
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
    // The scripter keeps its listeners; this one does nothing once the bridge is gone.
    std::weak_ptr<THostMqttBridge*> self = Self;
    scripter.AddResultListener([self](const THostScriptResult& result) {
        if (const auto bridge = self.lock()) {
            (*bridge)->PublishResult(result);
        }
    });
    std::lock_guard guard(Lock);
    AnnounceLocked();
}

void THostMqttBridge::Start() {
    if (!Network.joinable()) {
        Network = std::thread([this] { RunNetwork(); });
    }
}

std::string THostMqttBridge::TopicLevel(const std::string& name) {
    std::string level;
    level.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        const auto byte = static_cast<unsigned char>(name[i]);
        const size_t length = Utf8Length(name, i);
        if (byte < 0x20 || byte == 0x7F || byte == '%' || byte == '+' || byte == '#' ||
            byte == '/' || length == 0) {
            AppendHex(level, '%', byte);
            ++i;
        } else {
            level.append(name, i, length);
            i += length;
        }
    }
    if (level.size() <= MaxLevelBytes) {
        return level;
    }
    // Cut neither inside a %XX nor inside a character.
    size_t cut = KeptLevelBytes;
    while (cut > 0 &&
           ((static_cast<unsigned char>(level[cut]) & 0xC0) == 0x80 ||
            (cut >= 1 && level[cut - 1] == '%') || (cut >= 2 && level[cut - 2] == '%'))) {
        --cut;
    }
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString(name), QCryptographicHash::Sha256)
            .toHex()
            .left(16);
    return level.substr(0, cut) + "%~" + hash.toStdString();
}

std::optional<std::string> THostMqttBridge::NameOfLevel(const std::string& level) {
    std::string name;
    for (size_t i = 0; i < level.size(); ++i) {
        if (level[i] != '%') {
            name += level[i];
            continue;
        }
        if (i + 2 >= level.size() || !IsHex(level[i + 1]) || !IsHex(level[i + 2])) {
            return std::nullopt;
        }
        name += static_cast<char>(std::stoi(level.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    // Only what TopicLevel writes: anything else is another name's level or none.
    if (TopicLevel(name) != level) {
        return std::nullopt;
    }
    return name;
}

std::string THostMqttBridge::DiscoveryId(const std::string& text) {
    std::string id;
    for (char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '-') {
            id += c;
        } else {
            AppendHex(id, '_', static_cast<unsigned char>(c));
        }
    }
    return id;
}

std::string THostMqttBridge::LevelLocked(const std::string& name) {
    std::string level = TopicLevel(name);
    if (level != name && EncodedNoted.insert(name).second) {
        Note(NHX_LOG_NOTICE, "MQTT: the name \"" + level + "\" (encoded) stands for a name that " +
                                 "cannot be a topic level as it is");
    }
    return level;
}

std::string THostMqttBridge::ScriptRunJson(const THostScriptRun& run, const QDateTime& time) {
    // Written by hand: the parameters keep the order they were given in.
    std::string json = "{\"sender\":";
    AppendJsonText(json, run.Sender);
    json += ",\"instance\":";
    json += run.Instance > 0 ? std::to_string(run.Instance) : std::string("null");
    json += ",\"time\":";
    AppendJsonText(json, THostRunHistory::IsoTime(time));
    json += ",\"parameters\":";
    std::vector<std::pair<std::string, std::string>> params;
    for (const THostScriptParam& param : run.Params) {
        params.emplace_back(param.Name, param.Value);
    }
    AppendJsonTextObject(json, params);
    json += '}';
    return json;
}

std::string THostMqttBridge::ResultJson(const THostScriptResult& result) {
    std::string json = "{\"sender\":";
    AppendJsonText(json, result.Sender);
    json += ",\"instance\":";
    json += result.Instance > 0 ? std::to_string(result.Instance) : std::string("null");
    json += ",\"script\":";
    AppendJsonText(json, result.Script);
    json += ",\"parameters\":";
    AppendJsonTextObject(json, result.Parameters);
    json += ",\"started\":";
    AppendJsonNullable(json, result.Started);
    json += ",\"finished\":";
    AppendJsonNullable(json, result.Finished);
    json += ",\"exit_status\":";
    json += result.ExitStatus < 0 ? std::string("null") : std::to_string(result.ExitStatus);
    json += ",\"outcome\":";
    AppendJsonText(json, result.Outcome);
    json += ",\"reason\":";
    AppendJsonNullable(json, result.Reason);
    json += ",\"output_tail\":";
    AppendJsonText(json, result.OutputTail);
    json += '}';
    return json;
}

void THostMqttBridge::AddInstance(uint16_t instance) {
    std::lock_guard guard(Lock);
    if (Instances.insert(instance).second) {
        AnnounceLocked();
    }
}

std::string THostMqttBridge::InstanceEventLevel(uint16_t instance) {
    return "instances/" + std::to_string(instance) + "/event";
}

std::string THostMqttBridge::DiscoveryTopic() const {
    return Settings.DiscoveryPrefix + "/device/" + DiscoveryId(Settings.Prefix) + "/config";
}

std::string THostMqttBridge::DiscoveryPayload() const {
    return DiscoveryPayloadLocked();
}

// The home system's device discovery (its MQTT documentation): "dev" and "o" are required, each
// component needs "p" and "unique_id", and each platform its own required options: state_topic
// for binary_sensor, sensor and event (with event_types), command_topic for switch, text and
// button.
std::string THostMqttBridge::DiscoveryPayloadLocked() const {
    const std::string node = DiscoveryId(Settings.Prefix);
    const QString nodeId = QString::fromStdString(node);
    const auto topic = [this](const std::string& rest) {
        return QString::fromStdString(Settings.Prefix + "/" + rest);
    };
    QJsonObject components;
    for (const auto& [name, typeCode] : Announced) {
        const std::string level = TopicLevel(name);
        const QString id = QString::fromStdString(DiscoveryId(level));
        QJsonObject component{{"name", QString::fromStdString(name)},
                              {"unique_id", nodeId + "_var_" + id},
                              {"state_topic", topic("variables/" + level)}};
        const bool commands =
            Settings.Commands && (typeCode == NHX_VAR_BOOLEAN || typeCode == NHX_VAR_STRING);
        if (commands) {
            component.insert("command_topic", topic("variables/" + level + "/set"));
        }
        if (typeCode == NHX_VAR_BOOLEAN) {
            component.insert("p", commands ? "switch" : "binary_sensor");
            component.insert("payload_on", "true");
            component.insert("payload_off", "false");
            if (commands) {
                component.insert("state_on", "true");
                component.insert("state_off", "false");
            }
        } else {
            component.insert("p", commands ? "text" : "sensor");
            // An empty value travels as "" (an empty retained message would clear the topic).
            component.insert("value_template", "{{ '' if value == '\"\"' else value }}");
            if (commands) {
                component.insert("max", 255);
            }
        }
        components.insert("var_" + id, component);
    }
    for (const auto& [id, platform] : Withdrawn) {
        if (!components.contains(QString::fromStdString(id))) {
            components.insert(QString::fromStdString(id),
                              QJsonObject{{"p", QString::fromStdString(platform)}});
        }
    }
    if (Settings.Commands) {
        for (const std::string& script : Settings.Buttons) {
            const std::string level = TopicLevel(script);
            const QString id = QString::fromStdString(DiscoveryId(level));
            components.insert("button_" + id,
                              QJsonObject{{"p", "button"},
                                          {"name", QString::fromStdString(script)},
                                          {"unique_id", nodeId + "_button_" + id},
                                          {"command_topic", topic("scripts/" + level + "/run")},
                                          {"payload_press", "{}"}});
        }
    }
    QJsonArray eventTypes;
    for (const char* outcome : Outcomes) {
        eventTypes.append(outcome);
    }
    components.insert("runs", QJsonObject{{"p", "event"},
                                          {"name", "Script runs"},
                                          {"unique_id", nodeId + "_runs"},
                                          {"state_topic", topic("event")},
                                          {"event_types", eventTypes}});
    for (const uint16_t instance : Instances) {
        const QString number = QString::number(instance);
        components.insert("runs_" + number,
                          QJsonObject{{"p", "event"},
                                      {"name", "Instance #" + number + " script runs"},
                                      {"unique_id", nodeId + "_runs_" + number},
                                      {"state_topic", topic(InstanceEventLevel(instance))},
                                      {"event_types", eventTypes}});
    }
    const QJsonObject config{
        {"dev", QJsonObject{{"ids", QJsonArray{nodeId}},
                            {"name", "NHX host " + QString::fromStdString(Settings.Prefix)},
                            {"mf", "Mondrel"},
                            {"mdl", "nhx-host"},
                            {"sw", Version}}},
        {"o", QJsonObject{{"name", "nhx-host"}, {"sw", Version}}},
        {"availability_topic", topic("status")},
        {"payload_available", "online"},
        {"payload_not_available", "offline"},
        {"qos", QosAtLeastOnce},
        {"cmps", components}};
    return JsonText(config);
}

// The device message follows the variables there are; values do not change it.
void THostMqttBridge::AnnounceLocked() {
    if (Settings.DiscoveryPrefix.empty()) {
        return;
    }
    const std::string payload = DiscoveryPayloadLocked();
    if (payload == DeviceConfig) {
        return;
    }
    DeviceConfig = payload;
    if (IsConnected) {
        PublishLocked(DiscoveryTopic(), DeviceConfig, QosAtLeastOnce, true);
    }
}

void THostMqttBridge::PublishStateLocked() {
    if (!DeviceConfig.empty()) {
        PublishLocked(DiscoveryTopic(), DeviceConfig, QosAtLeastOnce, true);
    }
    for (const auto& [topic, payload] : Retained) {
        PublishLocked(topic, payload, QosAtLeastOnce, true);
    }
}

void THostMqttBridge::PublishVariable(const THostVariable& variable) {
    std::lock_guard guard(Lock);
    const std::string level = LevelLocked(variable.Name);
    RetainLocked(Settings.Prefix + "/variables/" + level,
                 variable.Value.empty() ? std::string("\"\"") : variable.Value);
    StaleLevels.erase(level);
    auto [it, added] = Announced.try_emplace(variable.Name, variable.TypeCode);
    if (added || it->second != variable.TypeCode) {
        it->second = variable.TypeCode;
        Withdrawn.erase("var_" + DiscoveryId(level));
        AnnounceLocked();
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
    std::lock_guard guard(Lock);
    const std::string topic = Settings.Prefix + "/scripts/" +
                              (run.Script.starts_with(prefix) ? run.Script.substr(prefix.size())
                                                              : LevelLocked(run.Script));
    const std::string payload = ScriptRunJson(run, QDateTime::currentDateTime());
    // libmosquitto refuses messages while it has no connection: they wait here, in order.
    if (IsConnected &&
        mosquitto_publish(Client, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), QosAtLeastOnce, false) == MOSQ_ERR_SUCCESS) {
        return true;
    }
    // An mqtt/ run kept in the run history waits there, where a kill of the host cannot lose
    // it; the scripter hands it over again once we are connected (PublishWaiting).
    if (run.HistoryId != 0 && run.Script.starts_with(prefix)) {
        return false;
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

void THostMqttBridge::PublishResult(const THostScriptResult& result) {
    std::string event = "{\"event_type\":";
    AppendJsonText(event, result.Outcome);
    event += ",\"script\":";
    AppendJsonText(event, result.Script);
    event += ",\"sender\":";
    AppendJsonText(event, result.Sender);
    if (result.Instance > 0) {
        event += ",\"instance\":" + std::to_string(result.Instance);
    }
    event += '}';
    std::lock_guard guard(Lock);
    const std::string topic =
        Settings.Prefix + "/scripts/" + LevelLocked(result.Script) + "/result";
    std::vector<std::pair<std::string, std::string>> messages{{topic, ResultJson(result)},
                                                              {Settings.Prefix + "/event", event}};
    // The instance's own event entity too (its number is a uint16_t, so a valid level).
    if (result.Instance > 0) {
        messages.emplace_back(
            Settings.Prefix + "/" + InstanceEventLevel(static_cast<uint16_t>(result.Instance)),
            event);
    }
    for (auto& message : messages) {
        if (IsConnected &&
            mosquitto_publish(Client, nullptr, message.first.c_str(),
                              static_cast<int>(message.second.size()), message.second.data(),
                              QosAtLeastOnce, false) == MOSQ_ERR_SUCCESS) {
            continue;
        }
        if (WaitingRuns.size() < MaxWaitingRuns) {
            WaitingRuns.emplace_back(message);
        }
    }
}

std::vector<std::string> THostMqttBridge::StaleCheckTopics() const {
    std::vector<std::string> topics{Settings.Prefix + "/variables/+"};
    if (!Settings.DiscoveryPrefix.empty()) {
        topics.push_back(DiscoveryTopic());
    }
    return topics;
}

void THostMqttBridge::OnMessage(const std::string& topic, const std::string& payload,
                                bool retained) {
    std::lock_guard guard(Lock);
    const std::string variables = Settings.Prefix + "/variables/";
    if (retained && topic.starts_with(variables) &&
        topic.find('/', variables.size()) == std::string::npos) {
        // A state the broker keeps: one of ours, or one a former run published.
        if (!payload.empty() && Retained.count(topic) == 0) {
            StaleLevels.insert(topic.substr(variables.size()));
        }
        return;
    }
    if (!Settings.DiscoveryPrefix.empty() && topic == DiscoveryTopic()) {
        if (retained) {
            const QJsonObject old =
                QJsonDocument::fromJson(QByteArray::fromStdString(payload)).object();
            const QJsonObject components = old.value("cmps").toObject();
            for (auto it = components.begin(); it != components.end(); ++it) {
                OldPlatforms[it.key().toStdString()] =
                    it.value().toObject().value("p").toString().toStdString();
            }
        }
        return;
    }
    if (!Settings.DiscoveryPrefix.empty() && topic == Settings.DiscoveryPrefix + "/status") {
        if (payload == "online") {
            const int delay =
                QRandomGenerator::global()->bounded(MinAnnounceDelayMs, MaxAnnounceDelayMs + 1);
            QMetaObject::invokeMethod(
                &LogContext,
                [this, delay] {
                    QTimer::singleShot(delay, &LogContext, [this] {
                        std::lock_guard guard(Lock);
                        if (IsConnected) {
                            PublishStateLocked();
                        }
                    });
                },
                Qt::QueuedConnection);
        }
        return;
    }
    if (!Settings.Commands) {
        return;
    }
    if (retained) {
        // Sent before we connected, maybe long ago: a stale "run" must not fire now.
        Note(NHX_LOG_ERROR,
             "MQTT: a retained command on " + topic + " is ignored (commands are never retained)");
        return;
    }
    QMetaObject::invokeMethod(
        &LogContext, [this, topic, payload] { RunGuarded([&] { HandleCommand(topic, payload); }); },
        Qt::QueuedConnection);
}

void THostMqttBridge::HandleCommand(const std::string& topic, const std::string& payload) {
    const auto levelOf = [&topic](const std::string& head, const std::string& tail) {
        if (!topic.starts_with(head) || !topic.ends_with(tail) ||
            topic.size() <= head.size() + tail.size()) {
            return std::optional<std::string>();
        }
        return std::optional<std::string>(
            topic.substr(head.size(), topic.size() - head.size() - tail.size()));
    };
    if (auto level = levelOf(Settings.Prefix + "/variables/", "/set")) {
        SetVariable(*level, payload);
    } else if (auto script = levelOf(Settings.Prefix + "/scripts/", "/run")) {
        RunCommand(*script, payload);
    }
}

void THostMqttBridge::SetVariable(const std::string& level, const std::string& payload) {
    std::optional<std::string> name = NameOfLevel(level);
    if (!name) {
        std::lock_guard guard(Lock);
        for (const auto& [known, type] : Announced) {
            if (TopicLevel(known) == level) {
                name = known;
            }
        }
    }
    const std::optional<THostVariable> variable =
        name && Variables ? Variables->Find(*name) : std::nullopt;
    if (!variable) {
        Log->AddHostNote(NHX_LOG_ERROR, "MQTT: set refused: no variable named \"" + level + "\"");
        return;
    }
    std::string value = payload;
    if (variable->TypeCode == NHX_VAR_BOOLEAN) {
        const QString word = QString::fromStdString(payload).trimmed().toLower();
        if (word == "true" || word == "on" || word == "1") {
            value = "true";
        } else if (word == "false" || word == "off" || word == "0") {
            value = "false";
        } else {
            Log->AddHostNote(NHX_LOG_ERROR, "MQTT: set refused: " + variable->Name +
                                                " is a boolean (true/false, ON/OFF, 1/0)");
            return;
        }
    } else if (variable->TypeCode != NHX_VAR_STRING) {
        Log->AddHostNote(NHX_LOG_ERROR, "MQTT: set refused: " + variable->Name +
                                            " is neither a boolean nor a string");
        return;
    }
    Variables->SetValue(variable->Name, value, "MQTT");
}

void THostMqttBridge::RunCommand(const std::string& level, const std::string& payload) {
    const std::optional<std::string> name = NameOfLevel(level);
    const std::string script = name.value_or(level);
    std::string problem;
    THostStringPairs params;
    if (!name) {
        problem = "\"" + level + "\" is not a script name";
    } else if (name->starts_with(PublishedScriptPrefix)) {
        // Those only publish: a command must not make the host publish for the sender.
        problem = "not a script of the scripts folder";
    } else if (!ReadStringObject(payload, params, problem)) {
        problem = problem.starts_with("not") ? "the payload is " + problem : problem;
    } else {
        for (const auto& [key, value] : params) {
            if (!IsParameterName(key) || IsUnsafeParameterName(key)) {
                problem = "parameter name " + key + " is not allowed";
                break;
            }
        }
    }
    if (problem.empty()) {
        // Unknown scripts are refused, logged and answered by the scripter.
        Scripter->Enqueue(script, "MQTT", std::move(params));
        return;
    }
    Log->AddHostNote(NHX_LOG_ERROR, "MQTT: run of " + script + " refused: " + problem);
    THostScriptResult result;
    result.Sender = "MQTT";
    result.Script = script;
    result.Finished = THostRunHistory::Now();
    result.Outcome = "not started";
    result.Reason = problem;
    PublishResult(result);
}

// Variables the broker still holds from a former run and that did not come back are withdrawn:
// an empty retained state, and a component of only its platform in the device message.
void THostMqttBridge::WithdrawStale() {
    std::lock_guard guard(Lock);
    bool changed = false;
    for (const std::string& level : StaleLevels) {
        const std::string topic = Settings.Prefix + "/variables/" + level;
        if (Retained.count(topic) > 0) {
            continue;
        }
        Note(NHX_LOG_NOTICE, "MQTT: variable " + level + " no longer exists; withdrawn");
        if (IsConnected) {
            PublishLocked(topic, "", QosAtLeastOnce, true);
        }
        const std::string id = "var_" + DiscoveryId(level);
        auto old = OldPlatforms.find(id);
        if (!Settings.DiscoveryPrefix.empty() && old != OldPlatforms.end() &&
            !old->second.empty()) {
            Withdrawn[id] = old->second;
            changed = true;
        }
    }
    StaleLevels.clear();
    StaleCheckDone = true;
    // Our own state no longer needs to come back to us.
    if (IsConnected) {
        for (const std::string& topic : StaleCheckTopics()) {
            mosquitto_unsubscribe(Client, nullptr, topic.c_str());
        }
    }
    if (changed) {
        AnnounceLocked();
    }
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
    // Subscribed before we publish: what the broker holds from before arrives first.
    // Until the check for withdrawn variables, also what the broker holds of a former run.
    std::vector<std::string> topics;
    if (!StaleCheckDone) {
        topics = StaleCheckTopics();
    }
    if (!Settings.DiscoveryPrefix.empty()) {
        topics.push_back(Settings.DiscoveryPrefix + "/status");
    }
    if (Settings.Commands) {
        topics.push_back(Settings.Prefix + "/variables/+/set");
        topics.push_back(Settings.Prefix + "/scripts/+/run");
    }
    for (const std::string& topic : topics) {
        const int subscribed = mosquitto_subscribe(Client, nullptr, topic.c_str(), QosAtLeastOnce);
        if (subscribed != MOSQ_ERR_SUCCESS) {
            Note(NHX_LOG_ERROR,
                 "MQTT: cannot subscribe to " + topic + ": " + ErrorText(subscribed));
        }
    }
    if (!StaleCheckPlanned) {
        StaleCheckPlanned = true;
        QMetaObject::invokeMethod(
            &LogContext,
            [this] {
                QTimer::singleShot(Settings.WithdrawAfterMs, &LogContext,
                                   [this] { RunGuarded([&] { WithdrawStale(); }); });
            },
            Qt::QueuedConnection);
    }
    PublishLocked(Settings.Prefix + "/status", "online", QosAtLeastOnce, true);
    PublishStateLocked();
    for (const auto& [topic, payload] : WaitingRuns) {
        PublishLocked(topic, payload, QosAtLeastOnce, false);
    }
    WaitingRuns.clear();
    QMetaObject::invokeMethod(
        &LogContext,
        [this] {
            RunGuarded([&] {
                if (Scripter) {
                    Scripter->PublishWaiting();
                }
            });
        },
        Qt::QueuedConnection);
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
