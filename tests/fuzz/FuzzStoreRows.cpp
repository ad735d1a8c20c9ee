// The store's row reading over arbitrary database files: the input is written as the database,
// then every read operation runs on it, the listings both reading every row and leaving
// unreadable ones out. Each may raise the store's errors, never crash, hang or
// leak. The journal and WAL files a run leaves are removed, so that every finding reproduces
// from its input alone.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "DBCnx.h"
#include "FuzzTarget.h"
#include "MondrelError.h"

namespace {

const std::string& DatabasePath() {
    static const std::string path = [] {
        std::string folder =
            (std::filesystem::temp_directory_path() / "mondrel-fuzz-XXXXXX").string();
        if (mkdtemp(folder.data()) == nullptr) {
            std::abort();
        }
        return folder + "/Mondrel.sdb";
    }();
    return path;
}

void RemoveDatabase(const std::string& path) {
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
        std::error_code ignored;
        std::filesystem::remove(path + suffix, ignored);
    }
}

template <typename TRead>
void Read(TRead read) {
    try {
        read();
    } catch (const EMondrelError&) {
        // SQLite's refusal of a damaged file, or a stored text that is no date or time
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = DatabasePath();
    RemoveDatabase(path);
    {
        std::ofstream file(path, std::ios::binary);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const TDateTime day = EncodeDate(2009, 3, 5);
    std::vector<int64_t> ids{1, 2, 3};
    for (TDateQueryMode mode : {dqMonth, dqDayOpen}) {
        // A listing that reads every row agrees with the one that may leave rows out.
        std::optional<TDates> strict;
        Read([&] { strict = GetDates(path, mode, day); });
        Read([&] {
            TSkippedRows skipped;
            TDates dates = GetDates(path, mode, day, &skipped);
            for (const TMondrelDate& date : dates) {
                ids.push_back(date.ID);
            }
            for (const TSkippedRow& row : skipped) {
                FUZZ_EXPECT(!DescribeSkippedRow(row).empty());
            }
            FUZZ_EXPECT(!strict || (skipped.empty() && dates.size() == strict->size()));
        });
    }
    for (int64_t id : ids) {
        Read([&] { GetDate(path, id); });
    }
    Read([&] { GetFlags(path); });
    for (TDateTime date : {TDateTime{0}, day}) {
        Read([&] { GetDayFlags(path, date); });
        Read([&] {
            TSkippedRows skipped;
            GetDayFlags(path, date, &skipped);
        });
    }
    Read([&] { GetColors(path); });
    RemoveDatabase(path);
    return 0;
}
