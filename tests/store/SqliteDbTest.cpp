#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "Sqlite3Db.h"
#include "StoreTestSupport.h"

namespace {

class SqliteDb : public ::testing::Test {
  protected:
    TTempFolder Temp;
    std::string Path = Temp.File("layer.sdb");
    // Each case starts from a new, empty database file.
    SqliteDb() { TSqliteDatabase(Path, TSqliteOpen::CreateIfMissing); }
};

TEST_F(SqliteDb, OpenFailureNamesThePathUnchangedAndSaysWhy) {
    std::string path = Temp.File("no such folder/\xC3\xA4/Mondrel.sdb");
    EXPECT_THROW_MSG(TSqliteDatabase database(path), ESqliteException,
                     "Failed to open database \"" + path + "\": the file does not exist");
    const std::string missing = Temp.File("missing.sdb");
    EXPECT_THROW_MSG(TSqliteDatabase database(missing), ESqliteException,
                     "Failed to open database \"" + missing + "\": the file does not exist");
    EXPECT_FALSE(std::filesystem::exists(missing)) << "opening makes no file";
    EXPECT_THROW_MSG(
        TSqliteDatabase database(Temp.File("")), ESqliteException,
        "Failed to open database \"" + Temp.File("") + "\": it is a folder, not a file");
    const std::string text = Temp.File("notes.sdb");
    std::ofstream(text) << "Shopping list: milk, eggs, and a longer line of text\n";
    EXPECT_THROW_MSG(TSqliteDatabase database(text), ESqliteException,
                     "Failed to open database \"" + text + "\": the file is not a database");
}

TEST_F(SqliteDb, NewOrEmptyFileReportsTheMissingTableWithTheStatement) {
    for (const std::string& path : {Path, std::string()}) {
        TSqliteDatabase database(path);
        const std::string sql = "SELECT ID, Date FROM Dates";
        EXPECT_THROW_MSG(database.Query(sql), ESqliteException,
                         "Error: no such table: Dates\r\n\r\n" + sql);
        EXPECT_THROW_MSG(database.Execute("DELETE From Flags"), ESqliteException,
                         "Error: no such table: Flags\r\n\r\nDELETE From Flags");
    }
}

TEST_F(SqliteDb, RaiseErrorWithoutStatementGivesSqlitesMessageAlone) {
    TSqliteDatabase database(Path);
    EXPECT_THROW_MSG(database.Execute("SELEKT 1"), ESqliteException,
                     "Error: near \"SELEKT\": syntax error\r\n\r\nSELEKT 1");
    EXPECT_THROW_MSG(database.RaiseError(""), ESqliteException, "near \"SELEKT\": syntax error");
}

TEST_F(SqliteDb, KeepsDefaultSynchronousAndTempStoreInMemory) {
    TSqliteDatabase database(Path);
    int64_t synchronous = database.Query("pragma synchronous")->FieldAsInteger(0);
    EXPECT_NE(synchronous, 0) << "synchronous switched off risks the whole file on power loss";
    EXPECT_EQ(database.Query("pragma temp_store")->FieldAsInteger(0), 2);
}

TEST_F(SqliteDb, RunsOnlyTheFirstOfTwoStatements) {
    TSqliteDatabase database(Path);
    database.Execute("CREATE TABLE t (x INTEGER)");
    EXPECT_EQ(database.Execute("INSERT INTO t VALUES (1); INSERT INTO t VALUES (2)"), 101);
    auto query = database.Query("SELECT x FROM t");
    EXPECT_EQ(query->FieldAsInteger(0), 1);
    EXPECT_TRUE(query->Next());
    EXPECT_TRUE(query->Next()) << "a query at its end stays there";
    EXPECT_EQ(query->FieldAsInteger(0), 0);
}

TEST_F(SqliteDb, QueryWithoutRowsIsAtEndAtOnceAndReadsEmpty) {
    TSqliteDatabase database(Path);
    database.Execute("CREATE TABLE t (x INTEGER, s TEXT)");
    auto query = database.Query("SELECT x, s FROM t");
    EXPECT_TRUE(query->AtEnd());
    EXPECT_EQ(query->FieldAsInteger(0), 0);
    EXPECT_EQ(query->FieldAsText(1), "");
    EXPECT_EQ(query->FieldSize(1), 0);
}

TEST_F(SqliteDb, TextColumnsKeepEveryByteAndTheirLength) {
    TSqliteDatabase database(Path);
    database.Execute("CREATE TABLE t (s TEXT)");
    const std::string bytes("a\0b\x80\xFF\"'\xC3\xA4z", 10);
    database.Execute("INSERT INTO t VALUES (?)", {std::string_view(bytes)});
    database.Execute("INSERT INTO t VALUES (NULL)");
    database.Execute("INSERT INTO t VALUES (?)", {std::string_view()});
    auto query = database.Query("SELECT s FROM t");
    EXPECT_EQ(query->FieldSize(0), 10);
    EXPECT_EQ(query->FieldAsText(0), bytes);
    query->Next();
    EXPECT_EQ(query->FieldAsText(0), "") << "NULL reads as the empty text";
    EXPECT_EQ(query->FieldAsInteger(0), 0);
    query->Next();
    EXPECT_FALSE(query->AtEnd());
    EXPECT_EQ(query->FieldAsText(0), "");
    EXPECT_EQ(database.Query("SELECT count(*) FROM t WHERE s IS NULL")->FieldAsInteger(0), 1)
        << "an empty text stays a text, not NULL";
}

TEST_F(SqliteDb, IntegersComeBackWithAll64Bits) {
    TSqliteDatabase database(Path);
    database.Execute("CREATE TABLE t (x INTEGER)");
    const int64_t big = (int64_t{1} << 40) + 5;
    database.Execute("INSERT INTO t VALUES (?)", {big});
    database.Execute("INSERT INTO t VALUES (?)", {INT64_MIN});
    auto query = database.Query("SELECT x FROM t");
    EXPECT_EQ(query->FieldAsInteger(0), big);
    query->Next();
    EXPECT_EQ(query->FieldAsInteger(0), INT64_MIN);
}

TEST_F(SqliteDb, ErrorsKeepSqlitesResultCode) {
    auto codeOf = [](const auto& action) {
        try {
            action();
        } catch (const ESqliteException& error) {
            return error.Code();
        }
        return -1;
    };
    EXPECT_EQ(codeOf([&] { TSqliteDatabase missing(Temp.File("none.sdb")); }), SQLITE_CANTOPEN);
    TSqliteDatabase database(Path);
    EXPECT_EQ(codeOf([&] { database.Execute("SELEKT 1"); }), SQLITE_ERROR);
    database.Execute("CREATE TABLE u (x UNIQUE)");
    database.Execute("INSERT INTO u VALUES (1)");
    EXPECT_EQ(codeOf([&] { database.Execute("INSERT INTO u VALUES (?)", {int64_t{1}}); }),
              SQLITE_CONSTRAINT);
    EXPECT_EQ(codeOf([&] { database.Commit(); }), SQLITE_ERROR);
}

TEST_F(SqliteDb, FailedStepsRaiseInExecuteCommitAndNext) {
    TSqliteDatabase database(Path);
    database.Execute("CREATE TABLE t (x INTEGER UNIQUE)");
    database.Execute("INSERT INTO t VALUES (1)");
    EXPECT_THROW_MSG(database.Execute("INSERT INTO t VALUES (1)"), ESqliteException,
                     "Error: UNIQUE constraint failed: t.x\r\n\r\nINSERT INTO t VALUES (1)");
    EXPECT_THROW_MSG(database.Commit(), ESqliteException,
                     "Error: cannot commit - no transaction is active\r\n\r\ncommit");

    // The second row overflows while it is stepped: the reading loop must end with an error.
    database.Execute("INSERT INTO t VALUES (?)", {INT64_MIN});
    const std::string sql = "SELECT abs(x) FROM t ORDER BY x DESC";
    auto query = database.Query(sql);
    EXPECT_EQ(query->FieldAsInteger(0), 1);
    EXPECT_THROW_MSG(query->Next(), ESqliteException, "Error: integer overflow\r\n\r\n" + sql);
    EXPECT_FALSE(query->AtEnd());
}

TEST_F(SqliteDb, QueryStaysReadableWhileTheConnectionExecutes) {
    TSqliteDatabase database(Path);
    database.Execute("CREATE TABLE t (x INTEGER)");
    database.Execute("INSERT INTO t VALUES (1)");
    database.Execute("INSERT INTO t VALUES (2)");
    database.BeginTransaction();
    auto query = database.Query("SELECT x FROM t ORDER BY x");
    database.Execute("INSERT INTO t VALUES (3)");
    EXPECT_EQ(query->FieldAsInteger(0), 1);
    query->Next();
    EXPECT_EQ(query->FieldAsInteger(0), 2);
    database.Commit();
}

// Statements are kept and reused by their text: two live queries of one text each keep their own
// values and rows, and a statement that ran to a row leaves no lock behind.
TEST_F(SqliteDb, ReusedStatementsKeepTheirOwnValuesAndHoldNoLock) {
    TSqliteDatabase database(Path);
    database.Execute("CREATE TABLE t (x INTEGER)");
    for (int64_t x : {1, 2, 3}) {
        database.Execute("INSERT INTO t VALUES (?)", {x});
    }
    const std::string sql = "SELECT x FROM t WHERE x >= ? ORDER BY x";
    auto outer = database.Query(sql, {int64_t{1}});
    {
        auto inner = database.Query(sql, {int64_t{3}});
        EXPECT_EQ(inner->FieldAsInteger(0), 3);
        EXPECT_TRUE(inner->Next());
    }
    EXPECT_EQ(database.Query(sql, {int64_t{2}})->FieldAsInteger(0), 2);
    EXPECT_EQ(outer->FieldAsInteger(0), 1);
    outer->Next();
    EXPECT_EQ(outer->FieldAsInteger(0), 2);
    outer.reset();

    EXPECT_EQ(database.Execute("SELECT x FROM t"), 100);  // SQLITE_ROW
    TSqliteDatabase other(Path);
    other.Execute("INSERT INTO t VALUES (4)");  // no reader left in the way of the commit
    EXPECT_EQ(database.Query("SELECT count(*) FROM t")->FieldAsInteger(0), 4);
}

}  // namespace
