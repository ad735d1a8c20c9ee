// The store's row reading over arbitrary database files: the input is written as the database,
// then every read operation runs on it. Each may raise the store's errors, never crash, hang or
// leak. The journal and WAL files a run leaves are removed, so that every finding reproduces
// from its input alone.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
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
    std::vector<int32_t> ids{1, 2, 3};
    Read([&] {
        for (const TMondrelDate& date : GetDates(path, dqMonth, day)) {
            ids.push_back(date.ID);
        }
    });
    Read([&] { GetDates(path, dqDayOpen, day); });
    for (int32_t id : ids) {
        Read([&] { GetDate(path, id); });
    }
    Read([&] { GetFlags(path); });
    Read([&] { GetDayFlags(path, 0); });
    Read([&] { GetDayFlags(path, day); });
    Read([&] { GetColors(path); });
    RemoveDatabase(path);
    return 0;
}
