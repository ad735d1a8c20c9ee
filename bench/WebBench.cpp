// mondrel-web under load, as a separate process over real HTTP on 127.0.0.1: the month of a
// file of 100,000 appointments (the server's CPU time per request beside the raw SQL reads of
// the same rows), 20 clients making 500 mixed requests each (errors, median and 99th
// percentile), and the server's resident memory at rest and after that load.
//
// The HTTP client is the server's own library, used directly: this program only measures.
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>
#include <vector>

#include "BenchDatabase.h"
#include "BenchReport.h"
#include "DBCnx.h"
#include "RawSqlite.h"

namespace {

namespace fs = std::filesystem;

struct TServer {
    pid_t Pid = -1;
    int Port = 0;
    std::string Password;
};

TServer StartServer(const std::string& database, const std::string& passwordFile) {
    int out[2];
    if (pipe(out) != 0) {
        throw std::runtime_error("pipe");
    }
    TServer server;
    server.Pid = fork();
    if (server.Pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        execl(MONDREL_WEB_PATH, MONDREL_WEB_PATH, "--database", database.c_str(), "--listen",
              "127.0.0.1:0", "--password-file", passwordFile.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char c;
    while (text.find("listening on") == std::string::npos || text.back() != '\n') {
        if (read(out[0], &c, 1) != 1) {
            throw std::runtime_error("mondrel-web did not start: " + text);
        }
        text += c;
    }
    close(out[0]);
    // Its output is no terminal: the first password is in the file the output names.
    size_t at = text.find("a random password is in ") + 24;
    std::ifstream first(text.substr(at, text.find(' ', at) - at));
    std::getline(first, server.Password);
    at = text.find("127.0.0.1:") + 10;
    server.Port = std::stoi(text.substr(at));
    return server;
}

// The server's CPU time so far, every thread's, in microseconds: the scheduler's nanosecond
// count of each task, where /proc/PID/stat counts in ticks of 10 ms.
double ServerCpuUs(pid_t pid) {
    double total = 0;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        std::ifstream in(task.path() / "schedstat");
        double nanoseconds = 0;
        if (in >> nanoseconds) {
            total += nanoseconds / 1e3;
        }
    }
    return total;
}

double ServerRssKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stod(line.substr(6));
        }
    }
    return 0;
}

struct TSession {
    std::string Cookie;
    std::string Csrf;
};

TSession SignIn(const TServer& server) {
    httplib::Client client("127.0.0.1", server.Port);
    std::string origin = "http://127.0.0.1:" + std::to_string(server.Port);
    auto answer = client.Post("/api/session", {{"Origin", origin}},
                              "{\"password\": \"" + server.Password + "\"}", "application/json");
    if (!answer || answer->status != 200) {
        throw std::runtime_error("sign-in failed");
    }
    std::string cookie = answer->get_header_value("Set-Cookie");
    std::string csrf = answer->body.substr(9, 64);
    return {cookie.substr(0, cookie.find(';')), csrf};
}

double ThreadCpuUs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

std::string Day(TDateTime day) {
    return DateToDBText('-', day);
}

}  // namespace

