#include "SignalQuitter.h"

#include <sys/signalfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <csignal>

namespace {

sigset_t QuitSignals() {
    sigset_t quitSignals;
    sigemptyset(&quitSignals);
    sigaddset(&quitSignals, SIGINT);
    sigaddset(&quitSignals, SIGTERM);
    return quitSignals;
}

void DrainSignals(int descriptor) {
    signalfd_siginfo info{};
    while (read(descriptor, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    }
}

}  // namespace

void BlockQuitSignals() {
    const sigset_t quitSignals = QuitSignals();
    pthread_sigmask(SIG_BLOCK, &quitSignals, nullptr);
}

void UnblockQuitSignals() {
    const sigset_t quitSignals = QuitSignals();
    sigprocmask(SIG_UNBLOCK, &quitSignals, nullptr);
}

TSignalQuitter::TSignalQuitter() {
    const sigset_t quitSignals = QuitSignals();
    Descriptor = signalfd(-1, &quitSignals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (Descriptor < 0) {
        return;
    }
    Notifier = std::make_unique<QSocketNotifier>(Descriptor, QSocketNotifier::Read);
    connect(Notifier.get(), &QSocketNotifier::activated, this, [this] {
        DrainSignals(Descriptor);
        QCoreApplication::quit();
    });
}

TSignalQuitter::~TSignalQuitter() {
    Notifier.reset();
    if (Descriptor >= 0) {
        DrainSignals(Descriptor);
        close(Descriptor);
    }
    UnblockQuitSignals();
}
