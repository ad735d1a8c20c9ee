#include "Clock.h"

#include <chrono>
#include <ctime>

namespace {

TDateTime SystemNow() {
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
           EncodeTime(local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(ms));
}

TClockSource& Source() {
    static TClockSource source;
    return source;
}

}  // namespace

TDateTime Now() {
    return Source() ? Source()() : SystemNow();
}

TScopedClock::TScopedClock(TClockSource source) : Previous(std::move(Source())) {
    Source() = std::move(source);
}

TScopedClock::TScopedClock(TDateTime fixed) : TScopedClock([fixed] { return fixed; }) {}

TScopedClock::~TScopedClock() {
    Source() = std::move(Previous);
}
