#include "Timer.h"

#include "MessageBox.h"

TTimer::TTimer(std::string name, int intervalMs, std::function<void()> handler)
    : TimerName(std::move(name)), IntervalMs(intervalMs), Handler(std::move(handler)) {
    setObjectName(QString::fromStdString(TimerName));
    Timer.setInterval(IntervalMs);
    QObject::connect(&Timer, &QTimer::timeout, this, &TTimer::Fire);
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled) {
        Timer.start();  // restarts the interval
    } else {
        Timer.stop();
    }
}

void TTimer::Fire() {
    if (Handler) {
        RunGuarded(Handler);
    }
}
