// Times `mondrel-db import` of a 10,000-event iCalendar file and `mondrel-db export` of a
// 100,000-appointment file, each one transaction, beside inserting the same rows with raw SQLite.
// Rates are events (rows) per second; the TIME and RATIO lines use CPU time.
//
// Measured 2026-12-09 on the shared 2-core build machine (AMD EPYC, load about 1), RelWithDebInfo,
// CPU time, medians of 5 repetitions; six runs of the program, each ratio against the raw insert
// of its own run:
//   import of 10,000 events     105-149 ms   raw insert of the rows 23-37 ms   3.7 to 4.9 times,
//                                                                             median 4.2
//   reading the calendar alone   58-64 ms                                      1.7 to 2.6 times,
//                                                                             median 2.3
//   export of 100,000 rows      543-752 ms   raw insert of the rows 313-450 ms 1.4 to 1.9 times
//                                                                             (three runs)
// CPU times on this machine vary by a third from run to run; instruction counts (valgrind
// --tool=callgrind) repeat exactly: the import takes 951 million, the raw insert 201 million,
// 4.7 times. Of the import's instructions:
//   49%  libical parsing the text and freeing its components
//   28%  SQLite inserting the 10,000 rows and their 10,000 records (the rows alone cost what the
//        raw insert does; the records go 64 to a statement)
//    8%  events read from libical's components and their occurrences worked out
//    3%  the text scan for cut-off files and summaries as written
//    3%  the rows the calendar wants, with their date and time texts
//    2%  the import plan (which rows to add, update, remove)
//    7%  the rest: date and time texts converted for the store, statement overhead, teardown
// so libical and SQLite alone come to about 3.6 times the raw insert. Before this round (same
// day, same machine) the import took 1,619 million instructions and 7.0 times the raw insert's
// CPU time.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "BenchDatabase.h"
#include "BenchReport.h"
#include "ICalAdapter.h"
#include "ICalendarSupport.h"
#include "MondrelDbCommand.h"
#include "MondrelSchema.h"
#include "ToolRun.h"

namespace {

constexpr int ImportEvents = 10000;
constexpr int ExportAppointments = 100000;

std::filesystem::path Folder() {
    static const std::filesystem::path folder = MakeBenchFolder("mondrel-ical-bench", false);
    return folder;
}

// The day and time of event n, spread over 2027.
void Slot(int n, int& month, int& day, int& hour, int& minute) {
    month = 1 + n % 12;
    day = 1 + (n / 12) % 28;
    hour = (n * 7) % 24;
    minute = (n * 13) % 60;
}

const std::string& ImportFile() {
    static const std::string path = [] {
        std::string file = (Folder() / "events-10000.ics").string();
        std::ofstream out(file, std::ios::binary);
        out << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//bench//EN\r\n";
        for (int n = 0; n < ImportEvents; ++n) {
            int month, day, hour, minute;
            Slot(n, month, day, hour, minute);
            char start[32];
            std::snprintf(start, sizeof start, "2027%02d%02dT%02d%02d00", month, day, hour, minute);
            out << "BEGIN:VEVENT\r\nUID:bench-" << n
                << "@example.org\r\nDTSTAMP:20270101T000000Z\r\n"
                << "DTSTART:" << start << "\r\nSUMMARY:Benchmark event " << n
                << "\r\nEND:VEVENT\r\n";
        }
        out << "END:VCALENDAR\r\n";
        return file;
    }();
    return path;
}

const std::string& EmptyDatabase() {
    static const std::string path = [] {
        std::string file = (Folder() / "empty.sdb").string();
        std::filesystem::remove(file);
        CreateMondrelDatabase(file);
        return file;
    }();
    return path;
}

std::string FreshCopy() {
    std::string target = (Folder() / "target.sdb").string();
    std::filesystem::copy_file(EmptyDatabase(), target,
                               std::filesystem::copy_options::overwrite_existing);
    return target;
}

void RunTool(benchmark::State& state, const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    if (RunMondrelDb(args, out, err) != 0) {
        state.SkipWithError(err.str().c_str());
    }
}

void Import10000Events(benchmark::State& state) {
    const std::string& file = ImportFile();
    for (auto _ : state) {
        state.PauseTiming();
        std::string target = FreshCopy();
        state.ResumeTiming();
        RunTool(state, {"import", target, file, "--from", "2027-01-01", "--until", "2027-12-31",
                        "--script", "Bench"});
    }
    state.SetItemsProcessed(state.iterations() * ImportEvents);
}

// The import's first step alone: libical reading the file and the occurrences taken from it.
void Read10000Events(benchmark::State& state) {
    std::string text = ReadCalendarText(ImportFile(), std::cin);
    TICalWindow window{{2027, 1, 1, 0, 0, 0}, {2027, 12, 31, 0, 0, 0}};
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadICalendar(text, window));
    }
    state.SetItemsProcessed(state.iterations() * ImportEvents);
}

