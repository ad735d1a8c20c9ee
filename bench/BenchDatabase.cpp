#include "BenchDatabase.h"

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <stdexcept>

#include "DBCnx.h"
#include "MondrelSchema.h"
#include "TimeText.h"

namespace {

constexpr int ProbeMonthRows = 100;  // 10 of them on the probe day, half of those done
constexpr int BulkDays = 36500;      // bulk rows spread over 1950 to 2049
constexpr int BenchFileVersion = 1;

struct TCloser {
    void operator()(sqlite3* handle) const noexcept { sqlite3_close(handle); }
};
struct TFinalizer {
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};

void Check(sqlite3* handle, int rc, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(handle));
    }
}

void InsertDate(sqlite3* handle, sqlite3_stmt* insert, const std::string& date,
                const std::string& time, int done, int64_t n) {
    std::string text = "Appointment " + std::to_string(n);
    sqlite3_reset(insert);
    sqlite3_bind_text(insert, 1, date.data(), static_cast<int>(date.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 2, time.data(), static_cast<int>(time.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 3, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(insert, 4, done);
    Check(handle, sqlite3_step(insert), "insert");
}

void Build(const TBenchDatabase& target) {
    std::string building = target.Path + ".building";
    std::filesystem::remove(building);
    CreateMondrelDatabase(building);

    sqlite3* raw = nullptr;
    int rc = sqlite3_open(building.c_str(), &raw);
    std::unique_ptr<sqlite3, TCloser> handle(raw);
    Check(raw, rc, "open");
    Check(raw, sqlite3_exec(raw, "pragma synchronous = off; begin", nullptr, nullptr, nullptr),
          "begin");
    sqlite3_stmt* statement = nullptr;
    Check(raw,
          sqlite3_prepare_v2(raw,
                             "INSERT INTO Dates (Date, Time, Discription, Value, Script, Done) "
                             "VALUES (?, ?, ?, 'value', 'Script', ?)",
                             -1, &statement, nullptr),
          "prepare");
    std::unique_ptr<sqlite3_stmt, TFinalizer> insert(statement);

    const TDateTime firstBulkDay = EncodeDate(1950, 1, 1);
    const int64_t bulk = target.Appointments - ProbeMonthRows;
    for (int64_t n = 0; n < bulk; ++n) {
        TDateTime day = firstBulkDay + static_cast<double>(n % BulkDays);
        TDateTime time = static_cast<double>((n * 7919) % 1440) / 1440.0;
        InsertDate(raw, insert.get(), DateToDBText('-', day), FormatLongTime(time), n % 3 == 0, n);
    }
    for (int n = 0; n < ProbeMonthRows; ++n) {
        bool onProbeDay = n < 10;
        TDateTime day = onProbeDay ? target.ProbeDay : target.ProbeMonth + (n % 30);
        InsertDate(raw, insert.get(), DateToDBText('-', day),
                   FormatLongTime(static_cast<double>(n * 11 % 1440) / 1440.0),
                   onProbeDay && n % 2 == 1, bulk + n);
    }
    std::string dayFlags =
        "INSERT INTO DayFlags (Date, FlagID) SELECT Date, 1 + ID % 2 FROM Dates WHERE ID % 10 = 0;"
        "INSERT INTO DayFlags (Date, FlagID) VALUES ('" +
        DateToDBText('-', target.ProbeDay) + "', 1), ('" + DateToDBText('-', target.ProbeDay) +
        "', 2);"
        "INSERT INTO Flags (Caption, Variable, Color) VALUES ('Guests', 'Guests', 255), "
        "('Vacation', 'Vacation', 65280), ('Party', 'Party', 16711680);"
        "commit";
    Check(raw, sqlite3_exec(raw, dayFlags.c_str(), nullptr, nullptr, nullptr), "fill");
    insert.reset();
    handle.reset();
    std::filesystem::rename(building, target.Path);
}

}  // namespace

std::filesystem::path BenchCacheFolder() {
    const char* configured = std::getenv("MONDREL_BENCH_CACHE");
    std::filesystem::path folder = configured != nullptr && *configured != '\0'
                                       ? std::filesystem::path(configured)
                                       : std::filesystem::temp_directory_path() / "mondrel-bench";
    std::filesystem::create_directories(folder);
    return folder;
}

const TBenchDatabase& BenchDatabase(int64_t appointments) {
    static std::map<int64_t, TBenchDatabase> made;
    auto found = made.find(appointments);
    if (found != made.end()) {
        return found->second;
    }
    TBenchDatabase database;
    database.Appointments = appointments;
    database.Path = (BenchCacheFolder() / ("dates-" + std::to_string(appointments) + "-v" +
                                           std::to_string(BenchFileVersion) + ".sdb"))
                        .string();
    database.ProbeMonth = EncodeDate(2060, 6, 1);
    database.ProbeDay = EncodeDate(2060, 6, 15);
    database.ScratchDay = EncodeDate(2070, 1, 1);
    database.MiddleID = appointments / 2;
    if (!std::filesystem::exists(database.Path)) {
        std::cerr << "Building " << database.Path << " ..." << std::endl;
        Build(database);
    }
    return made.emplace(appointments, database).first->second;
}
