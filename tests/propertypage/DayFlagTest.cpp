#include <QLabel>
#include <QListWidget>
#include <QTabWidget>
#include <QTableWidget>

#include "DBCnx.h"
#include "Locale.h"
#include "PageTestSupport.h"

namespace {

class DayFlag : public TPageTest {
  protected:
    DayFlag() {
        AddFlag(Path, "Trash", "TrashA", 0x0000FF);
        AddFlag(Path, "Trash", "TrashB", 0x00FF00);
        AddFlag(Path, "Party", "Party", 0xFF0000);
    }
    int64_t FlagId(const std::string& variable) const {
        return std::stoi(
            QueryText(Path, "SELECT ID FROM Flags WHERE Variable = '" + variable + "'"));
    }
    QListWidget* List() const { return Find<QListWidget>("CLBFlags"); }
    QListWidgetItem* Item(const QString& caption) const {
        auto found = List()->findItems(caption, Qt::MatchExactly);
        return found.isEmpty() ? nullptr : found.front();
    }
    // Every entry of that caption.
    void Check(const QString& caption, bool checked) const {
        for (QListWidgetItem* item : List()->findItems(caption, Qt::MatchExactly)) {
            item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
        }
    }
    bool Checked(const QString& caption) const {
        return Item(caption)->checkState() == Qt::Checked;
    }
    std::string DayRows(int day) const {
        return QueryText(Path,
                         "SELECT group_concat(FlagID, ',') FROM (SELECT FlagID FROM DayFlags "
                         "WHERE Date = '2024-03-" +
                             std::to_string(day) + "' ORDER BY rowid)");
    }
    QLabel* Cell(int day) const {
        for (QLabel* cell : Page->findChildren<QLabel*>()) {
            if (cell->objectName().startsWith("DayCell") && cell->text() == QString::number(day)) {
                return cell;
            }
        }
        return nullptr;
    }
};

TEST_F(DayFlag, TheCheckListHoldsEveryCaptionFixedOnesIncluded) {
    OpenPage();
    std::vector<QString> captions;
    for (int row = 0; row < List()->count(); ++row) {
        captions.push_back(List()->item(row)->text());
    }
    EXPECT_EQ(captions,
              (std::vector<QString>{"Weekend", "Public holiday", "Trash", "Trash", "Party"}));
}

TEST_F(DayFlag, TwoFlagsWithOneCaptionAreAssignedTogether) {
    OpenPage();
    ClickDay(19);
    Click("ImgFlagsAdd");
    ASSERT_TRUE(Find("PnlFlags")->isVisible());
    EXPECT_EQ(Find<QLabel>("LblDate")->text().toStdString(), FormatShortDate(Day(Year, Month, 19)));
    Check("Trash", true);
    Check("Party", true);
    Click("BtnFlagsSave");
    EXPECT_FALSE(Find("PnlFlags")->isVisible());
    EXPECT_EQ(DayRows(19), std::to_string(FlagId("TrashA")) + "," +
                               std::to_string(FlagId("TrashB")) + "," +
                               std::to_string(FlagId("Party")));
    // The calendar shows the new marks at once.
    ASSERT_NE(Cell(19), nullptr);
    EXPECT_TRUE(Cell(19)->font().bold());
}

TEST_F(DayFlag, EitherFlagOfACaptionChecksIt) {
    SetDayFlags(Path, {FlagId("TrashB")}, Day(Year, Month, 20));
    OpenPage();
    ClickDay(20);
    Click("ImgFlagsAdd");
    EXPECT_TRUE(Checked("Trash"));
    EXPECT_FALSE(Checked("Party"));
    EXPECT_FALSE(Checked("Weekend"));
}

TEST_F(DayFlag, SavingWithNothingCheckedClearsTheDay) {
    SetDayFlags(Path, {FlagId("Party"), FlagId("TrashA")}, Day(Year, Month, 19));
    SetDayFlags(Path, {FlagId("Party")}, Day(Year, Month, 20));
    OpenPage();
    ClickDay(19);
    Click("ImgFlagsAdd");
    Check("Trash", false);
    Check("Party", false);
    Click("BtnFlagsSave");
    EXPECT_EQ(DayRows(19), "");
    EXPECT_EQ(DayRows(20), std::to_string(FlagId("Party")));
}

TEST_F(DayFlag, SaveAppliesOnlyTheUsersChangesAndKeepsAFlagWrittenMeanwhile) {
    SetDayFlags(Path, {FlagId("Party")}, Day(Year, Month, 19));
    OpenPage();
    ClickDay(19);
    Click("ImgFlagsAdd");
    // Another program sets "Weekend" on the day while the panel is open.
    SetDayFlags(Path, {FlagId("Party"), FlagId("Mondrel_IsWeekend")}, Day(Year, Month, 19));
    Check("Party", false);
    Check("Trash", true);
    Click("BtnFlagsSave");
    EXPECT_EQ(DayRows(19), std::to_string(FlagId("Mondrel_IsWeekend")) + "," +
                               std::to_string(FlagId("TrashA")) + "," +
                               std::to_string(FlagId("TrashB")));
}

TEST_F(DayFlag, MarksFollowTheFileAtEveryReloadOfADay) {
    OpenPage();
    ASSERT_FALSE(Cell(20)->font().bold());
    SetDayFlags(Path, {FlagId("Party")}, Day(Year, Month, 20));
    ClickDay(19);
    EXPECT_TRUE(Cell(20)->font().bold());
}

TEST_F(DayFlag, ClosingWithTheToolbarDiscardsTheCheckMarks) {
    OpenPage();
    Click("ImgFlagsAdd");
    Check("Party", true);
    Click("ImgFlagsAdd");
    EXPECT_FALSE(Find("PnlFlags")->isVisible());
    EXPECT_EQ(DayRows(Today), "");
    Click("ImgFlagsAdd");
    EXPECT_FALSE(Checked("Party"));
}

TEST_F(DayFlag, AReloadWhileThePanelIsOpenKeepsTheDaysCheckMarks) {
    SetDayFlags(Path, {FlagId("Party")}, Day(Year, Month, Today));
    OpenPage();
    Click("ImgFlagsAdd");
    ASSERT_TRUE(Checked("Party"));
    // A saved appointment reloads the lists beneath the open panel.
    Click("ImgTerminNeu");
    SetEdit("EdtHour", "9");
    SetEdit("EdtMin", "0");
    Click("BtnSaveDate");
    ASSERT_TRUE(Find("PnlFlags")->isVisible());
    EXPECT_TRUE(Checked("Party"));
    // So does showing the page again.
    Page->close();
    OpenPage();
    ASSERT_TRUE(Find("PnlFlags")->isVisible());
    EXPECT_TRUE(Checked("Party"));
    Click("BtnFlagsSave");
    EXPECT_EQ(DayRows(Today), std::to_string(FlagId("Party")));
}

TEST_F(DayFlag, ADeletedFlagsDayLooksUnmarked) {
    SetDayFlags(Path, {FlagId("Party")}, Day(Year, Month, 19));
    OpenPage();
    ASSERT_NE(Cell(19), nullptr);
    EXPECT_TRUE(Cell(19)->font().bold());
    DeleteFlag(Path, FlagId("Party"));
    Click("ImgFlagsAdd");
    Click("ImgFlagsAdd");  // closing reloads
    EXPECT_FALSE(Cell(19)->font().bold());
    EXPECT_EQ(Cell(19)->palette().color(Cell(19)->foregroundRole()),
              Cell(21)->palette().color(Cell(21)->foregroundRole()));
    EXPECT_TRUE(Boxes.Requests().empty());
}

TEST_F(DayFlag, AFlagAddedOrDeletedInSetupIsListedAtOnceABlankOneIsRefused) {
    OpenPage();
    Click("ImgFlagsAdd");  // open beneath the setup panel: its checks stay
    Check("Trash", true);
    Click("ImgSetup");
    Find<QTabWidget>("TabbedNotebook1")->setCurrentIndex(1);
    Find<QTableWidget>("SGEvents")->selectRow(2);  // Party
    Boxes.QueueAnswer(TMsgButton::Yes);
    Click("BtnFlagDel");
    EXPECT_EQ(Item("Party"), nullptr);

    SetEdit("EdtFlagName", "Vacation");
    Click("BtnFlagAdd");
    ASSERT_EQ(Boxes.Requests().size(), 2u);
    EXPECT_EQ(Boxes.Requests()[1].Text, "The flag needs a variable.");
    EXPECT_EQ(Text("EdtFlagName"), "Vacation") << "kept for a second try";
    SetEdit("EdtFlagName", " ");
    SetEdit("EdtFlagVariable", "Mondrel_IsVacation");
    Click("BtnFlagAdd");
    ASSERT_EQ(Boxes.Requests().size(), 3u);
    EXPECT_EQ(Boxes.Requests()[2].Text, "The flag needs a name.");
    EXPECT_EQ(CountRows("SELECT COUNT(*) FROM Flags WHERE Variable = 'Mondrel_IsVacation'"), 0);

    SetEdit("EdtFlagName", "Vacation");
    Click("BtnFlagAdd");
    ASSERT_NE(Item("Vacation"), nullptr);
    EXPECT_EQ(Boxes.Requests().size(), 3u);
    Click("BtnSetupClose");
    Check("Vacation", true);
    Click("BtnFlagsSave");
    EXPECT_EQ(DayRows(Today), std::to_string(FlagId("TrashA")) + "," +
                                  std::to_string(FlagId("TrashB")) + "," +
                                  std::to_string(FlagId("Mondrel_IsVacation")));
}

}  // namespace
