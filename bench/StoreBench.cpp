// Times every store operation on files of 1,000, 100,000 and 1,000,000 appointments beside the
// raw SQLite cost of the same statements, and prints the ratios at the end.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "BenchDatabase.h"
#include "BenchReport.h"
#include "DBCnx.h"
#include "RawSqlite.h"
#include "TimeText.h"

namespace {

const int64_t Sizes[] = {1000, 100000, 1000000};

std::string Text(TDateTime day) {
    return DateToDBText('-', day);
}

// Removes what the adding benchmarks wrote, outside the timed loop.
void RemoveScratchRows(const TBenchDatabase& db) {
    RawUntimedWrite(db.Path, {"DELETE FROM Dates WHERE Date = ?", {Text(db.ScratchDay)}});
}

// SQLite writes nothing for an update that changes nothing, so marking done is timed on a row
// that is open each time.
void ReopenMiddleRow(const TBenchDatabase& db) {
    RawUntimedWrite(db.Path, {"UPDATE Dates SET Done = 0 WHERE ID = ?", {db.MiddleID}});
}

TMondrelDate ScratchAppointment(const TBenchDatabase& db) {
    TMondrelDate appointment;
    appointment.Date = db.ScratchDay;
    appointment.Time = EncodeTime(10, 30, 0, 0);
    appointment.Discription = "Benchmark appointment";
    appointment.Value = "value";
    appointment.Script = "Script";
    return appointment;
}

struct TOperation {
    std::string Name;
    std::function<void(const TBenchDatabase&)> Store;
    std::function<std::vector<TRawStatement>(const TBenchDatabase&)> Raw;
    bool AddsScratchRows = false;
    // Puts the file back before each timed call, with the clock stopped.
    std::function<void(const TBenchDatabase&)> Reset;
};

std::vector<TOperation> Operations() {
    const char* listColumns = "SELECT ID, Date, Time, Discription, Script FROM Dates ";
    return {
        {"GetDates(dqMonth)",
         [](const TBenchDatabase& db) {
             benchmark::DoNotOptimize(GetDates(db.Path, dqMonth, db.ProbeMonth));
         },
         [=](const TBenchDatabase& db) {
             return std::vector<TRawStatement>{
                 {std::string(listColumns) + "WHERE Date >= ? AND Date <= ? ORDER BY Time",
                  {Text(db.ProbeMonth), Text(db.ProbeMonth + 29)}}};
         },
         false, nullptr},
        {"GetDates(dqDayOpen)",
         [](const TBenchDatabase& db) {
             benchmark::DoNotOptimize(GetDates(db.Path, dqDayOpen, db.ProbeDay));
         },
         [=](const TBenchDatabase& db) {
             return std::vector<TRawStatement>{
                 {std::string(listColumns) + "WHERE Date = ? AND Done = 0 ORDER BY Time",
                  {Text(db.ProbeDay)}}};
         },
         false, nullptr},
        {"GetDate",
         [](const TBenchDatabase& db) { benchmark::DoNotOptimize(GetDate(db.Path, db.MiddleID)); },
         [](const TBenchDatabase& db) {
             return std::vector<TRawStatement>{
                 {"SELECT ID, Date, Time, Discription, Value, Script, Done FROM Dates WHERE ID = ?",
                  {db.MiddleID}}};
         },
         false, nullptr},
        {"AddDate", [](const TBenchDatabase& db) { AddDate(db.Path, ScratchAppointment(db)); },
         [](const TBenchDatabase& db) {
             TMondrelDate a = ScratchAppointment(db);
             return std::vector<TRawStatement>{
                 {"INSERT INTO Dates (Date, Time, Discription, Value, Script) "
                  "VALUES (?, ?, ?, ?, ?)",
                  {Text(a.Date), FormatLongTime(a.Time), a.Discription, a.Value, a.Script}},
                 {"UPDATE Dates SET Done = 0 WHERE rowid = last_insert_rowid() AND Done IS NULL",
                  {}}};
         },
         true, nullptr},
        {"SetDateDone", [](const TBenchDatabase& db) { SetDateDone(db.Path, db.MiddleID); },
         [](const TBenchDatabase& db) {
             return std::vector<TRawStatement>{
                 {"UPDATE Dates SET Done = 1 WHERE ID = ?", {db.MiddleID}}};
         },
         false, ReopenMiddleRow},
        {"GetFlags", [](const TBenchDatabase& db) { benchmark::DoNotOptimize(GetFlags(db.Path)); },
         [](const TBenchDatabase&) {
             return std::vector<TRawStatement>{
                 {"SELECT ID, Caption, Variable, Color, isFix FROM Flags", {}}};
         },
         false, nullptr},
        {"GetDayFlags",
         [](const TBenchDatabase& db) {
             benchmark::DoNotOptimize(GetDayFlags(db.Path, db.ProbeDay));
         },
         [](const TBenchDatabase& db) {
             return std::vector<TRawStatement>{
                 {"SELECT Date, FlagID FROM DayFlags WHERE Date = ?", {Text(db.ProbeDay)}}};
         },
         false, nullptr},
        {"SetDayFlags",
         [](const TBenchDatabase& db) {
             SetDayFlags(db.Path, {1, 2, 3}, db.ProbeDay);
         },
         [](const TBenchDatabase& db) {
             std::string day = Text(db.ProbeDay);
             std::vector<TRawStatement> statements{{"DELETE From DayFlags WHERE Date = ?", {day}}};
             for (int64_t flag : {1, 2, 3}) {
                 statements.push_back(
                     {"INSERT INTO DayFlags (Date, FlagID) VALUES (?, ?)", {day, flag}});
             }
             return statements;
         },
         false, nullptr},
    };
}

// Times `work` on the file of `size` appointments, putting the file back as the operation needs.
void TimeOperation(benchmark::State& state, const TOperation& operation, int64_t size,
                   const std::function<void(const TBenchDatabase&)>& work) {
    const TBenchDatabase& db = BenchDatabase(size);
    for (auto _ : state) {
        if (operation.Reset) {
            state.PauseTiming();
            operation.Reset(db);
            state.ResumeTiming();
        }
        work(db);
    }
    if (operation.AddsScratchRows) {
        RemoveScratchRows(db);
    }
}

void RegisterAll() {
    for (const TOperation& operation : Operations()) {
        for (int64_t size : Sizes) {
            std::string suffix = operation.Name + "/" + std::to_string(size);
            benchmark::RegisterBenchmark(("Store/" + suffix).c_str(), [operation, size](
                                                                          benchmark::State& state) {
                TimeOperation(state, operation, size, operation.Store);
            })->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark(("Raw/" + suffix).c_str(), [operation, size](
                                                                        benchmark::State& state) {
                auto statements = operation.Raw(BenchDatabase(size));
                TimeOperation(state, operation, size, [&](const TBenchDatabase& db) {
                    RawUnitOfWork(db.Path, statements);
                });
            })->Unit(benchmark::kMicrosecond);
        }
    }
}

// Prints as usual, and at the end one line per operation and size: store, raw, ratio.
class TRatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            // With repetitions the median stands for the benchmark, else its one run.
            bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if ((median || single) && !run.error_occurred) {
                Times[run.run_name.str()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
            }
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        // Writes wait for the disk, which varies a lot; the CPU ratio shows the wrapper's own cost.
        std::printf("\n%-22s %8s %11s %11s %6s %10s %10s %6s\n", "operation", "rows", "store (us)",
                    "raw (us)", "ratio", "store cpu", "raw cpu", "ratio");
        for (const auto& [name, store] : Times) {
            if (name.rfind("Store/", 0) != 0) {
                continue;
            }
            std::string rest = name.substr(6);
            auto raw = Times.find("Raw/" + rest);
            if (raw == Times.end()) {
                continue;
            }
            size_t slash = rest.rfind('/');
            const TTimes& rawTimes = raw->second;
            std::printf("%-22s %8s %11.1f %11.1f %6.2f %10.1f %10.1f %6.2f\n",
                        rest.substr(0, slash).c_str(), rest.substr(slash + 1).c_str(), store.Real,
                        rawTimes.Real, store.Real / rawTimes.Real, store.Cpu, rawTimes.Cpu,
                        store.Cpu / rawTimes.Cpu);
        }
        std::printf("\n");
        for (const auto& [name, store] : Times) {
            auto raw = Times.find("Raw/" + name.substr(6));
            if (name.rfind("Store/", 0) == 0 && raw != Times.end()) {
                PrintTime(name, store.Cpu);
                PrintTime(raw->first, raw->second.Cpu);
                PrintRatio(name.substr(6) + "/store-vs-raw", store.Cpu / raw->second.Cpu);
            }
        }
    }

  private:
    struct TTimes {
        double Real = 0;
        double Cpu = 0;
    };
    std::map<std::string, TTimes> Times;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RegisterAll();
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
