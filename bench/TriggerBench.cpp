// One tick of Timer1 (TriggerDueDates) of a real calendar instance in a host of counting
// services, beside the raw SQLite cost of the same statements, one connection per statement as
// the tick opens them. Files of 1,000, 100,000 and 1,000,000 appointments, each without an index
// on Dates, with the older index on Dates(Date) and with the index `mondrel-db init` makes.
//
// Three ticks: nothing due (12:05, today's rows done or later), ten due with scripts (the ten
// are opened again before each timed tick, with the clock stopped) and a tick in minute 0 with
// twenty flags. Each runs warm (tick after tick, as a tight loop leaves caches and heap) and cold
// (EvictProcessState before each timed tick: what a tick a minute after the last one finds).
#include <QCoreApplication>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "Clock.h"
#include "ColdState.h"
#include "Core.Mondrel.h"
#include "Core.Mondrel_Interface.h"
#include "CountingHost.h"
#include "DBCnx.h"
#include "RawSqlite.h"
#include "TickFiles.h"
#include "Timer.h"

namespace {

const int64_t Sizes[] = {1000, 100000, 1000000};
const TDatesIndex Indexes[] = {TDatesIndex::None, TDatesIndex::DateOnly, TDatesIndex::Chosen};

enum class TTick { NothingDue, TenDue, MinuteZero };

const char* TickName(TTick tick) {
    switch (tick) {
        case TTick::NothingDue:
            return "nothing-due";
        case TTick::TenDue:
            return "ten-due";
        case TTick::MinuteZero:
            return "minute-0";
    }
    return "?";
}

TDateTime TickTime(TTick tick) {
    return TickDay() +
           (tick == TTick::MinuteZero ? EncodeTime(12, 0, 30, 0) : EncodeTime(12, 5, 30, 0));
}

std::string DueList(const TTickFile& file) {
    std::string list;
    for (int64_t id : DueIDs(file)) {
        list += (list.empty() ? "" : ", ") + std::to_string(id);
    }
    return list;
}

void SetDueRows(const TTickFile& file, const std::string& dueList, bool done) {
    RawUntimedWrite(file.Path, {"UPDATE Dates SET Done = " + std::string(done ? "1" : "0") +
                                    " WHERE ID IN (" + dueList + ")",
                                {}});
}

// The tick's statements, each a unit of work of its own as the tick runs them.
std::vector<std::vector<TRawStatement>> RawTick(const TTickFile& file, TTick tick) {
    std::string today = DateToDBText('-', TickDay());
    std::vector<std::vector<TRawStatement>> units{
        {{"SELECT ID, Date, Time, Discription, Script FROM Dates WHERE Date = ? AND Done = 0 "
          "ORDER BY Time",
          {today}}}};
    if (tick == TTick::MinuteZero) {
        units.push_back({{"SELECT ID, Caption, Variable, Color, isFix FROM Flags", {}}});
        units.push_back({{"SELECT Date, FlagID FROM DayFlags WHERE Date = ?", {today}}});
    }
    if (tick == TTick::TenDue) {
        for (int64_t id : DueIDs(file)) {
            units.push_back(
                {{"SELECT ID, Date, Time, Discription, Value, Script, Done FROM Dates "
                  "WHERE ID = ?",
                  {id}}});
            units.push_back({{"UPDATE Dates SET Done = 1 WHERE ID = ?", {id}}});
        }
    }
    return units;
}

// Enough ticks for a stable median, few enough that the slow cases (no index on a large file,
// ten commits that each wait for the disk) end in seconds.
int Iterations(int64_t size, TDatesIndex index, TTick tick, bool cold) {
    if (index == TDatesIndex::None && size >= 100000) {
        return size >= 1000000 ? 8 : 30;
    }
    if (tick == TTick::TenDue) {
        return 20;
    }
    return cold ? 30 : 200;
}

void TimeTick(benchmark::State& state, int64_t size, TDatesIndex index, TTick tick, bool cold,
              bool raw) {
    const TTickFile& file = TickFile(size, index);
    const std::string dueList = DueList(file);
    SetDueRows(file, dueList, true);
    TCountingHost host("/nonexistent/", file.Path);
    auto instance = TNHXInterfacePtr<INHXMondrel>::Adopt(
        new TNHXMondrel(host.Kernel(), MondrelModuleInfo(), 1));
    TScopedClock clock(TickTime(tick));
    const auto units = RawTick(file, tick);
    const THostCounts before = host.Counts();

    for (auto _ : state) {
        if (tick == TTick::TenDue || cold) {
            state.PauseTiming();
            if (tick == TTick::TenDue) {
                SetDueRows(file, dueList, false);
                // An instance runs an appointment's script once a day; opened again, the row is
                // only marked done. A fresh instance runs all ten, as on the day they are new.
                instance = TNHXInterfacePtr<INHXMondrel>::Adopt(
                    new TNHXMondrel(host.Kernel(), MondrelModuleInfo(), 1));
            }
            if (cold) {
                EvictProcessState();
            }
            state.ResumeTiming();
        }
        if (raw) {
            for (const auto& unit : units) {
                benchmark::DoNotOptimize(RawUnitOfWork(file.Path, unit));
            }
        } else {
            static_cast<TNHXMondrel*>(instance.Get())->Timer1().Fire();
        }
    }
    SetDueRows(file, dueList, true);
    if (!raw) {
        const THostCounts& after = host.Counts();
        int64_t expectRuns = tick == TTick::TenDue ? DueCount * state.iterations() : 0;
        int64_t expectFlags = tick == TTick::MinuteZero ? FlagCount * state.iterations() : 0;
        if (after.Runs - before.Runs != expectRuns ||
            after.BooleanWrites - before.BooleanWrites != expectFlags) {
            state.SkipWithError("the tick did not do what it should");
        }
    }
}

std::string CaseName(TTick tick, int64_t size, TDatesIndex index, bool cold) {
    return std::string("tick/") + TickName(tick) + "/" + std::to_string(size) + "/" +
           IndexName(index) + "/" + (cold ? "cold" : "warm");
}

void RegisterAll() {
    for (TTick tick : {TTick::NothingDue, TTick::TenDue, TTick::MinuteZero}) {
        for (int64_t size : Sizes) {
            for (TDatesIndex index : Indexes) {
                for (bool cold : {false, true}) {
                    for (bool raw : {false, true}) {
                        std::string name =
                            CaseName(tick, size, index, cold) + (raw ? "/raw" : "/module");
                        benchmark::RegisterBenchmark(name.c_str(),
                                                     [=](benchmark::State& state) {
                                                         TimeTick(state, size, index, tick, cold,
                                                                  raw);
                                                     })
                            ->Unit(benchmark::kMicrosecond)
                            ->Iterations(Iterations(size, index, tick, cold))
                            ->Repetitions(5)
                            ->ReportAggregatesOnly(true);
                    }
                }
            }
        }
    }
}

void Summary(const TMedians& medians) {
    auto cpu = [&](const std::string& name) {
        auto found = medians.find(name);
        return found == medians.end() ? -1.0 : found->second.CpuUs;
    };
    for (TTick tick : {TTick::NothingDue, TTick::TenDue, TTick::MinuteZero}) {
        for (TDatesIndex index : Indexes) {
            for (bool cold : {false, true}) {
                for (int64_t size : Sizes) {
                    std::string name = CaseName(tick, size, index, cold);
                    double module = cpu(name + "/module");
                    double raw = cpu(name + "/raw");
                    if (module < 0 || raw < 0) {
                        continue;
                    }
                    PrintTime(name + "/module", module);
                    PrintTime(name + "/raw", raw);
                    PrintRatio(name + "/module-vs-raw", module / raw);
                }
                std::string small = CaseName(tick, 1000, index, cold) + "/module";
                std::string large = CaseName(tick, 1000000, index, cold) + "/module";
                if (cpu(small) > 0 && cpu(large) > 0) {
                    PrintRatio(std::string("tick/") + TickName(tick) + "/" + IndexName(index) +
                                   "/" + (cold ? "cold" : "warm") + "/1000000-vs-1000",
                               cpu(large) / cpu(small));
                }
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Timers need an event dispatcher on this thread; no event loop runs.
    QCoreApplication application(argc, argv);
    RegisterAll();
    return RunBenchmarks(argc, argv, Summary);
}
