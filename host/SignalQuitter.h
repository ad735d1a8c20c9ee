// Turns SIGINT and SIGTERM into a normal end of the event loop, so the host still releases its
// instances, unregisters and unloads the module when stopped with Ctrl+C or kill.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

class TSignalQuitter : public QObject {
    Q_OBJECT
  public:
    TSignalQuitter();
    ~TSignalQuitter() override;
    TSignalQuitter(const TSignalQuitter&) = delete;
    TSignalQuitter& operator=(const TSignalQuitter&) = delete;

  private:
    std::unique_ptr<QSocketNotifier> Notifier;
};
