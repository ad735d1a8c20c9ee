// Turns SIGINT and SIGTERM into a normal end of the event loop, so the host still releases its
// instances, unregisters and unloads the module when stopped with Ctrl+C or kill.
//
// The two signals are blocked in every thread (BlockQuitSignals, called before the first thread
// starts, so each thread inherits the mask) and read from a signalfd that the event loop
// watches: no handler runs at an arbitrary point of some thread, and nothing depends on which
// thread the kernel picks or on when a runtime that intercepts signals (a sanitizer's) passes
// one on. Children must not inherit the mask: UnblockQuitSignals runs in each script's process
// before its exec.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

// Blocks SIGINT and SIGTERM in the calling thread and in the threads it starts from now on.
void BlockQuitSignals();
// Unblocks them in the calling thread (async-signal-safe: for a child between fork and exec).
void UnblockQuitSignals();

class TSignalQuitter : public QObject {
    Q_OBJECT
  public:
    // Call BlockQuitSignals first, before any thread is started.
    TSignalQuitter();
    // Signals that came meanwhile are dropped, and the two are unblocked again.
    ~TSignalQuitter() override;
    TSignalQuitter(const TSignalQuitter&) = delete;
    TSignalQuitter& operator=(const TSignalQuitter&) = delete;

  private:
    int Descriptor = -1;
    std::unique_ptr<QSocketNotifier> Notifier;
};
