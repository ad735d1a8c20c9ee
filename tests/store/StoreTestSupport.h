// Helpers shared by the store and tool tests: a private folder per test and ready database
// files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "DateTime.h"
#include "TestSupport.h"

// A fresh folder, removed with everything in it when the object goes.
class TTempFolder {
  public:
    TTempFolder();
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    const std::filesystem::path& Path() const { return Folder; }
    std::string File(const std::string& name) const { return (Folder / name).string(); }

  private:
    std::filesystem::path Folder;
};

// A test with its own folder and a database made as `mondrel-db init` makes it.
class TReadyDatabaseTest : public ::testing::Test {
  protected:
    TReadyDatabaseTest();

    TTempFolder Temp;
    std::string Path;
};

// Runs one statement on the file outside the store, for setting up and inspecting rows; makes
// the file when there is none.
void RunSql(const std::string& path, const std::string& sql);
// The first column of the first row of a query, as text ("" when there is no row).
std::string QueryText(const std::string& path, const std::string& sql);

TDateTime Day(int year, int month, int day);
TDateTime At(int hour, int minute, int second = 0);
