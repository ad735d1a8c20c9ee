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

// The first row is the default colour of a new flag.
constexpr TNamedColor NamedColors[] = {
    {RGB(255, 0, 0), "Red"},      {RGB(0, 128, 0), "Green"},        {RGB(0, 0, 255), "Blue"},
    {RGB(255, 255, 0), "Yellow"}, {RGB(255, 165, 0), "Orange"},     {RGB(128, 0, 128), "Purple"},
    {RGB(0, 255, 255), "Cyan"},   {RGB(255, 0, 255), "Magenta"},    {RGB(0, 255, 0), "Lime"},
    {RGB(128, 0, 0), "Maroon"},   {RGB(0, 0, 128), "Navy"},         {RGB(128, 128, 0), "Olive"},
    {RGB(0, 128, 128), "Teal"},   {RGB(192, 192, 192), "Silver"},   {RGB(128, 128, 128), "Gray"},
    {RGB(0, 0, 0), "Black"},      {RGB(255, 255, 255), "White"},    {RGB(255, 192, 203), "Pink"},
    {RGB(165, 42, 42), "Brown"},  {RGB(135, 206, 235), "Sky blue"},
};

struct TFixedFlag {
    const char* Caption;
    const char* Variable;
    int32_t Color;
};

constexpr TFixedFlag FixedFlags[] = {
    {"Weekend", "Mondrel_IsWeekend", RGB(192, 192, 192)},
    {"Public holiday", "Mondrel_IsPublicHoliday", RGB(255, 165, 0)},
};

// Claims the path with an exclusive create, so an existing file is never touched, even one
// that appears between a check and the create.
void ClaimNewFile(const std::string& path) {
    if (path.empty()) {
        throw EMondrelError("No database path given");
    }
    std::FILE* file = std::fopen(path.c_str(), "wx");
    if (file == nullptr) {
        int error = errno;
        if (error == EEXIST) {
            throw EMondrelError("\"" + path + "\" already exists; not overwriting it");
        }
        throw EMondrelError("Cannot create \"" + path + "\": " + std::strerror(error));
    }
    std::fclose(file);
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
    ClaimNewFile(Path);
    try {
        FillDatabase(Path);
    } catch (...) {
        // A half-made file would later be mistaken for a ready database. A journal that SQLite
        // could not roll back goes too: left beside the path it would count as hot, and be
        // played into whatever database is put there next.
        for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
            std::error_code ignored;
            std::filesystem::remove(Path + suffix, ignored);
        }
        throw;
    }
}
