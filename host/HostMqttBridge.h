// The host's MQTT bridge (libmosquitto): every variable is published, retained, to
// PREFIX/variables/NAME on connect and on every change; every script run goes to
// PREFIX/scripts/NAME as one JSON object; scripts named "mqtt/TOPIC" only publish, to
// PREFIX/scripts/TOPIC. PREFIX/status says "online", and the broker says "offline" for us (the
// last will) when the host goes away. With a discovery prefix, each boolean variable is announced
// as a binary sensor and each other one as a sensor, all of one device.
//
// The network runs on a thread of the bridge's own, with libmosquitto's blocking calls (name
// lookup, connect, TLS handshake, the socket loop): none of it can stall the event loop, and a
// broker that is down or slow costs the host nothing but that thread. The event loop's side only
// hands messages over (libmosquitto queues them under its own lock) and updates the retained state
// under the bridge's lock; the thread's news (connected, lost, refused) reaches the log through the
// event loop. A lost broker is retried with back-off (1 s doubling to 60 s); its loss and each
// different refusal are logged once, and the retained state is published again on reconnect,
// followed by the script runs made meanwhile (the last 1,000 at most).
#pragma once

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "HostLog.h"

struct mosquitto;
struct THostVariable;
struct THostScriptRun;
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
    std::string DiscoveryPrefix;  // empty: no discovery messages

    bool Enabled() const { return !Host.empty(); }
    // "host:port" for messages.
    std::string Address() const;
};

// Sets the broker of `options` from mqtt://[user[:password]@]host[:port] or mqtts://...;
// raises std::invalid_argument saying what is wrong.
void ApplyMqttUrl(THostMqttOptions& options, const std::string& url);
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

    void PublishVariable(const THostVariable& variable);
    // Answers false when the run cannot be published (a topic MQTT refuses).
    bool PublishScriptRun(const THostScriptRun& run);

    bool Connected() const { return IsConnected; }
    const THostMqttOptions& Options() const { return Settings; }

    // The JSON object of a run: sender, time (ISO 8601, local with offset), parameters by name in
    // the order given.
    static std::string ScriptRunJson(const THostScriptRun& run, const QDateTime& time);
    // A variable or script name as one topic level: '/', '+', '#' and zero bytes become '_'.
    static std::string TopicLevel(const std::string& name);

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
    std::string DiscoveryTopic(const THostVariable& variable) const;
    std::string DiscoveryPayload(const THostVariable& variable) const;

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
};
