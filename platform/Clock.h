// The one source of the local date and time. Tests replace it to run the module "at 10:30:05".
#pragma once

#include <functional>

#include "DateTime.h"

// The current local date and time.
TDateTime Now();

using TClockSource = std::function<TDateTime()>;

// Replaces the clock while alive; the previous source comes back when it ends.
class TScopedClock {
  public:
    explicit TScopedClock(TClockSource source);
    explicit TScopedClock(TDateTime fixed);
    ~TScopedClock();
    TScopedClock(const TScopedClock&) = delete;
    TScopedClock& operator=(const TScopedClock&) = delete;

  private:
    TClockSource Previous;
};
