#include "Timer.h"

#include "MessageBox.h"

TTimer::TTimer(std::string name, int intervalMs, std::function<void()> handler)
    : TimerName(std::move(name)), IntervalMs(intervalMs), Handler(std::move(handler)) {
    setObjectName(QString::fromStdString(TimerName));
    Timer.setParent(this);  // goes before the base, which then finds it gone
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
    // The handler may end the owner of this timer and with it the timer: it runs from a copy,
    // and nothing of the timer is touched after it.
    if (std::function<void()> handler = Handler) {
        RunGuarded(handler);
    }
}
