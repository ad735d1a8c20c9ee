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
    EXPECT_EQ(Page->focusWidget(), Find("EdtDiscription"));
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

// It is 10:00: a done appointment moved to 11:00 fires again; one moved to 09:00 (already past)
// or whose description alone changed stays done.
TEST_F(Editor, ADoneAppointmentMovedAheadOpensAgainOtherEditsKeepItDone) {
    int64_t moved = AddAppointment(TodayDate(), At(8, 0), "moved");
    int64_t past = AddAppointment(TodayDate(), At(8, 10), "past");
    int64_t renamed = AddAppointment(TodayDate(), At(8, 20), "renamed");
    for (int64_t id : {moved, past, renamed}) {
        SetDateDone(Path, id);
    }
    OpenPage();
    Click("ImgTerminEdit1");
    FillTime("11", "0");
    Click("BtnSaveDate");
    Click("ImgTerminEdit1");  // past, 08:10
    FillTime("9", "0");
    Click("BtnSaveDate");
    Click("ImgTerminEdit1");  // renamed, 08:20
    SetEdit("EdtDiscription", "renamed again");
    Click("BtnSaveDate");
    EXPECT_TRUE(Boxes.Requests().empty());
    EXPECT_EQ(GetDate(Path, moved).Done, 0);
    EXPECT_EQ(FormatLongTime(GetDate(Path, moved).Time), "11:00:00");
    EXPECT_EQ(GetDate(Path, past).Done, 1);
    EXPECT_EQ(GetDate(Path, renamed).Done, 1);
    EXPECT_EQ(GetDate(Path, renamed).Discription, "renamed again");
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
