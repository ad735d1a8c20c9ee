#include "StoreTestSupport.h"

#include <atomic>
#include <random>

#include "MondrelSchema.h"
#include "Sqlite3Db.h"

TTempFolder::TTempFolder() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    auto base = std::filesystem::path(::testing::TempDir());
    do {
        Folder =
            base / ("mondrel-store-" + std::to_string(random()) + "-" + std::to_string(counter++));
    } while (!std::filesystem::create_directory(Folder));
}

TTempFolder::~TTempFolder() {
    std::error_code error;
    std::filesystem::remove_all(Folder, error);
    if (error) {
        ADD_FAILURE() << "could not remove " << Folder << ": " << error.message();
    }
}

TReadyDatabaseTest::TReadyDatabaseTest() : Path(Temp.File("Mondrel.sdb")) {
    CreateMondrelDatabase(Path);
}

void RunSql(const std::string& path, const std::string& sql) {
    TSqliteDatabase database(path, TSqliteOpen::CreateIfMissing);
    database.Execute(sql);
}

std::string QueryText(const std::string& path, const std::string& sql) {
    TSqliteDatabase database(path);
    return database.Query(sql)->FieldAsText(0);
}

TDateTime Day(int year, int month, int day) {
    return EncodeDate(year, month, day);
}

TDateTime At(int hour, int minute, int second) {
    return EncodeTime(hour, minute, second, 0);
}
