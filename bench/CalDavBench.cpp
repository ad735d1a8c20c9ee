// Times a CalDAV source against Radicale on 127.0.0.1 holding 1,000 events: the first import
// beside an import of the same events as one .ics file, a refresh with nothing changed (one
// sync-collection) and one after 10 events changed (sync-collection, then one
// calendar-multiget); and, to say where the time goes, the calendar-query alone (the server's
// work, the transfer and the XML) without the engine and the database.
//
// Wall time is what counts here: most of a CalDAV run is the server's, in another process,
// which the CPU time of this one does not see.
//
// Measured 2026-12-09 on the shared 2-core machine (load average 12 to 13), RelWithDebInfo,
// medians of 5 repetitions of 5 runs, wall (CPU of mondrel-db):
//   import of the same events as one .ics file       77 ms  (24 ms)
//   first import --caldav                          1474 ms  (49 ms)   19x the .ics import
//   calendar-query alone (server, transfer, XML)    491 ms  (12 ms)
//   refresh, nothing changed (one sync-collection)  818 ms  (34 ms)
//   refresh, 10 events changed (sync + multiget)   1242 ms  (33 ms)
// Again on 2026-12-09 after write-back learnt time zones and recovery (load average 3 to 4; the
// paths timed here did not change), same medians:
//   import of the same events as one .ics file       47 ms  (24 ms)
//   first import --caldav                           450 ms  (43 ms)   9.7x the .ics import
//   calendar-query alone (server, transfer, XML)    257 ms  (16 ms)
//   refresh, nothing changed (one sync-collection)  212 ms  (25 ms)
//   refresh, 10 events changed (sync + multiget)    536 ms  (29 ms)
// Where the time goes: in Radicale. Any request that touches the whole collection costs it
// about 0.4 s for 1,000 events (timed with curl: PROPFIND of sync-token 0.43 s, calendar-query
// 0.38-0.43 s, even a GET of the collection 0.42 s), and a first import makes two of them (the
// PROPFIND for the sync token and ctag, then the calendar-query of the window). mondrel-db's
// own work, XML included, is 49 ms CPU against 24 ms for the .ics file: within 2x; the wall
// time is not, and cannot be against this server while one of its requests alone costs five
// .ics imports.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "CalDavClient.h"
#include "Clock.h"
#include "ToolRun.h"

extern char** environ;

namespace {

constexpr int Events = 1000;

TDateTime BenchNow() {
    return EncodeDate(2027, 1, 1) + EncodeTime(8, 0, 0, 0);
}

std::filesystem::path Folder() {
    static const std::filesystem::path folder = MakeBenchFolder("mondrel-caldav-bench", true);
    return folder;
}

std::string Event(int n, const std::string& summary) {
    char start[32];
    std::snprintf(start, sizeof start, "2027%02d%02dT%02d%02d00", 1 + n / 300, 1 + (n / 12) % 25,
                  7 + n % 12, (n * 7) % 60);
    return "BEGIN:VEVENT\r\nUID:bench-" + std::to_string(n) + "\r\nDTSTAMP:20261201T000000Z\r\n" +
           "DTSTART:" + start + "\r\nSUMMARY:" + summary + "\r\nEND:VEVENT\r\n";
}

std::string Wrapped(const std::string& body) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//bench//EN\r\n" + body +
           "END:VCALENDAR\r\n";
}