int main() {
    const TBenchDatabase& file = BenchDatabase(100000);
    fs::path dir = fs::temp_directory_path() / ("mondrel-web-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::path database = dir / "Mondrel.sdb";
    fs::copy_file(file.Path, database);
    TServer server = StartServer(database.string(), (dir / "web.passwd").string());
    TSession session = SignIn(server);
    httplib::Headers headers = {{"Cookie", session.Cookie}};
    const std::string month = Day(file.ProbeMonth).substr(0, 7);
    const std::string monthPath = "/api/calendars/0/month/" + month;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double restKb = ServerRssKb(server.Pid);

    // The month: the server's CPU over many requests, beside the same reads in raw SQL.
    httplib::Client client("127.0.0.1", server.Port);
    client.set_keep_alive(true);
    size_t rows = 0;
    for (int i = 0; i < 20; ++i) {
        auto warm = client.Get(monthPath, headers);
        rows = warm ? warm->body.size() : 0;
    }
    TDateParts parts = DecodeDate(file.ProbeMonth);
    const std::string lastDay =
        Day(EncodeDate(parts.Year, parts.Month, DaysInMonth(parts.Year, parts.Month)));
    std::vector<TRawStatement> reads = {
        {"SELECT Date, FlagID FROM DayFlags WHERE Date >= ? AND Date <= ?",
         {Day(file.ProbeMonth), lastDay}},
        {"SELECT ID, Date, Time, Discription, Value, Script, Done FROM Dates WHERE "
         "Date >= ? AND Date <= ? ORDER BY ID",
         {Day(file.ProbeMonth), lastDay}}};
    // Rounds that take turns, so that the other work on this shared machine weighs on both
    // sides alike: each round times 50 requests and 50 raw units of work (open, the same two
    // reads, close: the reads of a request on a file opened for it, where the server reads on
    // connections it keeps). The figures are the rounds' medians.
    constexpr int Rounds = 9, Each = 50;
    std::vector<double> serverRounds, rawRounds, ratios;
    for (int round = 0; round < Rounds; ++round) {
        double before = ServerCpuUs(server.Pid);
        for (int i = 0; i < Each; ++i) {
            auto answer = client.Get(monthPath, headers);
            if (!answer || answer->status != 200) {
                std::cerr << "web_bench: the month request failed\n";
                return 1;
            }
        }
        serverRounds.push_back((ServerCpuUs(server.Pid) - before) / Each);
        double start = ThreadCpuUs();
        for (int i = 0; i < Each; ++i) {
            RawUnitOfWork(database.string(), reads);
        }
        rawRounds.push_back((ThreadCpuUs() - start) / Each);
        ratios.push_back(serverRounds.back() / rawRounds.back());
    }
    auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    const double serverUs = median(serverRounds), rawUs = median(rawRounds);
    const double ratio = median(ratios);

    // 20 clients, 500 requests each: months, days, upcoming, flags, and an appointment added.
    constexpr int Clients = 20, PerClient = 500;
    std::atomic<int> errors{0};
    std::vector<std::vector<double>> latencies(Clients), writeLatencies(Clients);
    const std::string origin = "http://127.0.0.1:" + std::to_string(server.Port);
    std::vector<std::thread> threads;
    const double loadBefore = ServerCpuUs(server.Pid);
    auto loadStart = std::chrono::steady_clock::now();
    for (int c = 0; c < Clients; ++c) {
        threads.emplace_back([&, c] {
            httplib::Client own("127.0.0.1", server.Port);
            own.set_keep_alive(true);
            // As browsers and HTTP libraries of home-automation systems do. The library's client
            // sends a POST's headers and body as two writes: with Nagle's algorithm the body
            // waits for the server's delayed acknowledgement of the headers, 40 ms a write.
            own.set_tcp_nodelay(true);
            httplib::Headers changing = {
                {"Cookie", session.Cookie}, {"Origin", origin}, {"X-CSRF-Token", session.Csrf}};
            for (int i = 0; i < PerClient; ++i) {
                auto start = std::chrono::steady_clock::now();
                auto request = [&]() -> httplib::Result {
                    switch (i % 10) {
                        case 0:
                        case 1:
                        case 2:
                        case 3:
                            return own.Get("/api/calendars/0/month/" +
                                               Day(file.ProbeMonth + 31 * (i % 4)).substr(0, 7),
                                           headers);
                        case 4:
                        case 5:
                        case 6:
                            return own.Get("/api/calendars/0/days/" + Day(file.ProbeDay + i % 7),
                                           headers);
                        case 7:
                            return own.Get("/api/calendars/0/upcoming?days=7", headers);
                        case 8:
                            return own.Get("/api/calendars/0/flags", headers);
                        default:
                            return own.Post(
                                "/api/calendars/0/appointments", changing,
                                "{\"date\": \"" + Day(file.ScratchDay) +
                                    "\", \"time\": \"07:00\", \"description\": \"load\"}",
                                "application/json");
                    }
                };
                httplib::Result answer = request();
                (i % 10 == 9 ? writeLatencies : latencies)[c].push_back(
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                              start)
                        .count());
                if (!answer || answer->status != 200) {
                    ++errors;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const double loadSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - loadStart).count();
    const double loadCpuUs = (ServerCpuUs(server.Pid) - loadBefore) / (Clients * PerClient);
    std::vector<double> readTimes, writes;
    for (int c = 0; c < Clients; ++c) {
        readTimes.insert(readTimes.end(), latencies[c].begin(), latencies[c].end());
        writes.insert(writes.end(), writeLatencies[c].begin(), writeLatencies[c].end());
    }
    std::vector<double> all = readTimes;
    all.insert(all.end(), writes.begin(), writes.end());
    std::sort(all.begin(), all.end());
    std::sort(readTimes.begin(), readTimes.end());
    std::sort(writes.begin(), writes.end());
    const double afterKb = ServerRssKb(server.Pid);

    kill(server.Pid, SIGTERM);
    waitpid(server.Pid, nullptr, 0);
    fs::remove_all(dir);

    std::printf("month %s of %lld appointments, %zu bytes of JSON\n", month.c_str(),
                static_cast<long long>(file.Appointments), rows);
    std::printf("%d clients x %d mixed requests in %.1f s: %d errors\n", Clients, PerClient,
                loadSeconds, errors.load());
    PrintTime("web_month_server_cpu", serverUs);
    PrintTime("web_month_raw_sql_cpu", rawUs);
    PrintRatio("web_month_server_vs_raw", ratio);
    PrintTime("web_load_server_cpu_per_request", loadCpuUs);
    PrintTime("web_load_p50", all[all.size() / 2] * 1000);
    PrintTime("web_load_p99", all[all.size() * 99 / 100] * 1000);
    PrintTime("web_load_reads_p99", readTimes[readTimes.size() * 99 / 100] * 1000);
    PrintTime("web_load_writes_p50", writes[writes.size() / 2] * 1000);
    PrintTime("web_load_writes_p99", writes[writes.size() * 99 / 100] * 1000);
    std::printf("ERRORS web_load %d\n", errors.load());
    std::printf("RSS web_at_rest_kb %.0f\nRSS web_after_load_kb %.0f\n", restKb, afterKb);
    return errors.load() == 0 ? 0 : 1;
}
