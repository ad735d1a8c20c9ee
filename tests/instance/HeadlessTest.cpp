// The instance in a host without a graphical session: no QApplication, only a core application.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "InstanceFixture.h"

namespace {

using HeadlessTest = InstanceFixture;

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
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
