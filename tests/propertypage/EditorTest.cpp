#include <QDateEdit>
#include <QLineEdit>

#include "DBCnx.h"
#include "PageTestSupport.h"
#include "TimeText.h"

namespace {

class Editor : public TPageTest {
  protected:
    TDateTime TodayDate() const { return Day(Year, Month, Today); }

    void FillTime(const QString& hour, const QString& minute) {
        SetEdit("EdtHour", hour);
        SetEdit("EdtMin", minute);
    }
    bool EditorOpen() const { return Find("PnlTermin")->isVisible(); }
    int Appointments() const { return CountRows("SELECT COUNT(*) FROM Dates"); }
};

TEST_F(Editor, NewAppointmentOpensEmptyOnTheSelectedDayAndCoversOkAndApply) {
    OpenPage();
    ClickDay(20);
    Click("ImgTerminNeu");
    ASSERT_TRUE(EditorOpen());
    SetEdit("EdtDiscription", "typed");
    FillTime("7", "30");
    Click("BtnDateClose");
    EXPECT_FALSE(EditorOpen());
    EXPECT_EQ(Appointments(), 0);

    Click("ImgTerminNeu");
    for (const char* box : {"EdtDiscription", "EdtScript", "EdtValue", "EdtHour", "EdtMin"}) {
        EXPECT_EQ(Text(box), "") << box;
    }
    EXPECT_EQ(Find<QDateEdit>("DTPDate")->date(), QDate(Year, Month, 20));
    // OK and Apply lie behind the editor.
    QWidget* ok = Find("btnOK");
    QWidget* hit = Page->childAt(ok->mapTo(Page.get(), ok->rect().center()));
    EXPECT_TRUE(Find("PnlTermin")->isAncestorOf(hit));
}

TEST_F(Editor, EditingShowsPlainNumbersAndSavingUnchangedStoresTheSame) {
    int64_t id = AddAppointment(TodayDate(), At(9, 5), "breakfast", "Coffee");
    OpenPage();
    Click("ImgTerminEdit1");
    EXPECT_EQ(Text("EdtHour"), "9");
    EXPECT_EQ(Text("EdtMin"), "5");
    EXPECT_EQ(Text("EdtDiscription"), "breakfast");
    EXPECT_EQ(Text("EdtValue"), "value of breakfast");
    EXPECT_EQ(Text("EdtScript"), "Coffee");
    EXPECT_EQ(Find<QDateEdit>("DTPDate")->date(), QDate(Year, Month, Today));

    Click("BtnSaveDate");
    EXPECT_FALSE(EditorOpen());
    EXPECT_EQ(Appointments(), 1);
    TMondrelDate stored = GetDate(Path, id);
    EXPECT_EQ(stored.Date, TodayDate());
    EXPECT_EQ(FormatLongTime(stored.Time), "09:05:00");
    EXPECT_EQ(stored.Value, "value of breakfast");
}

TEST_F(Editor, CloseDiscardsChangesAndEditingReloadsTheStoredValues) {
    AddAppointment(TodayDate(), At(9, 5), "breakfast");
    OpenPage();
    Click("ImgTerminEdit1");
    SetEdit("EdtDiscription", "changed");
    Click("BtnDateClose");
    EXPECT_EQ(Text("LblDisc1"), "breakfast");
    Click("ImgTerminEdit1");
    EXPECT_EQ(Text("EdtDiscription"), "breakfast");
}

TEST_F(Editor, TimesOutOfRangeAreReportedAndNothingIsSaved) {
    OpenPage();
    Click("ImgTerminNeu");
    SetEdit("EdtDiscription", "late");
    for (auto [hour, minute] : {std::pair{"24", "0"}, {"0", "60"}, {"-1", "0"}}) {
        Boxes.Clear();
        FillTime(hour, minute);
        Click("BtnSaveDate");
        ASSERT_EQ(Boxes.Requests().size(), 1u) << hour << ":" << minute;
        EXPECT_EQ(Boxes.Requests()[0].Icon, TMsgIcon::Error);
        EXPECT_NE(Boxes.Requests()[0].Text, "Invalid time setting!");
        EXPECT_TRUE(EditorOpen());
        EXPECT_EQ(Text("EdtDiscription"), "late");
    }
    EXPECT_EQ(Appointments(), 0);
}

TEST_F(Editor, TimesThatAreNoNumbersGetTheEditorsWarning) {
    OpenPage();
    Click("ImgTerminNeu");
    for (auto [hour, minute] : {std::pair{"", "5"}, {"8h", "5"}, {"8", ""}}) {
        Boxes.Clear();
        FillTime(hour, minute);
        Click("BtnSaveDate");
        ASSERT_EQ(Boxes.Requests().size(), 1u) << hour << ":" << minute;
        EXPECT_EQ(Boxes.Requests()[0].Text, "Invalid time setting!");
        EXPECT_EQ(Boxes.Requests()[0].Icon, TMsgIcon::Warning);
        EXPECT_EQ(Boxes.Requests()[0].Buttons, std::vector<TMsgButton>{TMsgButton::OK});
        EXPECT_TRUE(EditorOpen());
        EXPECT_EQ(Text("EdtHour"), hour);
    }
    EXPECT_EQ(Appointments(), 0);
}

TEST_F(Editor, ANewAppointmentAt2359IsSavedAndShown) {
    OpenPage();
    Click("ImgTerminNeu");
    SetEdit("EdtDiscription", "night");
    SetEdit("EdtValue", "42");
    FillTime("23", "59");
    Click("BtnSaveDate");
    EXPECT_TRUE(Boxes.Requests().empty());
    EXPECT_FALSE(EditorOpen());
    EXPECT_EQ(QueryText(Path,
                        "SELECT Time || '|' || Date || '|' || Done || '|' || Script || '|' || "
                        "Value FROM Dates WHERE Discription = 'night'"),
              "23:59:00|2024-03-18|0||42");
    EXPECT_EQ(Text("LblTime1"), "23:59");
    EXPECT_TRUE(Find("ImgScript1")->isVisible());
}

TEST_F(Editor, ADoneAppointmentStaysDoneAfterAnEdit) {
    int64_t id = AddAppointment(TodayDate(), At(8, 0), "fired");
    SetDateDone(Path, id);
    OpenPage();
    Click("ImgTerminEdit1");
    FillTime("11", "0");
    Click("BtnSaveDate");
    TMondrelDate stored = GetDate(Path, id);
    EXPECT_EQ(stored.Done, 1);
    EXPECT_EQ(FormatLongTime(stored.Time), "11:00:00");
}

TEST_F(Editor, ANewAppointmentOnAnotherDayLeavesTheDayViewAlone) {
    AddAppointment(TodayDate(), At(8, 0), "today");
    OpenPage();
    Click("ImgTerminNeu");
    SetEdit("EdtDiscription", "later");
    FillTime("9", "0");
    Find<QDateEdit>("DTPDate")->setDate(QDate(Year, Month, 20));
    Click("BtnSaveDate");
    EXPECT_FALSE(EditorOpen());
    EXPECT_EQ(Text("LblDisc1"), "today");
    EXPECT_EQ(Text("LblDisc2"), "");
    EXPECT_EQ(CountRows("SELECT COUNT(*) FROM Dates WHERE Date = '2024-03-20'"), 1);
    ClickDay(20);
    EXPECT_EQ(Text("LblDisc1"), "later");
}

TEST_F(Editor, TheScriptPickerFillsTheScriptBoxOnlyOnAChoice) {
    OpenPage();
    Click("ImgTerminNeu");
    SetEdit("EdtScript", "old");
    Control->Selector->Choice = "Garden.Lights";
    Click("ImgScriptSelect");
    EXPECT_EQ(Text("EdtScript"), "Garden.Lights");
    EXPECT_EQ(Control->Selector->Calls, std::vector<std::string>{"script"});
    EXPECT_EQ(Control->Deleted, Control->Created);
    EXPECT_EQ(Control->Selector->Alive, 0);

    Control->Selector->Result = E_FAIL;
    Control->Selector->Choice = "ignored";
    Click("ImgScriptSelect");
    EXPECT_EQ(Text("EdtScript"), "Garden.Lights");
    EXPECT_EQ(Control->Deleted, Control->Created);
    EXPECT_EQ(Control->Selector->Alive, 0);

    Control->CreateResult = E_FAIL;
    Click("ImgScriptSelect");
    EXPECT_EQ(Text("EdtScript"), "Garden.Lights");
    EXPECT_TRUE(Boxes.Requests().empty());
}

TEST_F(Editor, WithoutInstanceControlThePickerDoesNothing) {
    OpenPage();
    Page->SetInstanceControl(nullptr);
    Click("ImgTerminNeu");
    SetEdit("EdtScript", "kept");
    Click("ImgScriptSelect");
    EXPECT_EQ(Text("EdtScript"), "kept");
    EXPECT_TRUE(Boxes.Requests().empty());
}

}  // namespace
