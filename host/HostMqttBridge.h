// The host's MQTT bridge (libmosquitto): every variable is published, retained, to
// PREFIX/variables/NAME on connect and on every change; every script run goes to
// PREFIX/scripts/NAME as one JSON object when it is asked for, and how it ended to
// PREFIX/scripts/NAME/result (not retained) and to PREFIX/event; scripts named "mqtt/TOPIC" only
// publish, to PREFIX/scripts/TOPIC. PREFIX/status says "online", and the broker says "offline"
// for us (the last will) when the host goes away.
//
// Names become topic levels one-to-one: '%', '+', '#', '/', control characters, bytes that are
// not UTF-8 and the zero byte are written as %XX; a level that would be longer than 200 bytes
// keeps its first part and ends in "%~" and a hash of the whole name.
//
// With commands (off unless asked for: anyone who may publish on the broker can then change
// variables and run scripts), PREFIX/variables/NAME/set writes a variable and
// PREFIX/scripts/NAME/run runs a script of the folder with a JSON object of strings as its
// parameters. A retained command (stale by the time we connect) is never acted on.
//
// With a discovery prefix, the host is one device (DISCOVERY/device/ID/config): booleans are
// binary sensors and other variables sensors, or switches and texts with commands; scripts named
// as buttons are buttons; one event entity carries every run's outcome, and one for each module
// instance the outcomes of the runs that instance asked for (PREFIX/instances/N/event). The
// message and the
// state are sent again, after a short random delay, whenever the home system says "online" on
// DISCOVERY/status. A variable published before (the broker still holds its state) that no
// longer exists some seconds after connecting is withdrawn: its state is cleared and its entity
// removed from the device.
//
// The network runs on a thread of the bridge's own, with libmosquitto's blocking calls (name
// lookup, connect, TLS handshake, the socket loop): none of it can stall the event loop, and a
// broker that is down or slow costs the host nothing but that thread. The event loop's side only
// hands messages over (libmosquitto queues them under its own lock) and updates the retained state
// under the bridge's lock; the thread's news (connected, lost, refused, commands) reaches the
// event loop through queued calls. A lost broker is retried with back-off (1 s doubling to 60 s);
// its loss and each different refusal are logged once, and the retained state is published again
// on reconnect, followed by the script runs made meanwhile (the last 1,000 at most).
#pragma once

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "HostLog.h"

struct mosquitto;
struct THostVariable;
struct THostScriptRun;
struct THostScriptResult;
class THostVariableManager;
class THostEventScripter;
class QDateTime;

struct THostMqttOptions {
    std::string Host;  // empty: no bridge
    int Port = 1883;
    bool Tls = false;
    std::string User;  // empty: no credentials
    std::string Password;
    std::string Prefix = "nhx";
    std::string DiscoveryPrefix;       // empty: no discovery messages
    bool Commands = false;             // act on .../set and .../run
    std::vector<std::string> Buttons;  // scripts announced as buttons (with Commands)
    // How long after the first connect variables the broker holds and we do not are withdrawn
    // (the module creates its variables as it starts).
    int WithdrawAfterMs = 10000;
    // Where the password came from, for the warning about one in the URL.
    bool PasswordInUrl = false;

    bool Enabled() const { return !Host.empty(); }
    // "host:port" for messages.
    std::string Address() const;
};

// Sets the broker of `options` from mqtt://[user[:password]@]host[:port] or mqtts://...;
// raises std::invalid_argument saying what is wrong.
void ApplyMqttUrl(THostMqttOptions& options, const std::string& url);
// The URL with its password, if any, as "***".
std::string RedactedUrl(const std::string& url);
// A prefix of topics we publish to: levels separated by '/', none empty, no '+', '#' or zero byte.
bool IsTopicPrefix(const std::string& prefix);

class THostMqttBridge {
  public:
    THostMqttBridge(THostMqttOptions options, std::shared_ptr<THostLog> log);
    // Says "offline", disconnects and ends the thread.
    ~THostMqttBridge();
    THostMqttBridge(const THostMqttBridge&) = delete;
    THostMqttBridge& operator=(const THostMqttBridge&) = delete;

    // Publishes the variables there are and every later change, and every script run; makes
    // "mqtt/TOPIC" scripts known. Both must outlive the bridge.
    void Attach(THostVariableManager& variables, THostEventScripter& scripter);
    // Starts connecting (on the bridge's thread).
    void Start();

