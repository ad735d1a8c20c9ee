// Many calendar instances in one host on one file of 1,000,000 appointments, as a host with a
// calendar per room would run them: every instance's Timer1 tick is driven directly, one after
// the other, once per simulated minute (EvictProcessState between minutes, with the clock
// stopped). Measured with getrusage (user plus system time of the whole process): the CPU of one
// round of ticks of all instances, per instance, and the CPU the instances cost while idle
// between ticks (the event loop running with all their timers armed).
#include <sys/resource.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "Clock.h"
#include "ColdState.h"
#include "Core.Mondrel.h"
#include "Core.Mondrel_Interface.h"
#include "CountingHost.h"
#include "TickFiles.h"
#include "Timer.h"

namespace {

constexpr int64_t Appointments = 1000000;
constexpr int IdleMs = 3000;

double ProcessCpuUs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto us = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_usec);
    };
    return us(usage.ru_utime) + us(usage.ru_stime);
}

std::map<std::string, double>& Figures() {
    static std::map<std::string, double> figures;
    return figures;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void RunInstances(benchmark::State& state, int count, TDatesIndex index, int rounds) {
    const TTickFile& file = TickFile(Appointments, index);
    TCountingHost host("/nonexistent/", file.Path);
    // 12:05:30 on the files' today: the day's rows are done or later, nothing is due.
    TScopedClock clock(TickDay() + EncodeTime(12, 5, 30, 0));
    std::vector<TNHXInterfacePtr<INHXMondrel>> instances;
    for (int i = 0; i < count; ++i) {
        instances.push_back(TNHXInterfacePtr<INHXMondrel>::Adopt(
            new TNHXMondrel(host.Kernel(), MondrelModuleInfo(), static_cast<uint16_t>(i + 1))));
    }
    std::vector<double> perInstance;
    for (auto _ : state) {
        for (int round = 0; round < rounds; ++round) {
            state.PauseTiming();
            EvictProcessState();
            state.ResumeTiming();
            double before = ProcessCpuUs();
            for (const auto& instance : instances) {
                static_cast<TNHXMondrel*>(instance.Get())->Timer1().Fire();
            }
            perInstance.push_back((ProcessCpuUs() - before) / count);
        }
    }
    // Idle: the event loop runs with every instance's timers armed and none due.
    double before = ProcessCpuUs();
    QEventLoop loop;
    QTimer::singleShot(IdleMs, &loop, &QEventLoop::quit);
    loop.exec();
    double idleShare = (ProcessCpuUs() - before) / (IdleMs * 1000.0);

    std::string name = "instances/" + std::to_string(count) + "/" + IndexName(index);
    double tick = Median(perInstance);
    Figures()[name + "/tick-per-instance"] = tick;
    Figures()[name + "/tick-all-instances"] = tick * count;
    // One tick a minute for every instance, plus the idle cost, as a share of one core.
    Figures()[name + "/cpu-share-percent"] = 100.0 * (tick * count / 60e6 + idleShare);
    Figures()[name + "/idle-cpu-per-second"] = idleShare * 1e6;
    state.counters["us_per_instance_tick"] = tick;
}

void RegisterAll() {
    for (TDatesIndex index : {TDatesIndex::DateOnly, TDatesIndex::Chosen, TDatesIndex::None}) {
        for (int count : {100, 1000}) {
            if (index == TDatesIndex::None && count > 100) {
                continue;  // a minute of ticks takes longer than a minute
            }
            int rounds = index == TDatesIndex::None ? 3 : (count == 100 ? 100 : 20);
            std::string name = "instances/" + std::to_string(count) + "/" + IndexName(index);
            benchmark::RegisterBenchmark(
                name.c_str(),
                [=](benchmark::State& state) { RunInstances(state, count, index, rounds); })
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1);
        }
    }
}

void Summary(const TMedians&) {
    for (const auto& [name, value] : Figures()) {
        if (name.find("percent") != std::string::npos) {
            PrintRatio(name, value);
        } else {
            PrintTime(name, value);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    RegisterAll();
    return RunBenchmarks(argc, argv, Summary);
}
