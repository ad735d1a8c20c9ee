#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <filesystem>
#include <fstream>

#include "Colors.h"
#include "DBCnx.h"
#include "PageTestSupport.h"
#include "ShapeControl.h"

namespace {

class Setup : public TPageTest {
  protected:
    bool SetupOpen() const { return Find("PnlSetup")->isVisible(); }
    QTableWidget* Grid() const { return Find<QTableWidget>("SGEvents"); }
    std::string OtherDatabase(const std::string& name) {
        std::filesystem::create_directories(Temp.Path() / "other");
        std::string path = (Temp.Path() / "other" / name).string();
        std::filesystem::copy_file(Path, path);
        return path;
    }
    void CloseSetupWith(const std::string& path) {
        SetEdit("EdtDataBase", QString::fromStdString(path));
        Click("BtnSetupClose");
    }
    std::vector<QString> GridCaptions() const {
        std::vector<QString> captions;
        for (int row = 0; row < Grid()->rowCount(); ++row) {
            QTableWidgetItem* item = Grid()->item(row, 0);
            captions.push_back(item ? item->text() : QString());
        }
        return captions;
    }
    QComboBox* Colors() const { return Find<QComboBox>("CombColors"); }
    TShapeControl* Sample() const { return Find<TShapeControl>("ShpEventColor"); }
};

TEST_F(Setup, OpensOnThePropertiesTabWithTheGridsColumnWidths) {
    OpenPage();
    Click("ImgSetup");
    ASSERT_TRUE(SetupOpen());
    EXPECT_EQ(Find<QTabWidget>("TabbedNotebook1")->currentIndex(), 0);
    EXPECT_EQ(Text("EdtDataBase").toStdString(), Path);
    EXPECT_EQ(Grid()->columnWidth(0), 90);
    EXPECT_EQ(Grid()->columnWidth(1), 150);
    EXPECT_EQ(Grid()->columnWidth(2), 26);
    Find<QTabWidget>("TabbedNotebook1")->setCurrentIndex(1);
    Click("BtnSetupClose");
    EXPECT_FALSE(SetupOpen());
    Click("ImgSetup");
    EXPECT_EQ(Find<QTabWidget>("TabbedNotebook1")->currentIndex(), 0);
}

TEST_F(Setup, TheDatabaseFileNameCountsInAnyLetterCase) {
    std::string other = OtherDatabase("mONDREL.SdB");
    OpenPage();
    Click("ImgSetup");
    CloseSetupWith(other);
    EXPECT_TRUE(Boxes.Requests().empty());
    EXPECT_FALSE(SetupOpen());
    EXPECT_EQ(Page->Settings().Database, other);
    // The instance learns it only with Apply or OK.
    EXPECT_EQ(Instance->Database, Path);
}

TEST_F(Setup, AnotherFileNameOrAMissingFileIsRefused) {
    std::string wrongName = OtherDatabase("mondrel.db");
    OpenPage();
    Click("ImgSetup");
    for (const std::string& candidate : {wrongName, Temp.File("nothing/Mondrel.sdb")}) {
        Boxes.Clear();
        Boxes.QueueAnswer(TMsgButton::Abort);
        CloseSetupWith(candidate);
        ASSERT_EQ(Boxes.Requests().size(), 1u);
        EXPECT_EQ(Boxes.Requests()[0].Text, "Invalid file!");
        EXPECT_EQ(Boxes.Requests()[0].Icon, TMsgIcon::Warning);
        EXPECT_EQ(Boxes.Requests()[0].Buttons,
                  (std::vector<TMsgButton>{TMsgButton::Abort, TMsgButton::Ignore}));
        // Abort: the panel stays open with the typed path.
        EXPECT_TRUE(SetupOpen());
        EXPECT_EQ(Text("EdtDataBase").toStdString(), candidate);
        EXPECT_EQ(Page->Settings().Database, Path);
    }
}

TEST_F(Setup, IgnoreClosesAndRestoresThePreviousPath) {
    OpenPage();
    Click("ImgSetup");
    Boxes.QueueAnswer(TMsgButton::Ignore);
    CloseSetupWith(Temp.File("elsewhere.sdb"));
    EXPECT_FALSE(SetupOpen());
    EXPECT_EQ(Text("EdtDataBase").toStdString(), Path);
    EXPECT_EQ(Page->Settings().Database, Path);
}

TEST_F(Setup, OkHandsTheNewPathToTheInstanceAndHidesThePage) {
    std::string other = OtherDatabase("Mondrel.sdb");
    OpenPage();
    Click("ImgSetup");
    CloseSetupWith(other);
    Click("btnOK");
    EXPECT_EQ(Instance->Database, other);
    EXPECT_FALSE(Page->isVisible());
}

TEST_F(Setup, ApplyHandsThePathAndLeavesThePageOpen) {
    std::string other = OtherDatabase("Mondrel.sdb");
    OpenPage();
    Click("ImgSetup");
    CloseSetupWith(other);
    Click("btnApply");
    EXPECT_EQ(Instance->Database, other);
    EXPECT_EQ(Instance->SetSettingsCalls, 1);
    EXPECT_TRUE(Page->isVisible());
    EXPECT_TRUE(Boxes.Requests().empty());
}

TEST_F(Setup, ClosingWithoutApplyKeepsTheInstancesPath) {
    std::string other = OtherDatabase("Mondrel.sdb");
    OpenPage();
    Click("ImgSetup");
    CloseSetupWith(other);
    Page->close();
    OpenPage();
    EXPECT_EQ(Instance->Database, Path);
    EXPECT_EQ(Instance->SetSettingsCalls, 0);
    EXPECT_EQ(Page->Settings().Database, Path);
    EXPECT_EQ(Text("EdtDataBase").toStdString(), Path);
}

TEST_F(Setup, AnAcceptedPathIsReadAtTheNextDayClick) {
    std::string other = OtherDatabase("Mondrel.sdb");
    AddDate(other, TMondrelDate{-1, Day(Year, Month, 19), At(8, 0), "in other", "", "S", 0});
    OpenPage();
    Click("ImgSetup");
    CloseSetupWith(other);
    ClickDay(19);
    EXPECT_EQ(Text("LblDisc1"), "in other");
}

TEST_F(Setup, OnlyFixedFlagsLeaveTheBlankMemoOverAnEmptyGrid) {
    OpenPage();
    Click("ImgSetup");
    Find<QTabWidget>("TabbedNotebook1")->setCurrentIndex(1);
    EXPECT_TRUE(Find("Blank")->isVisible());
    EXPECT_FALSE(Find("Blank")->isEnabled());
    EXPECT_EQ(GridCaptions(), std::vector<QString>{""});
}

TEST_F(Setup, AddingFlagsTakesTheColourOfTheChosenName) {
    OpenPage();
    Click("ImgSetup");
    Find<QTabWidget>("TabbedNotebook1")->setCurrentIndex(1);
    SetEdit("EdtFlagName", "Trash");
    SetEdit("EdtFlagVariable", "TrashDay");
    Colors()->setCurrentText("Blue");
    Click("BtnFlagAdd");
    SetEdit("EdtFlagName", "Odd");
    SetEdit("EdtFlagVariable", "OddDay");
    Colors()->setCurrentText("No such colour");
    Click("BtnFlagAdd");

    EXPECT_EQ(QueryText(Path, "SELECT Variable || '|' || Color FROM Flags WHERE Caption = 'Trash'"),
              "TrashDay|" + std::to_string(0xFF0000));
    EXPECT_EQ(QueryText(Path, "SELECT Variable || '|' || Color FROM Flags WHERE Caption = 'Odd'"),
              "OddDay|0");
    EXPECT_EQ(Text("EdtFlagName"), "");
    EXPECT_EQ(Text("EdtFlagVariable"), "");
    EXPECT_EQ(GridCaptions(), (std::vector<QString>{"Trash", "Odd"}));
    EXPECT_EQ(Grid()->item(0, 2)->text(), QString::number(0xFF0000));
    EXPECT_FALSE(Find("Blank")->isVisible());
    EXPECT_TRUE(Boxes.Requests().empty());
}

TEST_F(Setup, ChoosingAColourFillsTheSample) {
    OpenPage();
    EXPECT_EQ(Colors()->count(), 15);
    EXPECT_EQ(Colors()->currentText(), "Red");
    EXPECT_EQ(Sample()->BrushColor(), QColor(192, 0, 0));
    Colors()->setCurrentIndex(Colors()->findText("Navy"));
    EXPECT_EQ(Sample()->BrushColor(), QColor(0, 0, 128));
    Colors()->setCurrentText("Nothing");
    EXPECT_EQ(Sample()->BrushColor(), QColor(0, 0, 128));
    // Reloading lists each colour once.
    Page->close();
    OpenPage();
    EXPECT_EQ(Colors()->count(), 15);
}

TEST_F(Setup, AnEmptyColourTableLeavesSampleAndBoxEmpty) {
    RunSql(Path, "DELETE FROM Colors");
    OpenPage();
    EXPECT_TRUE(Boxes.Requests().empty());
    EXPECT_EQ(Colors()->count(), 0);
    EXPECT_EQ(Colors()->currentText(), "");
    EXPECT_FALSE(Sample()->Filled());
}

TEST_F(Setup, DeletingAFlagAsksFirstThenTakesItsDaysAndASecondClickDeletesNothing) {
    AddFlag(Path, "Trash", "T", 0xFF);
    AddFlag(Path, "Bin", "B", 0xFF00);
    int64_t bin = std::stoll(QueryText(Path, "SELECT ID FROM Flags WHERE Caption = 'Bin'"));
    SetDayFlags(Path, {bin, 1}, Day(Year, Month, 19));
    SetDayFlags(Path, {bin}, Day(Year, Month, 20));
    OpenPage();
    Click("ImgSetup");
    Find<QTabWidget>("TabbedNotebook1")->setCurrentIndex(1);
    ASSERT_EQ(GridCaptions(), (std::vector<QString>{"Trash", "Bin"}));
    Grid()->selectRow(1);
    Boxes.QueueAnswer(TMsgButton::No);
    Click("BtnFlagDel");
    ASSERT_EQ(Boxes.Requests().size(), 1u);
    const TMessageBoxRequest& question = Boxes.Requests()[0];
    EXPECT_EQ(question.Text, "Delete the flag \"Bin\" and its 2 days?");
    EXPECT_EQ(question.Buttons, (std::vector<TMsgButton>{TMsgButton::Yes, TMsgButton::No}));
    EXPECT_EQ(question.Default, TMsgButton::No);
    EXPECT_EQ(GridCaptions(), (std::vector<QString>{"Trash", "Bin"}));
    EXPECT_EQ(CountRows("SELECT COUNT(*) FROM DayFlags"), 3);

    Boxes.QueueAnswer(TMsgButton::Yes);
    Click("BtnFlagDel");
    Click("BtnFlagDel");  // the second click of a double click
    EXPECT_EQ(Boxes.Requests().size(), 2u);
    EXPECT_EQ(GridCaptions(), std::vector<QString>{"Trash"});
    EXPECT_TRUE(Grid()->selectedRanges().isEmpty());
    EXPECT_EQ(CountRows("SELECT COUNT(*) FROM Flags WHERE Caption = 'Trash'"), 1);
    EXPECT_EQ(CountRows("SELECT COUNT(*) FROM DayFlags"), 1) << "only the other flag's row";

    // Nothing listed: nothing to delete, no question.
    Grid()->selectRow(0);
    Boxes.QueueAnswer(TMsgButton::Yes);
    Click("BtnFlagDel");
    EXPECT_TRUE(Find("Blank")->isVisible());
    Click("BtnFlagDel");
    EXPECT_EQ(CountRows("SELECT COUNT(*) FROM Flags"), 2);  // the fixed ones
    EXPECT_EQ(Boxes.Requests().size(), 3u);
}

TEST_F(Setup, OpensWhereThereIsNoDatabaseYetOrATextFile) {
    const std::string text = OtherDatabase("Mondrel.sdb");
    { std::ofstream(text, std::ios::trunc) << "not a calendar\n"; }
    for (const std::string& broken : {Temp.File("fresh/Mondrel.sdb"), text}) {
        Page.reset();
        Instance->Database = broken;
        OpenPage();
        Boxes.Clear();
        Click("ImgSetup");
        ASSERT_TRUE(SetupOpen()) << broken;
        ASSERT_EQ(BoxTexts().size(), 1u) << "reported once";
        EXPECT_EQ(BoxTexts()[0].rfind("Failed to open database \"" + broken + "\": ", 0), 0u);
        EXPECT_EQ(GridCaptions(), std::vector<QString>{""});
        EXPECT_FALSE(std::filesystem::exists(Temp.File("fresh/Mondrel.sdb")));
    }
    // A file without the four tables is no way out.
    const std::string empty = Temp.File("Empty/Mondrel.sdb");
    std::filesystem::create_directories(Temp.Path() / "Empty");
    std::ofstream(empty).close();
    Boxes.Clear();
    Boxes.QueueAnswer(TMsgButton::Abort);
    CloseSetupWith(empty);
    EXPECT_EQ(BoxTexts(),
              std::vector<std::string>{"Invalid file!\r\n\r\nFailed to open database \"" + empty +
                                       "\": no table Dates"});
    EXPECT_TRUE(SetupOpen());
    // The ready file is taken, and the page works on it at once.
    Boxes.Clear();
    CloseSetupWith(Path);
    EXPECT_FALSE(SetupOpen());
    EXPECT_EQ(Page->Settings().Database, Path);
    EXPECT_TRUE(Boxes.Requests().empty());
    EXPECT_EQ(Find<QListWidget>("CLBFlags")->count(), 2);
}

TEST_F(Setup, AfterAPathSwitchADeletionTouchesOnlyTheRowShownFromTheNewFile) {
    std::string other = OtherDatabase("Mondrel.sdb");
    AddAppointment(Day(Year, Month, Today), At(7, 0), "old first");
    AddAppointment(Day(Year, Month, Today), At(8, 0), "Early one");
    // The new file's rows have other IDs: ID 2 is "new first" there.
    AddDate(other, TMondrelDate{-1, Day(Year, 1, 1), At(9, 0), "gone", "", "S", 0});
    RunSql(other, "DELETE FROM Dates");
    AddDate(other, TMondrelDate{-1, Day(Year, Month, Today), At(9, 0), "new first", "", "S", 0});
    AddDate(other, TMondrelDate{-1, Day(Year, Month, Today), At(10, 0), "new second", "", "S", 0});
    OpenPage();
    ASSERT_EQ(Text("LblDisc2"), "Early one");
    Click("ImgSetup");
    CloseSetupWith(other);
    EXPECT_EQ(Text("LblDisc2"), "new second");
    Boxes.QueueAnswer(TMsgButton::Yes);
    Click("ImgTerminKill2");
    EXPECT_NE(BoxTexts().back().find("new second"), std::string::npos);
    EXPECT_EQ(QueryText(other, "SELECT group_concat(Discription) FROM Dates"), "new first");
    EXPECT_EQ(QueryText(Path, "SELECT count(*) FROM Dates"), "2");
}

TEST_F(Setup, TheColourColumnShowsSwatchesFramedInTheSelectedRow) {
    AddFlag(Path, "Trash", "T", 0x0000FF);
    AddFlag(Path, "Party", "P", 0xFF0000);
    OpenPage();
    Click("ImgSetup");
    Find<QTabWidget>("TabbedNotebook1")->setCurrentIndex(1);
    Grid()->selectRow(1);
    QImage picture = Grid()->viewport()->grab().toImage();
    auto pixel = [&](int row, bool frame) {
        QRect cell = Grid()->visualRect(Grid()->model()->index(row, 2));
        QPoint at = frame ? QPoint(cell.left() + 2, cell.center().y()) : cell.center();
        return QColor(picture.pixel(at));
    };
    QColor background = ColorToQColor(clSystemInfoBk);
    EXPECT_EQ(pixel(0, false), QColor(255, 0, 0));
    EXPECT_EQ(pixel(0, true), background);
    EXPECT_EQ(pixel(1, false), QColor(0, 0, 255));
    EXPECT_EQ(pixel(1, true), ColorToQColor(clSystemActiveCaption));
}

TEST_F(Setup, BrowseIsNotThereYet) {
    OpenPage();
    Click("ImgSetup");
    Click("BtnDatabaseBrowse");
    ASSERT_EQ(Boxes.Requests().size(), 1u);
    EXPECT_EQ(Boxes.Requests()[0].Text, "Not implemented in Betaversion!");
    EXPECT_EQ(Boxes.Requests()[0].Icon, TMsgIcon::None);
    EXPECT_EQ(Boxes.Requests()[0].Buttons, std::vector<TMsgButton>{TMsgButton::OK});
    EXPECT_TRUE(SetupOpen());
}

TEST_F(Setup, TheVariablePickerAsksForTypeSetOne) {
    OpenPage();
    Click("ImgSetup");
    Find<QTabWidget>("TabbedNotebook1")->setCurrentIndex(1);
    Control->Selector->Choice = "Mondrel_IsWeekend";
    Click("ImgVariableSelect");
    EXPECT_EQ(Text("EdtFlagVariable"), "Mondrel_IsWeekend");
    EXPECT_EQ(Control->Selector->Calls, std::vector<std::string>{"variable 1"});
    EXPECT_EQ(Control->Selector->Alive, 0);
    Control->Selector->Result = E_FAIL;
    Click("ImgVariableSelect");
    EXPECT_EQ(Text("EdtFlagVariable"), "Mondrel_IsWeekend");
}

}  // namespace
