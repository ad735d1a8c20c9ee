#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>

#include "DBCnx.h"
#include "JCalendar.h"
#include "PageImage.h"
#include "PageTestSupport.h"

namespace {

class DayView : public TPageTest {
  protected:
    TDateTime TodayDate() const { return Day(Year, Month, Today); }

    // Five appointments today, out of time order, and one on another day of the month between.
    void AddFive() {
        AddAppointment(TodayDate(), At(12, 0), "third");
        AddAppointment(TodayDate(), At(8, 0), "first");
        AddAppointment(Day(Year, Month, 19), At(9, 0), "other day");
        AddAppointment(TodayDate(), At(18, 30), "fifth");
        AddAppointment(TodayDate(), At(9, 15), "second");
        AddAppointment(TodayDate(), At(14, 45), "fourth");
    }

    std::vector<QString> Descriptions() const {
        return {Text("LblDisc1"), Text("LblDisc2"), Text("LblDisc3")};
    }

    QScrollBar* Scroll() const { return Find<QScrollBar>("ScrollBar"); }
};

TEST_F(DayView, FirstShowSelectsTodayAndListsItsAppointmentsFromTheFirst) {
    AddAppointment(TodayDate(), At(9, 0), "later");
    AddAppointment(TodayDate(), At(8, 0), "earlier");
    AddAppointment(Day(Year, Month, 19), At(7, 0), "tomorrow");
    AddAppointment(Day(Year, 4, 18), At(7, 0), "next month");

    auto page = std::make_unique<TfrmPropertyPage>();
    EXPECT_EQ(page->findChild<QScrollBar*>("ScrollBar")->value(), 1);  // before the first show
    page.reset();
    OpenPage();

    EXPECT_EQ(Descriptions(), (std::vector<QString>{"earlier", "later", ""}));
    EXPECT_EQ(Text("LblTime1"), "08:00");
    EXPECT_EQ(Text("LblTime3"), "");
    EXPECT_TRUE(Find("ImgTerminEdit2")->isVisible());
    EXPECT_TRUE(Find("ImgTerminKill2")->isVisible());
    EXPECT_FALSE(Find("ImgTerminEdit3")->isVisible());
    EXPECT_FALSE(Find("ImgTerminKill3")->isVisible());
    EXPECT_FALSE(Find("ImgScript3")->isVisible());
    EXPECT_TRUE(Find("Block3")->isVisible());
    EXPECT_EQ(Scroll()->maximum(), 0);
    EXPECT_EQ(Scroll()->value(), 0);
    EXPECT_TRUE(Boxes.Requests().empty());
}

TEST_F(DayView, ADayClickShowsThatDay) {
    AddAppointment(TodayDate(), At(8, 0), "today");
    AddAppointment(Day(Year, Month, 19), At(7, 0), "tomorrow");
    OpenPage();
    ClickDay(19);
    EXPECT_EQ(Descriptions(), (std::vector<QString>{"tomorrow", "", ""}));
    ClickDay(20);
    EXPECT_EQ(Descriptions(), (std::vector<QString>{"", "", ""}));
    EXPECT_FALSE(Find("ImgTerminEdit1")->isVisible());
    EXPECT_EQ(Scroll()->maximum(), 0);
}

TEST_F(DayView, FiveAppointmentsScrollOverTheDayOnly) {
    AddFive();
    OpenPage();
    EXPECT_EQ(Scroll()->maximum(), 2);
    EXPECT_EQ(Descriptions(), (std::vector<QString>{"first", "second", "third"}));
    Scroll()->setValue(2);
    EXPECT_EQ(Descriptions(), (std::vector<QString>{"third", "fourth", "fifth"}));
    Scroll()->setValue(1);
    EXPECT_EQ(Descriptions(), (std::vector<QString>{"second", "third", "fourth"}));
}

TEST_F(DayView, ExactlyThreeAppointmentsNeedNoScrolling) {
    AddAppointment(TodayDate(), At(8, 0), "a");
    AddAppointment(TodayDate(), At(9, 0), "b");
    AddAppointment(TodayDate(), At(10, 0), "c");
    OpenPage();
    EXPECT_EQ(Descriptions(), (std::vector<QString>{"a", "b", "c"}));
    EXPECT_EQ(Scroll()->maximum(), 0);
}

TEST_F(DayView, DeletingTheSecondOfFiveFromPositionOne) {
    AddFive();
    OpenPage();
    Scroll()->setValue(1);
    ASSERT_EQ(Text("LblDisc1"), "second");
    Boxes.QueueAnswer(TMsgButton::Yes);
    Click("ImgTerminKill1");

    ASSERT_EQ(Boxes.Requests().size(), 1u);
    const TMessageBoxRequest& box = Boxes.Requests()[0];
    EXPECT_EQ(
        box.Text,
        "You are about to delete this Dataset:\r\n\r\nsecond\r\n\r\nDo you want to continue?");
    EXPECT_EQ(box.Icon, TMsgIcon::Question);
    EXPECT_EQ(box.Buttons, (std::vector<TMsgButton>{TMsgButton::Yes, TMsgButton::No}));
    EXPECT_EQ(box.Default, TMsgButton::No) << "Return must not delete";
    EXPECT_EQ(CountRows("SELECT COUNT(*) FROM Dates WHERE Discription = 'second'"), 0);
    EXPECT_EQ(CountRows("SELECT COUNT(*) FROM Dates"), 5);
    EXPECT_EQ(Descriptions(), (std::vector<QString>{"first", "third", "fourth"}));
    EXPECT_EQ(Scroll()->maximum(), 1);
    EXPECT_EQ(Scroll()->value(), 0);
}

TEST_F(DayView, AnsweringNoDeletesNothingAndStillResetsToTheFirst) {
    AddFive();
    OpenPage();
    Scroll()->setValue(2);
    Boxes.QueueAnswer(TMsgButton::No);
    Click("ImgTerminKill3");
    ASSERT_EQ(Boxes.Requests().size(), 1u);
    EXPECT_NE(Boxes.Requests()[0].Text.find("\r\n\r\nfifth\r\n\r\n"), std::string::npos);
    EXPECT_EQ(CountRows("SELECT COUNT(*) FROM Dates"), 6);
    EXPECT_EQ(Scroll()->value(), 0);
    EXPECT_EQ(Descriptions(), (std::vector<QString>{"first", "second", "third"}));
}

TEST_F(DayView, TimeLabelsAndTheScriptMissingSign) {
    AddAppointment(TodayDate(), At(7, 5), "no script", "");
    AddAppointment(TodayDate(), At(0, 0), "midnight", "Lights");
    AddAppointment(TodayDate(), At(8, 0), "blanks", " \t ");
    OpenPage();
    EXPECT_EQ(Text("LblTime1"), "00:00");
    EXPECT_EQ(Text("LblTime2"), "07:05");
    EXPECT_FALSE(Find("ImgScript1")->isVisible());
    EXPECT_TRUE(Find("ImgScript2")->isVisible());
    EXPECT_EQ(Find("ImgScript2")->toolTip(), "Script missing");
    EXPECT_TRUE(Find("ImgScript3")->isVisible()) << "blanks are no script, as for the trigger";
}

TEST_F(DayView, EditingAnAppointmentDeletedElsewhereSaysSoAndReloads) {
    int64_t gone = AddAppointment(TodayDate(), At(7, 0), "gone");
    AddAppointment(TodayDate(), At(8, 0), "kept");
    OpenPage();
    RunSql(Path, "DELETE FROM Dates WHERE ID = " + std::to_string(gone));
    Click("ImgTerminEdit1");
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"The appointment no longer exists."});
    EXPECT_FALSE(Find("PnlTermin")->isVisible());
    EXPECT_EQ(Descriptions(), (std::vector<QString>{"kept", "", ""}));
}