    // A module instance: its own event entity joins the device.
    void AddInstance(uint16_t instance);
    void PublishVariable(const THostVariable& variable);
    // Answers false when the run cannot be published (a topic MQTT refuses).
    bool PublishScriptRun(const THostScriptRun& run);
    // How a run ended, to PREFIX/scripts/NAME/result and the event entity's topic.
    void PublishResult(const THostScriptResult& result);

    bool Connected() const { return IsConnected; }
    const THostMqttOptions& Options() const { return Settings; }

    // The JSON object of a run: sender, instance (null for none), time (ISO 8601, local with
    // offset), parameters by name in the order given.
    static std::string ScriptRunJson(const THostScriptRun& run, const QDateTime& time);
    // The JSON object of a result: sender, instance (null for none), script, parameters,
    // started, finished, exit_status, outcome, reason, output_tail.
    static std::string ResultJson(const THostScriptResult& result);
    // A variable or script name as one topic level, one-to-one (see above).
    static std::string TopicLevel(const std::string& name);
    // The name of a level TopicLevel made; none for a level it cannot have made or one that
    // carries a hash.
    static std::optional<std::string> NameOfLevel(const std::string& level);
    // A topic level (or any text) as a discovery id: letters, digits and '-' as they are, every
    // other byte as _XX; one-to-one.
    static std::string DiscoveryId(const std::string& text);
    // The device message of the discovery.
    std::string DiscoveryTopic() const;
    std::string DiscoveryPayload() const;
    // "instances/N/event": below the prefix, the topic of instance N's event entity.
    static std::string InstanceEventLevel(uint16_t instance);

  private:
    void RunNetwork();
    void SleepBeforeRetry();
    // Called on the network thread by libmosquitto.
    void OnConnect(int result);
    void OnDisconnect(int result);
    // Hands a log note to the event loop's thread.
    void Note(int32_t kind, std::string text);
    // With the lock held: publishes and logs a refusal.
    bool PublishLocked(const std::string& topic, const std::string& payload, int qos, bool retain);
    void RetainLocked(const std::string& topic, const std::string& payload);
    // With the lock held: the level of a name, logged once when it differs from the name.
    std::string LevelLocked(const std::string& name);
    std::string DiscoveryPayloadLocked() const;
    void AnnounceLocked();
    void PublishStateLocked();
    // Called on the network thread with each message that arrives.
    void OnMessage(const std::string& topic, const std::string& payload, bool retained);
    // On the event loop's thread.
    void HandleCommand(const std::string& topic, const std::string& payload);
    void SetVariable(const std::string& level, const std::string& payload);
    void RunCommand(const std::string& level, const std::string& payload);
    void WithdrawStale();
    std::vector<std::string> StaleCheckTopics() const;

    THostMqttOptions Settings;
    std::shared_ptr<THostLog> Log;
    THostVariableManager* Variables = nullptr;
    THostEventScripter* Scripter = nullptr;
    // Lives on the event loop's thread; the network thread's notes are queued to it.
    QObject LogContext;

    std::mutex Lock;
    std::condition_variable Wake;
    mosquitto* Client = nullptr;
    // Topic to payload of everything retained, published again on every connect.
    std::map<std::string, std::string> Retained;
    // Variables in the device message by name: their type code; withdrawn ones by component id:
    // their platform.
    std::map<std::string, uint8_t> Announced;
    std::map<std::string, std::string> Withdrawn;
    std::set<uint16_t> Instances;
    std::string DeviceConfig;
    // Names logged for their encoded level; levels of variable states seen retained on the
    // broker at connect that we did not publish; the platforms of the device message found there.
    std::set<std::string> EncodedNoted;
    std::set<std::string> StaleLevels;
    std::map<std::string, std::string> OldPlatforms;
    bool StaleCheckPlanned = false;
    bool StaleCheckDone = false;
    std::atomic<bool> IsConnected = false;
    bool Stopping = false;
    // Script runs (topic, payload) made while the broker is away, published in order when it is
    // back; at most MaxWaitingRuns.
    std::deque<std::pair<std::string, std::string>> WaitingRuns;
    bool OverflowNoted = false;
    // Network thread only.
    int RetryDelaySeconds = 1;
    bool LossNoted = false;
    std::string LastRefusal;
    std::thread Network;
    // What the scripter's result listener reaches the bridge through.
    std::shared_ptr<THostMqttBridge*> Self = std::make_shared<THostMqttBridge*>(this);
};
