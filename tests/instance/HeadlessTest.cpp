// The instance in a host without a graphical session: no QApplication, only a core application.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>

#include "InstanceFixture.h"

namespace {

int Argc = 1;
char ProgramName[] = "instance_headless_tests";
char* Argv[] = {ProgramName, nullptr};
std::unique_ptr<QCoreApplication> App;

using HeadlessTest = InstanceFixture;

TEST_F(HeadlessTest, AnInstanceInAProcessWithoutAnEventLoopSaysSoInTheLog) {
    App.reset();
    auto instance = MakeInstance();
    instance.Reset();
    App = std::make_unique<QCoreApplication>(Argc, Argv);
    int errors = 0;
    for (const auto& entry : Host->Log().ModuleEntries()) {
        if (entry.Kind == NHX_LOG_ERROR) {
            ++errors;
            EXPECT_NE(entry.Text.find("QCoreApplication"), std::string::npos) << entry.Text;
            EXPECT_EQ(entry.Sender, "Mondrel #7");
        }
    }
    EXPECT_EQ(errors, 1);
}

TEST_F(HeadlessTest, OpenPageEnsuresTheForcedVariablesBeforeItRefuses) {
    auto instance = MakeInstance();
    EXPECT_EQ(instance->OpenPage(), E_FAIL);
    EXPECT_EQ(Mondrel(instance).Form(), nullptr);
    for (const char* name :
         {"Mondrel_TriggerValue", "Mondrel_IsWeekend", "Mondrel_IsPublicHoliday"}) {
        EXPECT_TRUE(Host->Variables().Find(name).has_value()) << name;
    }
    ASSERT_EQ(Boxes.Requests().size(), 1u);
    EXPECT_EQ(Boxes.Requests()[0].Text, "The property page needs a graphical session.");
    EXPECT_EQ(Boxes.Requests()[0].Icon, TMsgIcon::Error);
}

}  // namespace

int main(int argc, char** argv) {
    App = std::make_unique<QCoreApplication>(Argc, Argv);
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    App.reset();
    return result;
}
