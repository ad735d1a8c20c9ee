#include "TickFiles.h"

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <stdexcept>

#include "BenchDatabase.h"
#include "DBCnx.h"
#include "TimeText.h"

namespace {

constexpr int SpanDays = 3650;
constexpr int DoneToday = 63;
constexpr int LaterToday = 3;
constexpr int TickFileVersion = 2;

// The four tables exactly as the tool declares them, without any index.
constexpr const char* Tables =
    "CREATE TABLE Dates (ID INTEGER PRIMARY KEY AUTOINCREMENT, Date TEXT, Time TEXT, "
    "Discription TEXT, Value TEXT, Script TEXT, Done INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE Flags (ID INTEGER PRIMARY KEY AUTOINCREMENT, Caption TEXT, Variable TEXT, "
    "Color INTEGER, isFix INTEGER DEFAULT 0);"
    "CREATE TABLE DayFlags (Date TEXT, FlagID INTEGER);"
    "CREATE TABLE Colors (Value INTEGER, Name TEXT);";

struct TCloser {
    void operator()(sqlite3* handle) const noexcept { sqlite3_close(handle); }
};
struct TFinalizer {
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
using THandle = std::unique_ptr<sqlite3, TCloser>;

void Check(sqlite3* handle, int rc, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(handle));
    }
}

void Exec(sqlite3* handle, const std::string& sql) {
    Check(handle, sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, nullptr), sql.c_str());
}

THandle Open(const std::string& path) {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open(path.c_str(), &raw);
    THandle handle(raw);
    Check(raw, rc, "open");
    Exec(raw, "pragma synchronous = off");
    return handle;
}

