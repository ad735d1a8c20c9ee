// The page over rows other tools wrote or removed, and its scroll bar's track and wheel.
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include "DBCnx.h"
#include "PageTestSupport.h"

namespace {

class PageHardening : public TPageTest {
  protected:
    TDateTime TodayDate() const { return Day(Year, Month, Today); }
    std::vector<QString> Descriptions() const {
        return {Text("LblDisc1"), Text("LblDisc2"), Text("LblDisc3")};
    }
    QScrollBar* Scroll() const { return Find<QScrollBar>("ScrollBar"); }
    void Wheel(int delta) const {
        QScrollBar* bar = Scroll();
        const QPointF at = bar->rect().center();
        QWheelEvent event(at, bar->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(bar, &event);
    }
};

TEST_F(PageHardening, TrackClickAndWheelStepOneAppointment) {
    for (int hour = 8; hour < 13; ++hour) {
        AddAppointment(TodayDate(), At(hour, 0), "at " + std::to_string(hour));
    }
    OpenPage();
    ASSERT_EQ(Scroll()->maximum(), 2);
    const QRect geometry = Scroll()->geometry();

    // Below the thumb, just above the down arrow.
    QTest::mouseClick(Scroll(), Qt::LeftButton, {}, QPoint(8, Scroll()->height() - 20));
    EXPECT_EQ(Scroll()->value(), 1);
    EXPECT_EQ(Descriptions(), (std::vector<QString>{"at 9", "at 10", "at 11"}));
    Wheel(-120);
    EXPECT_EQ(Scroll()->value(), 2);
    EXPECT_EQ(Descriptions(), (std::vector<QString>{"at 10", "at 11", "at 12"}));
    Wheel(-120);
    EXPECT_EQ(Scroll()->value(), 2);
    Wheel(120);
    EXPECT_EQ(Scroll()->value(), 1);
    QTest::mouseClick(Scroll(), Qt::LeftButton, {}, QPoint(8, 20));
    EXPECT_EQ(Scroll()->value(), 0);
    EXPECT_EQ(Scroll()->geometry(), geometry);
}

TEST_F(PageHardening, AMonthWithUnreadableRowsShowsTheOthersAndReportsOncePerShowing) {
    AddAppointment(TodayDate(), At(9, 0), "readable");
    AddAppointment(TodayDate(), At(10, 0), "also readable");
    RunSql(Path,
           "INSERT INTO Dates (ID, Date, Time, Discription, Done) VALUES "
           "(2147483653, '2024-03-18', '11:00:00', 'big key', 0), "
           "(900, '2024-03-18', '25:00:00', 'bad time', 0), "
           "(901, '2024-03-1x', '10:00:00', 'bad day', 0)");
    RunSql(Path, "INSERT INTO DayFlags (Date, FlagID) VALUES ('2024-03-1x', 1)");
    OpenPage();

    EXPECT_EQ(Descriptions(), (std::vector<QString>{"readable", "also readable", "big key"}));
    ASSERT_EQ(BoxTexts(), std::vector<std::string>{
                              "Unreadable row in Dates: ID 901, Date \"2024-03-1x\"\r\n"
                              "Unreadable row in Dates: ID 900, Time \"25:00:00\"\r\n"
                              "Unreadable row in DayFlags: FlagID 1, Date \"2024-03-1x\""});
    EXPECT_EQ(Boxes.Requests()[0].Icon, TMsgIcon::Error);

    // Other clicks of this showing say nothing more; the rows stay as they are.
    ClickDay(19);
    ClickDay(18);
    Click("ImgFlagsAdd");
    EXPECT_EQ(Boxes.Requests().size(), 1u);
    EXPECT_EQ(CountRows("SELECT count(*) FROM Dates WHERE ID IN (900, 901)"), 2);

    // The big key is edited under its own ID.
    Click("ImgTerminEdit3");
    EXPECT_EQ(Text("EdtDiscription"), "big key");

    Page->hide();
    OpenPage();
    EXPECT_EQ(Boxes.Requests().size(), 2u) << "a new showing reports again";
}

TEST_F(PageHardening, SavingAnAppointmentDeletedMeanwhileKeepsTheEditorAndItsTexts) {
    AddAppointment(TodayDate(), At(9, 0), "breakfast");
    OpenPage();
    Click("ImgTerminEdit1");
    SetEdit("EdtDiscription", "my edit");
    RunSql(Path, "DELETE FROM Dates");
    Click("BtnSaveDate");

    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"The appointment no longer exists."});
    EXPECT_TRUE(Find("PnlTermin")->isVisible());
    EXPECT_EQ(Text("EdtDiscription"), "my edit");
    EXPECT_EQ(CountRows("SELECT count(*) FROM Dates"), 0);
}

TEST_F(PageHardening, ALongDescriptionIsCutAtItsEndAndShownWholeAsTheBlocksTooltip) {
    const std::string longText =
        "Switch the garden lights on, water the plants on the terrace and close the shutters";
    AddAppointment(TodayDate(), At(9, 0), longText);
    AddAppointment(TodayDate(), At(10, 0), "short");
    OpenPage();
    QLabel* label = Find<QLabel>("LblDisc1");
    EXPECT_EQ(label->geometry(), QRect(1, 16, 183, 13));
    EXPECT_TRUE(label->text().startsWith("Switch the garden"));
    EXPECT_TRUE(label->text().endsWith(QChar(0x2026)));
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
    EXPECT_EQ(Find("Block1")->toolTip().toStdString(), longText);
    EXPECT_EQ(Text("LblDisc2"), "short");
    EXPECT_EQ(Find("Block2")->toolTip(), "");
    // The deletion question names the whole description.
    Boxes.QueueAnswer(TMsgButton::No);
    Click("ImgTerminKill1");
    EXPECT_NE(BoxTexts().back().find(longText), std::string::npos);
}

}  // namespace