void Export100000Appointments(benchmark::State& state) {
    const TBenchDatabase& database = BenchDatabase(ExportAppointments);
    std::string file = (Folder() / "export.ics").string();
    for (auto _ : state) {
        RunTool(state, {"export", database.Path, file});
    }
    state.SetItemsProcessed(state.iterations() * ExportAppointments);
}

void Check(sqlite3* handle, int rc) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        throw std::runtime_error(sqlite3_errmsg(handle));
    }
}

// The same rows as the import writes (Dates), with the SQLite C API alone: open, begin, one
// prepared insert bound and stepped per row, commit, close.
void RawInsert(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        std::string target = FreshCopy();
        state.ResumeTiming();
        sqlite3* handle = nullptr;
        Check(handle, sqlite3_open(target.c_str(), &handle));
        Check(handle, sqlite3_exec(handle, "begin", nullptr, nullptr, nullptr));
        sqlite3_stmt* insert = nullptr;
        Check(handle, sqlite3_prepare_v2(handle,
                                         "INSERT INTO Dates (Date, Time, Discription, Value, "
                                         "Script) VALUES (?, ?, ?, '', 'Bench')",
                                         -1, &insert, nullptr));
        for (int n = 0; n < rows; ++n) {
            int month, day, hour, minute;
            Slot(n, month, day, hour, minute);
            char date[16];
            char time[16];
            std::snprintf(date, sizeof date, "2027-%02d-%02d", month, day);
            std::snprintf(time, sizeof time, "%02d:%02d:00", hour, minute);
            std::string text = "Benchmark event " + std::to_string(n);
            sqlite3_reset(insert);
            sqlite3_bind_text(insert, 1, date, -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 2, time, -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 3, text.data(), static_cast<int>(text.size()),
                              SQLITE_TRANSIENT);
            Check(handle, sqlite3_step(insert));
        }
        sqlite3_finalize(insert);
        Check(handle, sqlite3_exec(handle, "commit", nullptr, nullptr, nullptr));
        sqlite3_close(handle);
    }
    state.SetItemsProcessed(state.iterations() * rows);
}

// CPU-time medians of the repetitions, as `TIME` and `RATIO` lines.
void Summary(const TMedians& medians) {
    auto cpu = [&](const std::string& name) {
        auto found = medians.find(name);
        return found == medians.end() ? -1.0 : found->second.CpuUs;
    };
    struct TFigure {
        const char* Name;
        const char* Benchmark;
        const char* Raw;
    };
    for (const TFigure& figure :
         {TFigure{"import/10000-events", "Import10000Events", "RawInsert/10000"},
          TFigure{"import/read-10000-events", "Read10000Events", "RawInsert/10000"},
          TFigure{"export/100000-rows", "Export100000Appointments", "RawInsert/100000"}}) {
        double measured = cpu(figure.Benchmark);
        double raw = cpu(figure.Raw);
        if (measured < 0 || raw < 0) {
            continue;
        }
        PrintTime(figure.Name, measured);
        PrintTime(std::string(figure.Name) + "/raw-insert", raw);
        PrintRatio(std::string(figure.Name) + "/vs-raw-insert", measured / raw);
    }
}

}  // namespace

BENCHMARK(Import10000Events)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(5);
BENCHMARK(Read10000Events)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(5);
BENCHMARK(RawInsert)
    ->Name("RawInsert/10000")
    ->Arg(ImportEvents)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5);
BENCHMARK(Export100000Appointments)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(3);
BENCHMARK(RawInsert)
    ->Name("RawInsert/100000")
    ->Arg(ExportAppointments)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3);

int main(int argc, char** argv) {
    return RunBenchmarks(argc, argv, Summary);
}