// Radicale for the whole run, started with the tests' script; its calendar is filled by
// writing into its folder, as its own PUTs would.
class TRadicale {
  public:
    TRadicale() {
        int output[2];
        if (pipe(output) != 0) {
            throw std::runtime_error("no pipe");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, output[0]);
        std::string python = PYTHON3_PROGRAM, script = DAV_SERVER_SCRIPT, kind = "radicale",
                    folder = (Folder() / "server").string();
        char* argv[] = {python.data(), script.data(), kind.data(), folder.data(), nullptr};
        int spawned = posix_spawn(&Process, argv[0], &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(output[1]);
        FILE* port = fdopen(output[0], "r");
        if (spawned != 0 || port == nullptr || std::fscanf(port, "%d", &Port) != 1) {
            throw std::runtime_error("Radicale did not start");
        }
        std::fclose(port);
        Store = Folder() / "server" / "store" / "collection-root" / "alice" / "home";
        std::ofstream(Folder() / "password") << "secret\n";
    }
    ~TRadicale() {
        kill(Process, SIGTERM);
        waitpid(Process, nullptr, 0);
    }
    std::string Calendar() const {
        return "http://127.0.0.1:" + std::to_string(Port) + "/alice/home/";
    }
    void Write(int n, const std::string& summary) const {
        std::ofstream(Store / ("bench-" + std::to_string(n) + ".ics"), std::ios::binary)
            << Wrapped(Event(n, summary));
    }

  private:
    pid_t Process = -1;
    int Port = 0;
    std::filesystem::path Store;
};

const TRadicale& Server() {
    static const TRadicale server;
    return server;
}

void Fill() {
    static bool filled = [] {
        std::string ics;
        for (int n = 0; n < Events; ++n) {
            Server().Write(n, "Event " + std::to_string(n));
            ics += Event(n, "Event " + std::to_string(n));
        }
        std::ofstream(Folder() / "same.ics", std::ios::binary) << Wrapped(ics);
        return true;
    }();
    (void)filled;
}

std::string FreshFile(const std::string& name) {
    std::string file = (Folder() / name).string();
    std::filesystem::remove(file);
    RunToolOrThrow({"init", file});
    return file;
}

std::vector<std::string> Account() {
    return {"--caldav", "--user", "alice", "--password-file", (Folder() / "password").string()};
}

void ImportIcs(benchmark::State& state) {
    Fill();
    TScopedClock clock(BenchNow());
    for (auto _ : state) {
        state.PauseTiming();
        std::string file = FreshFile("ics.sdb");
        state.ResumeTiming();
        RunToolOrThrow({"import", file, (Folder() / "same.ics").string(), "--script", "Bench"});
    }
}

void ImportCalDav(benchmark::State& state) {
    Fill();
    TScopedClock clock(BenchNow());
    for (auto _ : state) {
        state.PauseTiming();
        std::string file = FreshFile("dav.sdb");
        std::vector<std::string> args = {"import", file, Server().Calendar(), "--script", "Bench"};
        for (const std::string& arg : Account()) {
            args.push_back(arg);
        }
        state.ResumeTiming();
        RunToolOrThrow(args);
    }
}

void QueryOnly(benchmark::State& state) {
    Fill();
    TCalDavClient client({"alice", "secret", THttpAuth::Basic}, {});
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            client.Query(Server().Calendar(), "20261231T000000Z", "20280206T000000Z"));
    }
}

const std::string& Imported() {
    static const std::string file = [] {
        Fill();
        TScopedClock clock(BenchNow());
        std::string path = FreshFile("refresh.sdb");
        std::vector<std::string> args = {"import", path, Server().Calendar(), "--script", "Bench"};
        for (const std::string& arg : Account()) {
            args.push_back(arg);
        }
        RunToolOrThrow(args);
        return path;
    }();
    return file;
}

void RefreshUnchanged(benchmark::State& state) {
    const std::string& file = Imported();
    TScopedClock clock(BenchNow());
    for (auto _ : state) {
        RunToolOrThrow({"refresh", file});
    }
}

void RefreshTenChanged(benchmark::State& state) {
    const std::string& file = Imported();
    TScopedClock clock(BenchNow());
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ++round;
        for (int n = 0; n < 10; ++n) {
            Server().Write(n * 97, "Changed " + std::to_string(round));
        }
        state.ResumeTiming();
        RunToolOrThrow({"refresh", file});
    }
}

void Summary(const TMedians& medians) {
    auto wall = [&](const char* name) {
        auto found = medians.find(name);
        return found == medians.end() ? 0.0 : found->second.RealUs;
    };
    for (const char* name :
         {"caldav/import-ics/1000", "caldav/import-caldav/1000", "caldav/query-only/1000",
          "caldav/refresh-unchanged/1000", "caldav/refresh-10-changed/1000"}) {
        PrintTime(std::string(name) + "/median-wall", wall(name));
    }
    if (wall("caldav/import-ics/1000") > 0) {
        PrintRatio("caldav/first-import-vs-ics/1000",
                   wall("caldav/import-caldav/1000") / wall("caldav/import-ics/1000"));
    }
}

}  // namespace

#define CALDAV_BENCH(function, name)    \
    BENCHMARK(function)                 \
        ->Name(name)                    \
        ->Unit(benchmark::kMillisecond) \
        ->UseRealTime()                 \
        ->Iterations(5)                 \
        ->Repetitions(5)                \
        ->ReportAggregatesOnly(true)

CALDAV_BENCH(ImportIcs, "caldav/import-ics/1000");
CALDAV_BENCH(ImportCalDav, "caldav/import-caldav/1000");
CALDAV_BENCH(QueryOnly, "caldav/query-only/1000");
CALDAV_BENCH(RefreshUnchanged, "caldav/refresh-unchanged/1000");
CALDAV_BENCH(RefreshTenChanged, "caldav/refresh-10-changed/1000");

int main(int argc, char** argv) {
    return RunBenchmarks(argc, argv, Summary);
}
