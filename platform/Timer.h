// A message-loop timer: a name, an interval in milliseconds and an enabled switch. Switching it
// on restarts the interval. The handler runs on the thread that created the timer; whatever it
// throws is shown through the default error report, and the timer keeps running.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <string>

class TTimer : public QObject {
    Q_OBJECT
  public:
    TTimer(std::string name, int intervalMs, std::function<void()> handler);

    const std::string& Name() const { return TimerName; }
    int Interval() const { return IntervalMs; }
    bool Enabled() const { return Timer.isActive(); }
    void SetEnabled(bool enabled);

    // Runs the handler as a tick would (tests call this instead of waiting).
    void Fire();

  private:
    std::string TimerName;
    int IntervalMs;
    std::function<void()> Handler;
    QTimer Timer;
};
