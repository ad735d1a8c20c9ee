#include "SignalQuitter.h"

#include <sys/socket.h>
#include <unistd.h>
#include <QCoreApplication>
#include <csignal>

namespace {

// The handler may only write to a pipe; the event loop reads the other end.
int SignalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t written = write(SignalPipe[0], &byte, 1);
}

}  // namespace

TSignalQuitter::TSignalQuitter() {
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, SignalPipe) != 0) {
        return;
    }
    Notifier = std::make_unique<QSocketNotifier>(SignalPipe[1], QSocketNotifier::Read);
    connect(Notifier.get(), &QSocketNotifier::activated, this, [] {
        char byte = 0;
        [[maybe_unused]] ssize_t read_ = read(SignalPipe[1], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

TSignalQuitter::~TSignalQuitter() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    Notifier.reset();
    for (int& fd : SignalPipe) {
        if (fd >= 0) {
            close(fd);
            fd = -1;
        }
    }
}