class TRowWriter {
  public:
    explicit TRowWriter(sqlite3* handle) : Handle(handle) {
        sqlite3_stmt* raw = nullptr;
        Check(handle,
              sqlite3_prepare_v2(handle,
                                 "INSERT INTO Dates (Date, Time, Discription, Value, Script, Done) "
                                 "VALUES (?, ?, ?, 'value', ?, ?)",
                                 -1, &raw, nullptr),
              "prepare");
        Insert.reset(raw);
    }
    void Add(TDateTime day, TDateTime time, const std::string& description,
             const std::string& script, bool done) {
        std::string date = DateToDBText('-', day);
        std::string clock = FormatLongTime(time);
        sqlite3_stmt* s = Insert.get();
        sqlite3_reset(s);
        sqlite3_bind_text(s, 1, date.data(), static_cast<int>(date.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 2, clock.data(), static_cast<int>(clock.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 3, description.data(), static_cast<int>(description.size()),
                          SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 4, script.data(), static_cast<int>(script.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(s, 5, done ? 1 : 0);
        Check(Handle, sqlite3_step(s), "insert");
    }

  private:
    sqlite3* Handle;
    std::unique_ptr<sqlite3_stmt, TFinalizer> Insert;
};

TDateTime Minutes(int64_t minutes) {
    return static_cast<double>(minutes % 1440) / 1440.0;
}

// Flags, a colour list and day flags: every weekend of the span carries flag 1, and each day
// one of the other flags in turn every third day.
void AddFlagsAndDayFlags(sqlite3* handle, TDateTime firstDay, int days, TDateTime today) {
    Exec(handle,
         "INSERT INTO Colors (Value, Name) VALUES (255, 'Red'), (32768, 'Green'), "
         "(16711680, 'Blue')");
    for (int f = 1; f <= FlagCount; ++f) {
        std::string name = "Flag" + std::to_string(f);
        Exec(handle, "INSERT INTO Flags (Caption, Variable, Color, isFix) VALUES ('" + name +
                         "', 'Mondrel_" + name + "', " + std::to_string(f * 1000) + ", " +
                         (f <= 2 ? "1" : "0") + ")");
    }
    sqlite3_stmt* raw = nullptr;
    Check(handle,
          sqlite3_prepare_v2(handle, "INSERT INTO DayFlags (Date, FlagID) VALUES (?, ?)", -1, &raw,
                             nullptr),
          "prepare");
    std::unique_ptr<sqlite3_stmt, TFinalizer> insert(raw);
    auto add = [&](TDateTime day, int flag) {
        std::string date = DateToDBText('-', day);
        sqlite3_reset(raw);
        sqlite3_bind_text(raw, 1, date.data(), static_cast<int>(date.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(raw, 2, flag);
        Check(handle, sqlite3_step(raw), "day flag");
    };
    for (int d = 0; d < days; ++d) {
        TDateTime day = firstDay + d;
        if (IsoWeekday(day) >= 6) {
            add(day, 1);
        }
        if (d % 3 == 0) {
            add(day, 3 + d % (FlagCount - 2));
        }
    }
    for (int flag : {2, 5, 9, 14}) {
        add(today, flag);
    }
}

std::string CachedPath(const std::string& kind, int64_t appointments, TDatesIndex index) {
    return (BenchCacheFolder() /
            (kind + "-" + std::to_string(appointments) + "-" + IndexName(index) + "-v" +
             std::to_string(TickFileVersion) + ".sdb"))
        .string();
}

// Builds the file without an index once, then each indexed variant from a copy of it.
const TTickFile& Cached(const std::string& kind, int64_t appointments, TDatesIndex index,
                        const std::function<void(sqlite3*)>& fill) {
    static std::map<std::string, TTickFile> made;
    std::string path = CachedPath(kind, appointments, index);
    auto found = made.find(path);
    if (found != made.end()) {
        return found->second;
    }
    if (!std::filesystem::exists(path)) {
        std::string plain = CachedPath(kind, appointments, TDatesIndex::None);
        if (!std::filesystem::exists(plain)) {
            std::cerr << "Building " << plain << " ..." << std::endl;
            std::string building = plain + ".building";
            std::filesystem::remove(building);
            {
                THandle handle = Open(building);
                Exec(handle.get(), "begin");
                Exec(handle.get(), Tables);
                fill(handle.get());
                Exec(handle.get(), "commit");
            }
            std::filesystem::rename(building, plain);
        }
        if (index != TDatesIndex::None) {
            std::cerr << "Building " << path << " ..." << std::endl;
            std::string building = path + ".building";
            std::filesystem::copy_file(plain, building,
                                       std::filesystem::copy_options::overwrite_existing);
            {
                THandle handle = Open(building);
                Exec(handle.get(), IndexStatement(index));
                Exec(handle.get(), "CREATE INDEX DayFlagsByDate ON DayFlags (Date)");
            }
            std::filesystem::rename(building, path);
        }
    }
    return made.emplace(path, TTickFile{path, appointments, index}).first->second;
}

}  // namespace

const char* IndexName(TDatesIndex index) {
    switch (index) {
        case TDatesIndex::None:
            return "none";
        case TDatesIndex::DateOnly:
            return "old";
        case TDatesIndex::Chosen:
            return "new";
    }
    return "?";
}

std::string IndexStatement(TDatesIndex index) {
    switch (index) {
        case TDatesIndex::None:
            return {};
        case TDatesIndex::DateOnly:
            return "CREATE INDEX DatesByDate ON Dates (Date)";
        case TDatesIndex::Chosen:
            return "CREATE INDEX DatesByDateDoneTime ON Dates (Date, Done, Time)";
    }
    return {};
}

TDateTime TickDay() {
    return EncodeDate(2026, 6, 15);
}

std::vector<int64_t> DueIDs(const TTickFile& file) {
    THandle handle = Open(file.Path);
    sqlite3_stmt* raw = nullptr;
    Check(handle.get(),
          sqlite3_prepare_v2(handle.get(),
                             "SELECT ID FROM Dates WHERE Date = ? AND Script LIKE 'Due%' "
                             "ORDER BY Time",
                             -1, &raw, nullptr),
          "prepare");
    std::unique_ptr<sqlite3_stmt, TFinalizer> query(raw);
    std::string today = DateToDBText('-', TickDay());
    sqlite3_bind_text(raw, 1, today.data(), static_cast<int>(today.size()), SQLITE_TRANSIENT);
    std::vector<int64_t> ids;
    while (sqlite3_step(raw) == SQLITE_ROW) {
        ids.push_back(sqlite3_column_int64(raw, 0));
    }
    return ids;
}

const TTickFile& TickFile(int64_t appointments, TDatesIndex index) {
    return Cached("tick", appointments, index, [appointments](sqlite3* handle) {
        TRowWriter rows(handle);
        const TDateTime today = TickDay();
        // Today's rows were added over weeks, between rows of other days, as a real file grows:
        // each lies on a page of its own, so a query that visits every row of the day reads a
        // page for each.
        struct TTodayRow {
            TDateTime Time;
            std::string Description;
            std::string Script;
            bool Done;
        };
        std::vector<TTodayRow> todays;
        for (int i = 0; i < DoneToday; ++i) {
            todays.push_back(
                {Minutes(6 * 60 + i * 5), "Done today " + std::to_string(i), "Script", true});
        }
        for (int i = 0; i < DueCount; ++i) {
            todays.push_back({Minutes(11 * 60 + i), "Due " + std::to_string(i),
                              "Due" + std::to_string(i), true});
        }
        for (int i = 0; i < LaterToday; ++i) {
            todays.push_back(
                {Minutes(14 * 60 + i * 60), "Later " + std::to_string(i), "Later", false});
        }
        const int64_t bulk = appointments - static_cast<int64_t>(todays.size());
        const int64_t spacing = bulk / static_cast<int64_t>(todays.size());
        size_t next = 0;
        for (int64_t n = 0; n < bulk; ++n) {
            if (n % spacing == spacing / 2 && next < todays.size()) {
                const TTodayRow& row = todays[next++];
                rows.Add(today, row.Time, row.Description, row.Script, row.Done);
            }
            rows.Add(today - 1 - static_cast<double>(n % SpanDays), Minutes(n * 7919),
                     "Appointment " + std::to_string(n), "Script", n % 50 != 0);
        }
        for (; next < todays.size(); ++next) {
            rows.Add(today, todays[next].Time, todays[next].Description, todays[next].Script,
                     todays[next].Done);
        }
        AddFlagsAndDayFlags(handle, today - SpanDays, SpanDays + 1, today);
    });
}

TDateTime PageDay() {
    return EncodeDate(2026, 6, 17);
}

const TTickFile& PageFile(int64_t appointments, TDatesIndex index) {
    return Cached("page", appointments, index, [appointments](sqlite3* handle) {
        TRowWriter rows(handle);
        const TDateTime first = PageDay() - SpanDays / 2;
        const TDateTime clicked[] = {PageDay(), PageDay() + 1};
        int64_t bulk = appointments - 2 * PageDayRows;
        int64_t n = 0;
        for (int64_t written = 0; written < bulk; ++n) {
            TDateTime day = first + static_cast<double>(n % SpanDays);
            if (day == clicked[0] || day == clicked[1]) {
                continue;
            }
            rows.Add(day, Minutes(n * 7919 / 60 * 15), "Appointment " + std::to_string(n),
                     n % 4 == 0 ? "" : "Script", day < PageDay());
            ++written;
        }
        for (TDateTime day : clicked) {
            for (int i = 0; i < PageDayRows; ++i) {
                rows.Add(day, Minutes(8 * 60 + i * 45), "Clicked " + std::to_string(i), "Script",
                         false);
            }
        }
        AddFlagsAndDayFlags(handle, first, SpanDays, PageDay());
    });
}
