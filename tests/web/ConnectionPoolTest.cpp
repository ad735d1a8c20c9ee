#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ConnectionPool.h"

namespace {

namespace fs = std::filesystem;

class ConnectionPool : public ::testing::Test {
  protected:
    void SetUp() override {
        Dir = fs::temp_directory_path() / ("mondrel-pool-" + std::to_string(getpid()));
        fs::create_directories(Dir);
        Path = (Dir / "Mondrel.sdb").string();
        MakeFile(Path, 1);
    }
    void TearDown() override { fs::remove_all(Dir); }

    static void MakeFile(const std::string& path, int64_t value) {
        TSqliteDatabase database(path, TSqliteOpen::CreateIfMissing);
        database.Execute("CREATE TABLE T (X INTEGER)");
        database.Execute("INSERT INTO T VALUES (?)", {value});
    }
    static int64_t ReadValue(TConnectionPool& pool) {
        return pool.Read([](TDBTransaction& transaction) {
            return transaction.Database().Query("SELECT X FROM T")->FieldAsInteger(0);
        });
    }

    fs::path Dir;
    std::string Path;
};

TEST_F(ConnectionPool, AKeptConnectionSeesOtherWritersAndAFilePutInItsPlace) {
    TConnectionPool pool(Path);
    EXPECT_EQ(ReadValue(pool), 1);
    TSqliteDatabase(Path).Execute("UPDATE T SET X = 2");
    EXPECT_EQ(ReadValue(pool), 2);
    const std::string other = (Dir / "other.sdb").string();
    MakeFile(other, 3);
    fs::rename(other, Path);
    EXPECT_EQ(ReadValue(pool), 3);
    fs::remove(Path);
    EXPECT_THROW(ReadValue(pool), ESqliteException);
}

TEST_F(ConnectionPool, WorkThatRaisesLeavesNoLockBehind) {
    TConnectionPool pool(Path);
    EXPECT_THROW(pool.Read([](TDBTransaction& transaction) {
        auto row = transaction.Database().Query("SELECT X FROM T");
        throw std::runtime_error("in the middle of a read");
    }),
                 std::runtime_error);
    // An exclusive lock waits for no reader: none is left.
    TSqliteDatabase writer(Path, TSqliteOpen::Existing, 0);
    writer.Execute("begin exclusive");
    writer.Execute("commit");
    EXPECT_EQ(ReadValue(pool), 1);
}

TEST_F(ConnectionPool, ThreadsShareTheConnections) {
    TConnectionPool pool(Path, 2);
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                wrong += ReadValue(pool) != 1;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
