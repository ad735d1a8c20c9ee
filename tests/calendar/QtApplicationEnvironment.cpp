// One QApplication for the whole test program, ended before main returns so that Qt's own
// globals are still alive when it goes.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace {

class TQtApplicationEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { App = std::make_unique<QApplication>(Argc, Argv); }
    void TearDown() override { App.reset(); }

  private:
    int Argc = 1;
    char Name[16] = "calendar_test";
    char* Argv[2] = {Name, nullptr};
    std::unique_ptr<QApplication> App;
};

[[maybe_unused]] ::testing::Environment* const Environment =
    ::testing::AddGlobalTestEnvironment(new TQtApplicationEnvironment);

}  // namespace
