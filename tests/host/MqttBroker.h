// A mosquitto broker of the test's own on 127.0.0.1 and a free port, and mosquitto_sub to read
// what reached it. Tests skip when mosquitto is not installed (scripts/setup installs it).
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <map>
#include <string>
#include <vector>

#include "HostTestSupport.h"

// A port nobody listens on now: the kernel's pick for a socket bound to port 0.
inline int FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

inline bool PortAccepts(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool accepted = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return accepted;
}

class TMqttBroker {
  public:
    // Without `anonymous`, every client is refused (no one has a password).
    explicit TMqttBroker(const std::string& dir, bool anonymous = true)
        : Port(FreeLoopbackPort()),
          ConfigFile(dir + "mosquitto.conf"),
          // No persistence: a restarted broker has forgotten every retained message.
          Config("allow_anonymous " + std::string(anonymous ? "true" : "false") +
                 "\npersistence false\nlistener " + std::to_string(Port) + " 127.0.0.1\n") {
        WriteWholeFile(ConfigFile, Config, false);
    }

    // A second listener that speaks TLS with the given certificate; answers its port. Call
    // before Start().
    int AddTlsListener(const std::string& certificate, const std::string& key) {
        const int port = FreeLoopbackPort();
        // Started as root, the broker would read the key as its own user, which may not.
        Config += "user root\nlistener " + std::to_string(port) + " 127.0.0.1\ncertfile " +
                  certificate + "\nkeyfile " + key + "\n";
        WriteWholeFile(ConfigFile, Config, false);
        return port;
    }
    // Only `user` with `password` may connect (mosquitto_passwd makes the file). Call before
    // Start(); answers false when that fails.
    bool RequirePassword(const std::string& dir, const std::string& user,
                         const std::string& password) {
        const std::string file = dir + "broker-passwords";
        QProcess passwd;
        passwd.start(FindProgram(QStringLiteral("mosquitto_passwd")),
                     {"-b", "-c", QString::fromStdString(file), QString::fromStdString(user),
                      QString::fromStdString(password)});
        if (!passwd.waitForFinished(10000) || passwd.exitCode() != 0) {
            return false;
        }
        // Started as root, the broker would read the file as its own user, which may not.
        Config = "allow_anonymous false\nuser root\npassword_file " + file + "\n" +
                 Config.substr(Config.find('\n') + 1);
        WriteWholeFile(ConfigFile, Config, false);
        return true;
    }
    ~TMqttBroker() { Stop(); }

    static QString Program() { return FindProgram("mosquitto"); }
    static QString FindProgram(const QString& name) {
        QString found = QStandardPaths::findExecutable(name);
        return found.isEmpty() ? QStandardPaths::findExecutable(
                                     name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")})
                               : found;
    }
    static bool Installed() {
        return !Program().isEmpty() && !FindProgram(QStringLiteral("mosquitto_sub")).isEmpty();
    }

    bool Start() {
        Process.start(Program(), {QStringLiteral("-c"), QString::fromStdString(ConfigFile)});
        if (!Process.waitForStarted(10000)) {
            return false;
        }
        QDeadlineTimer deadline(10000);
        while (!PortAccepts(Port) && !deadline.hasExpired()) {
            QThread::msleep(20);
        }
        return PortAccepts(Port);
    }
    void Stop() {
        if (Process.state() != QProcess::NotRunning) {
            Process.terminate();
            if (!Process.waitForFinished(10000)) {
                Process.kill();
                Process.waitForFinished(5000);
            }
        }
    }

    const int Port;

  private:
    std::string ConfigFile;
    std::string Config;
    QProcess Process;
};

// mosquitto_sub on the broker: the first `count` messages of the topics, as "topic payload" lines,
// within `seconds`. Start() and Lines() split it for messages that are not retained.
class TMqttSubscriber {
  public:
    TMqttSubscriber(int port, const std::vector<std::string>& topics, int count, int seconds = 20) {
        QStringList args{"-h",
                         "127.0.0.1",
                         "-p",
                         QString::number(port),
                         "-v",
                         "-C",
                         QString::number(count),
                         "-W",
                         QString::number(seconds)};
        for (const std::string& topic : topics) {
            args << "-t" << QString::fromStdString(topic);
        }
        Process.start(TMqttBroker::FindProgram(QStringLiteral("mosquitto_sub")), args);
        Process.waitForStarted(10000);
    }
    ~TMqttSubscriber() {
        Process.kill();
        Process.waitForFinished(5000);
    }

    // Waits for the first line (a retained message proves the subscription is in place).
    bool WaitForFirstLine(int timeoutMs = 15000) {
        QDeadlineTimer deadline(timeoutMs);
        while (!Process.canReadLine() && !deadline.hasExpired()) {
            QCoreApplication::processEvents();
            Process.waitForReadyRead(50);
        }
        return Process.canReadLine();
    }

    // Every line until mosquitto_sub ends, processing the test's events meanwhile.
    std::vector<std::string> Lines(int timeoutMs = 30000) {
        QDeadlineTimer deadline(timeoutMs);
        while (Process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            QCoreApplication::processEvents();
            Process.waitForFinished(50);
        }
        std::vector<std::string> lines;
        const QList<QByteArray> all = Process.readAll().split('\n');
        for (const QByteArray& line : all) {
            if (!line.isEmpty()) {
                lines.push_back(line.toStdString());
            }
        }
        return lines;
    }

    // Topic to payload of Lines(); the last message of a topic wins.
    std::map<std::string, std::string> Messages(int timeoutMs = 30000) {
        std::map<std::string, std::string> messages;
        for (const std::string& line : Lines(timeoutMs)) {
            const size_t space = line.find(' ');
            messages[line.substr(0, space)] =
                space == std::string::npos ? std::string() : line.substr(space + 1);
        }
        return messages;
    }

  private:
    QProcess Process;
};
