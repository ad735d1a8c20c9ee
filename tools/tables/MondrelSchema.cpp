#include "MondrelSchema.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "MondrelError.h"
#include "Sqlite3Db.h"

namespace {

#define DATES_INDEX_COLUMNS "(Date, Done, Time)"
constexpr const char* DatesIndex = "CREATE INDEX DatesByDateDoneTime ON Dates " DATES_INDEX_COLUMNS;
constexpr const char* DayFlagsIndex = "CREATE INDEX DayFlagsByDate ON DayFlags (Date)";

// AUTOINCREMENT keeps keys from coming back after a delete: DayFlags rows of a deleted flag
// stay, and must not turn into rows of the next new flag.
constexpr const char* SchemaStatements[] = {
    "CREATE TABLE Dates (ID INTEGER PRIMARY KEY AUTOINCREMENT, Date TEXT, Time TEXT, "
    "Discription TEXT, Value TEXT, Script TEXT, Done INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE Flags (ID INTEGER PRIMARY KEY AUTOINCREMENT, Caption TEXT, Variable TEXT, "
    "Color INTEGER, isFix INTEGER DEFAULT 0)",
    "CREATE TABLE DayFlags (Date TEXT, FlagID INTEGER)",
    "CREATE TABLE Colors (Value INTEGER, Name TEXT)",
    DatesIndex,
    DayFlagsIndex,
};

// Colours are stored as 0x00BBGGRR.
constexpr int32_t RGB(uint8_t red, uint8_t green, uint8_t blue) {
    return red | (green << 8) | (blue << 16);
}

struct TNamedColor {
    int32_t Value;
    const char* Name;
};

// The first row is the default colour of a new flag. Each stands out with a contrast of at
// least 3:1 against the calendar's cream body and its light blue for other months' days and
// the selection marker, so a flagged day's number stays readable: light colours (white,
// yellow, cyan, silver) are left out.
constexpr TNamedColor NamedColors[] = {
    {RGB(192, 0, 0), "Red"},      {RGB(176, 72, 0), "Orange"},   {RGB(128, 64, 0), "Brown"},
    {RGB(96, 96, 0), "Olive"},    {RGB(0, 112, 0), "Green"},     {RGB(0, 72, 0), "Dark green"},
    {RGB(0, 104, 104), "Teal"},   {RGB(0, 0, 255), "Blue"},      {RGB(0, 0, 128), "Navy"},
    {RGB(128, 0, 128), "Purple"}, {RGB(176, 0, 176), "Magenta"}, {RGB(200, 0, 100), "Pink"},
    {RGB(128, 0, 0), "Maroon"},   {RGB(96, 96, 96), "Gray"},     {RGB(0, 0, 0), "Black"},
};

struct TFixedFlag {
    const char* Caption;
    const char* Variable;
    int32_t Color;
};

// Blue and red: told apart also by most colour-blind eyes, and both far darker than the light
// blue of the selection marker.
constexpr TFixedFlag FixedFlags[] = {
    {"Weekend", "Mondrel_IsWeekend", RGB(0, 0, 255)},
    {"Public holiday", "Mondrel_IsPublicHoliday", RGB(192, 0, 0)},
};

bool IsEmptyFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) &&
           std::filesystem::file_size(path, error) == 0 && !error;
}

// Claims the path with an exclusive create, so an existing file is never touched, even one
// that appears between a check and the create. An empty file holds nothing to lose (a file
// made by `touch`, or by a program that opened the path before there was a database): it is
// taken as new. Answers whether it was there already.
bool ClaimNewFile(const std::string& path) {
    if (path.empty()) {
        throw EMondrelError("No database path given");
    }
    std::FILE* file = std::fopen(path.c_str(), "wx");
    if (file == nullptr) {
        int error = errno;
        if (error == EEXIST && IsEmptyFile(path)) {
            return true;
        }
        if (error == EEXIST) {
            throw EMondrelError("\"" + path + "\" already exists; not overwriting it");
        }
        throw EMondrelError("Cannot create \"" + path + "\": " + std::strerror(error));
    }
    std::fclose(file);
    return false;
}

void FillDatabase(const std::string& path) {
    TSqliteDatabase database(path);
    database.BeginWriteTransaction();
    for (const char* statement : SchemaStatements) {
        database.Execute(statement);
    }
    for (const TNamedColor& color : NamedColors) {
        database.Execute("INSERT INTO Colors (Value, Name) VALUES (?, ?)",
                         {int64_t{color.Value}, std::string_view(color.Name)});
    }
    for (const TFixedFlag& flag : FixedFlags) {
        database.Execute(
            "INSERT INTO Flags (Caption, Variable, Color, isFix) VALUES (?, ?, ?, 1)",
            {std::string_view(flag.Caption), std::string_view(flag.Variable), int64_t{flag.Color}});
    }
    database.Commit();
}

}  // namespace

const char* DatesIndexColumns() {
    return DATES_INDEX_COLUMNS;
}

const char* DatesIndexStatement() {
    return DatesIndex;
}

const char* DayFlagsIndexStatement() {
    return DayFlagsIndex;
}

void CreateMondrelDatabase(const std::string& Path) {
    const bool wasThere = ClaimNewFile(Path);
    try {
        FillDatabase(Path);
    } catch (...) {
        // A half-made file would later be mistaken for a ready database. A journal that SQLite
        // could not roll back goes too: left beside the path it would count as hot, and be
        // played into whatever database is put there next. An empty file that was there stays,
        // empty again.
        for (const char* suffix : {"-journal", "-wal", "-shm"}) {
            std::error_code ignored;
            std::filesystem::remove(Path + suffix, ignored);
        }
        std::error_code ignored;
        if (wasThere) {
            std::filesystem::resize_file(Path, 0, ignored);
        } else {
            std::filesystem::remove(Path, ignored);
        }
        throw;
    }
}
