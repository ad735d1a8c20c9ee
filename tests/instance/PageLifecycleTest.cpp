#include <QCoreApplication>
#include <QPointer>
#include <QTest>
#include <QWidget>

#include "FPropertyPage.h"
#include "HostLogLines.h"
#include "InstanceFixture.h"

namespace {

using PageLifecycleTest = InstanceFixture;

bool Destroyed(const TNHXHost& host) {
    return CountLogged(host.Log(), TLogMatch().Containing("Interface Destroy")) > 0;
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

TEST_F(PageLifecycleTest, ClosePageFromInsideTheDeletionQuestionWritesNothingAndFreesThePageAfter) {
    int64_t id = AddAppointment(Today(), 9, 0, 0, "keep me", "s");
    auto instance = MakeInstance();
    ASSERT_EQ(instance->OpenPage(), S_OK);
    QPointer<TfrmPropertyPage> page = Mondrel(instance).Form();
    ASSERT_TRUE(page);
    auto* kill = page->findChild<QWidget*>("ImgTerminKill1");
    ASSERT_TRUE(kill && kill->isVisible());

    bool asked = false;
    TMessageBoxPresenter previous = SetMessageBoxPresenter([&](const TMessageBoxRequest& box) {
        asked = true;
        EXPECT_EQ(box.Icon, TMsgIcon::Question);
        EXPECT_EQ(instance->ClosePage(), S_OK);
        // The host sees what it sees without a box: no page, and the page's reference gone.
        EXPECT_EQ(Mondrel(instance).Form(), nullptr);
        EXPECT_EQ(instance->GetRefCount(), 1);
        EXPECT_FALSE(page.isNull()) << "freed inside its own handler";
        EXPECT_FALSE(page->isVisible());
        return TMsgButton::Yes;
    });
    QTest::mouseClick(kill, Qt::LeftButton, {}, kill->rect().center());
    SetMessageBoxPresenter(previous);

    EXPECT_TRUE(asked);
    EXPECT_EQ(GetDate(Database, id).Discription, "keep me") << "answered as No";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(page.isNull());
    instance.Reset();
    EXPECT_TRUE(Destroyed(*Host));
}
