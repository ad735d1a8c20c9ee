#include <QWidget>

#include "FPropertyPage.h"
#include "InstanceFixture.h"

namespace {

using PageLifecycleTest = InstanceFixture;

bool Destroyed(const TNHXHost& host) {
    for (const auto& entry : host.Log().ModuleEntries()) {
        if (entry.Text == "Interface Destroy") {
            return true;
        }
    }
    return false;
}

}  // namespace

TEST_F(PageLifecycleTest, OpeningTwiceCreatesOnePageThatHoldsTheInstance) {
    auto instance = MakeInstance();
    ASSERT_EQ(instance->OpenPage(), S_OK);
    TfrmPropertyPage* page = Mondrel(instance).Form();
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->isVisible());
    EXPECT_EQ(instance->GetRefCount(), 2);

    page->hide();  // as its OK button does
    ASSERT_EQ(instance->OpenPage(), S_OK);
    EXPECT_EQ(Mondrel(instance).Form(), page);
    EXPECT_TRUE(page->isVisible());
    EXPECT_EQ(instance->GetRefCount(), 2);

    EXPECT_EQ(instance->ClosePage(), S_OK);
    EXPECT_EQ(Mondrel(instance).Form(), nullptr);
    EXPECT_EQ(instance->GetRefCount(), 1);
    EXPECT_EQ(instance->ClosePage(), S_OK);

    instance.Reset();
    EXPECT_TRUE(Destroyed(*Host));
}

TEST_F(PageLifecycleTest, OpenPageMakesSureTheForcedVariablesExist) {
    auto instance = MakeInstance();
    ASSERT_EQ(instance->OpenPage(), S_OK);
    EXPECT_TRUE(Host->Variables().Find("Mondrel_TriggerValue").has_value());
    EXPECT_TRUE(Host->Variables().Find("Mondrel_IsWeekend").has_value());
    EXPECT_TRUE(Host->Variables().Find("Mondrel_IsPublicHoliday").has_value());
    instance->ClosePage();
}
