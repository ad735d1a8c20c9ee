// A tick that hands the host 300 script runs at once, with and without the run history: the
// runs only accepted (nothing starts, so what is left is the queue and the file's transactions),
// and the runs made to their end (a script that exits at once).
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "HostApplication.h"
#include "NHXHost.h"

namespace {

constexpr int TickRuns = 300;

void WriteQuickScript(const QString& dir) {
    QDir(dir).mkdir(QStringLiteral("scripts"));
    QFile file(dir + QStringLiteral("/scripts/quick.sh"));
    file.open(QIODevice::WriteOnly);
    file.write("#!/bin/sh\nexit 0\n");
    file.close();
    file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

void Tick(benchmark::State& state, bool run) {
    EnsureHostApplication();
    const bool withHistory = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        WriteQuickScript(dir.path());
        TNHXHostOptions options;
        options.KernelDir = dir.path().toStdString();
        if (withHistory) {
            options.HistoryFile = dir.path().toStdString() + "/history.sdb";
        }
        auto host = std::make_unique<TNHXHost>(options);
        if (!run) {
            host->Scripter().SetConcurrency(0);
        }
        state.ResumeTiming();
        for (int i = 0; i < TickRuns; ++i) {
            host->Scripter().Enqueue("quick.sh", "Mondrel",
                                     {{"Mondrel_Discription", "Feed the cat"},
                                      {"Mondrel_Value", std::to_string(i)},
                                      {"Mondrel_Date", "12/8/26"},
                                      {"Mondrel_Time", "10:30:00"}});
        }
        if (run) {
            host->Scripter().WaitForScripts(600000);
        }
        state.PauseTiming();
        host.reset();
        state.ResumeTiming();
    }
    state.SetLabel(withHistory ? "with history" : "without history");
}

void BM_Tick300Accepted(benchmark::State& state) {
    Tick(state, false);
}

void BM_Tick300Run(benchmark::State& state) {
    Tick(state, true);
}

}  // namespace

BENCHMARK(BM_Tick300Accepted)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Tick300Run)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK_MAIN();