// The page stays open across midnight: the instance's first tick of the 19th tells it.
TEST_F(DayView, AfterMidnightTheTodayFrameAndASelectedTodayMoveOn) {
    AddAppointment(Day(Year, Month, 19), At(7, 0), "tomorrow");
    OpenPage();
    auto frameOn = [this](int day) {
        for (QLabel* cell : Page->findChildren<QLabel*>()) {
            if (cell->objectName().startsWith("DayCell") && cell->text() == QString::number(day)) {
                return Find("TodayTop")->pos() == cell->pos() + QPoint(3, -1);
            }
        }
        return false;
    };
    ASSERT_TRUE(frameOn(Today));
    TScopedClock midnight(Day(Year, Month, Today + 1) + At(0, 0));
    Page->CheckToday();
    EXPECT_TRUE(frameOn(Today + 1));
    EXPECT_EQ(DateOf(Page->CalendarControl()->SelectedDate()), Day(Year, Month, Today + 1));
    EXPECT_EQ(Text("LblDisc1"), "tomorrow");

    // Another day chosen stays chosen at the next midnight.
    ClickDay(15);
    TScopedClock next(Day(Year, Month, Today + 2) + At(0, 0));
    Page->CheckToday();
    EXPECT_TRUE(frameOn(Today + 2));
    EXPECT_EQ(DateOf(Page->CalendarControl()->SelectedDate()), Day(Year, Month, 15));
}

TEST_F(DayView, ToolbarImagesMoveWhilePressed) {
    OpenPage();
    QWidget* image = Find("ImgTerminNeu");
    QPoint home = image->pos();
    QTest::mousePress(image, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(image->pos(), home + QPoint(2, 2));
    QTest::mouseRelease(image, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(image->pos(), home);
    // A right click opens nothing.
    EXPECT_FALSE(Find("PnlTermin")->isVisible());
}

TEST_F(DayView, ADoubleClickOnAToolbarImageIsOneClick) {
    OpenPage();
    QWidget* image = Find("ImgFlagsAdd");
    QPoint home = image->pos();
    QPoint at(5, 5);
    QTest::mouseClick(image, Qt::LeftButton, {}, at);
    ASSERT_TRUE(Find("PnlFlags")->isVisible());
    // The second press of a double click, as the window system sends it.
    QMouseEvent second(QEvent::MouseButtonDblClick, at, image->mapToGlobal(at), Qt::LeftButton,
                       Qt::LeftButton, {});
    QApplication::sendEvent(image, &second);
    EXPECT_EQ(image->pos(), home + QPoint(2, 2));
    QMouseEvent release(QEvent::MouseButtonRelease, at, image->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, {});
    QApplication::sendEvent(image, &release);
    EXPECT_EQ(image->pos(), home);
    EXPECT_TRUE(Find("PnlFlags")->isVisible());
}

TEST_F(DayView, AStoreErrorIsReportedAndThePageStaysUsable) {
    AddAppointment(TodayDate(), At(8, 0), "kept");
    OpenPage();
    RunSql(Path, "ALTER TABLE Dates RENAME TO Hidden");
    ClickDay(19);
    ASSERT_EQ(Boxes.Requests().size(), 1u);
    EXPECT_EQ(Boxes.Requests()[0].Icon, TMsgIcon::Error);
    EXPECT_NE(Boxes.Requests()[0].Text.find("Dates"), std::string::npos);
    EXPECT_EQ(Text("LblDisc1"), "kept");

    RunSql(Path, "ALTER TABLE Hidden RENAME TO Dates");
    ClickDay(20);
    EXPECT_EQ(Text("LblDisc1"), "");
    ClickDay(18);
    EXPECT_EQ(Text("LblDisc1"), "kept");
    EXPECT_EQ(Boxes.Requests().size(), 1u);
}

}  // namespace
