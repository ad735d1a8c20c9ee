// Hosts that drop the instance while it calls them, and days whose rows other tools wrote.
#include <QTest>
#include <QTimer>

#include "HostKernel.h"
#include "InstanceFixture.h"
#include "MondrelSchema.h"
#include "Sqlite3Db.h"
#include "Timer.h"

namespace {

// An event scripter that knows every script and hands each run to a test's function.
class TTestScripter final : public TNHXEventScripterObject {
  public:
    NHXResult NHXCALL RunScript(NHXText script, NHXText, int32_t, const TNHXScriptParams*,
                                int32_t) override {
        Runs.push_back(NHXTextToString(script));
        if (OnRun) {
            OnRun();
        }
        return S_OK;
    }
    NHXResult NHXCALL LookupScript(NHXText script, NHXText* out) override {
        if (out) {
            *out = NHXTextNew(script, NHXTextLength(script));
        }
        return S_OK;
    }

    std::vector<std::string> Runs;
    std::function<void()> OnRun;

  protected:
    bool AnswersInterface(const GUID& iid) const override { return iid == IID_INHXEventScripter; }
};

class HardeningTest : public InstanceFixture {
  protected:
    THostKernel& Kernel() const { return *static_cast<THostKernel*>(Host->Kernel()); }
    bool Destroyed() const { return Logged(NHX_LOG_NOTICE, "Interface Destroy") > 0; }
    int Logged(int32_t kind, const std::string& part) const {
        int count = 0;
        for (const auto& entry : Host->Log().ModuleEntries()) {
            count += entry.Kind == kind && entry.Text.find(part) != std::string::npos ? 1 : 0;
        }
        return count;
    }
    int32_t Done(int64_t id) const {
        TSqliteDatabase database(Database);
        auto row = database.Query("SELECT Done FROM Dates WHERE ID = ?", {id});
        return static_cast<int32_t>(row->FieldAsInteger(0));
    }
    void Sql(const std::string& sql) const { TSqliteDatabase(Database).Execute(sql); }
    // Replaces the host's scripter with one that runs nothing and records every run.
    TTestScripter* InstallScripter() {
        Scripter = TNHXInterfacePtr<TTestScripter>::Adopt(new TTestScripter);
        Kernel().AddService(IID_INHXEventScripter, Scripter.Get());
        return Scripter.Get();
    }
    std::vector<std::string> TriggerValues() const {
        std::vector<std::string> values;
        for (const auto& record : Host->Variables().History()) {
            if (record.Call == THostVariableCall::WriteString) {
                values.push_back(record.Value);
            }
        }
        return values;
    }

    TNHXInterfacePtr<TTestScripter> Scripter;
};

TEST_F(HardeningTest, HostDroppingTheInstanceInsideRunScriptEndsTheTickSafely) {
    TTestScripter* scripter = InstallScripter();
    int64_t first = AddAppointment(Today(), 9, 0, 0, "first", "open door");
    int64_t second = AddAppointment(Today(), 9, 1, 0, "second", "close door");
    auto instance = MakeInstance();
    TNHXMondrel* mondrel = &Mondrel(instance);
    bool destroyedInside = true;
    scripter->OnRun = [&] {
        instance.Reset();
        destroyedInside = Destroyed();
    };

    // The tick comes through the timer's own event, as in the host.
    QTimer* timer = mondrel->Timer1().findChild<QTimer*>();
    ASSERT_NE(timer, nullptr);
    timer->start(0);
    for (int i = 0; i < 200 && !Destroyed(); ++i) {
        QTest::qWait(5);
    }

    EXPECT_FALSE(destroyedInside) << "freed inside its own handler";
    EXPECT_TRUE(Destroyed());
    EXPECT_EQ(scripter->Runs, std::vector<std::string>{"open door"});
    EXPECT_EQ(Done(first), 1);
    EXPECT_EQ(Done(second), 0) << "the tick ends with the appointment it was handling";
}

TEST_F(HardeningTest, HostDroppingTheInstanceInsideWriteStringEndsTheTickSafely) {
    AddScript("lamp");
    Host->Variables().PreCreate("Mondrel_TriggerValue", NHX_VAR_STRING);
    int64_t first = AddAppointment(Today(), 9, 0, 0, "first", "lamp");
    int64_t second = AddAppointment(Today(), 9, 1, 0, "second", "lamp");
    auto instance = MakeInstance();
    TNHXMondrel* mondrel = &Mondrel(instance);
    bool destroyedInside = true;
    Host->Variables().SetChangeListener([&] {
        if (instance) {
            instance.Reset();
            destroyedInside = Destroyed();
        }
    });
    mondrel->Timer1().Fire();
    Host->Variables().SetChangeListener({});

    EXPECT_FALSE(destroyedInside);
    EXPECT_TRUE(Destroyed());
    EXPECT_EQ(TriggerValues(), std::vector<std::string>{"first"});
    EXPECT_EQ(Host->Scripter().Runs().size(), 1u);
    EXPECT_EQ(Done(first), 1);
    EXPECT_EQ(Done(second), 0);
    EXPECT_TRUE(Host->Scripter().WaitForScripts(5000));
}

TEST_F(HardeningTest, ADayWithBadRowsFiresTheGoodOnesOnceAndReportsTheBadOnesOnce) {
    Host->Variables().ClearHistory();
    for (const char* script : {"good", "big", "refused", "later"}) {
        AddScript(script);
    }
    int64_t good = AddAppointment(Today(), 9, 0, 0, "good", "good");
    int64_t refused = AddAppointment(Today(), 9, 20, 0, "refused", "refused");
    int64_t del = AddAppointment(Today(), 9, 30, 0, "del", "\x7f");
    int64_t later = AddAppointment(Today(), 9, 40, 0, "later", "later");
    const std::string day = DateToDBText('-', Today());
    Sql("INSERT INTO Dates (ID, Date, Time, Discription, Script, Done) VALUES "
        "(2147483653, '" +
        day +
        "', '09:10:00', 'big', 'big', 0), "
        "(3000, '" +
        day +
        "', 'abc', 'letters', 'good', 0), "
        "(3001, '" +
        day + "', NULL, 'null', 'good', 0)");
    Sql("CREATE TRIGGER RefuseDone BEFORE UPDATE OF Done ON Dates WHEN OLD.ID = " +
        std::to_string(refused) + " BEGIN SELECT RAISE(ABORT, 'read-only row'); END");

    auto instance = MakeInstance();
    for (int minute = 1; minute <= 3; ++minute) {
        SetNow(10, minute, 5);
        Mondrel(instance).Timer1().Fire();
    }
    ASSERT_TRUE(Host->Scripter().WaitForScripts(10000));

    std::vector<std::string> runs;
    for (const THostScriptRun& run : Host->Scripter().Runs()) {
        runs.push_back(run.Script);
    }
    EXPECT_EQ(runs, (std::vector<std::string>{"good", "big", "refused", "later"}));
    EXPECT_EQ(Host->Scripter().Lookups(), runs) << "the DEL script is never looked up";
    // The refused one is skipped entirely on later ticks; the blank one writes every tick.
    EXPECT_EQ(TriggerValues(),
              (std::vector<std::string>{"good", "big", "refused", "del", "later", "del", "del"}));
    EXPECT_EQ(Done(good), 1);
    EXPECT_EQ(Done(2147483653), 1);
    EXPECT_EQ(Done(later), 1);
    EXPECT_EQ(Done(refused), 0);
    EXPECT_EQ(Done(del), 0);
    EXPECT_EQ(Done(3000), 0);
    EXPECT_EQ(Done(3001), 0);

    std::vector<std::string> boxes;
    for (const auto& request : Boxes.Requests()) {
        EXPECT_EQ(request.Icon, TMsgIcon::Error);
        boxes.push_back(request.Text);
    }
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_NE(boxes[0].find("ID " + std::to_string(refused)), std::string::npos);
    EXPECT_NE(boxes[0].find("read-only row"), std::string::npos);
    EXPECT_EQ(boxes[1], "Unreadable row in Dates: ID 3001, Time NULL");
    EXPECT_EQ(boxes[2], "Unreadable row in Dates: ID 3000, Time \"abc\"");
    EXPECT_EQ(Logged(NHX_LOG_ERROR, "ID 3000"), 1);
    EXPECT_EQ(Logged(NHX_LOG_ERROR, "has run but could not be marked done"), 1);

    // The next day: no new box, one log line for each problem met again.
    Sql("UPDATE Dates SET Date = '" + DateToDBText('-', Today() + 1) + "' WHERE ID >= 3000");
    ClockNow += 1;
    Mondrel(instance).Timer1().Fire();
    Mondrel(instance).Timer1().Fire();
    EXPECT_EQ(Boxes.Requests().size(), 3u);
    EXPECT_EQ(Logged(NHX_LOG_ERROR, "ID 3000"), 2);
    EXPECT_EQ(Logged(NHX_LOG_ERROR, "ID 3001"), 2);
}

TEST_F(HardeningTest, ARowArmedAgainAndANewRowWithAReusedIdFireAgain) {
    TTestScripter* scripter = InstallScripter();
    int64_t snooze = AddAppointment(Today(), 9, 0, 0, "snooze", "alarm");
    int64_t gone = AddAppointment(Today(), 9, 5, 0, "deleted", "old");
    auto instance = MakeInstance();
    Mondrel(instance).Timer1().Fire();
    ASSERT_EQ(scripter->Runs, (std::vector<std::string>{"alarm", "old"}));

    Sql("UPDATE Dates SET Done = 0 WHERE ID = " + std::to_string(snooze));
    // A file without AUTOINCREMENT hands a deleted row's ID to the next new row.
    Sql("DELETE FROM Dates WHERE ID = " + std::to_string(gone));
    Sql("INSERT INTO Dates (ID, Date, Time, Discription, Script, Done) VALUES (" +
        std::to_string(gone) + ", '" + DateToDBText('-', Today()) +
        "', '10:00:00', 'new', 'new', 0)");
    SetNow(10, 0, 30);
    Mondrel(instance).Timer1().Fire();
    EXPECT_EQ(scripter->Runs, (std::vector<std::string>{"alarm", "old", "alarm", "new"}));
    EXPECT_EQ(Done(snooze), 1);
    EXPECT_EQ(Done(gone), 1);
}

TEST_F(HardeningTest, SetSettingsFromInsideRunScriptTakesEffectAtTheNextTick) {
    TTestScripter* scripter = InstallScripter();
    int64_t first = AddAppointment(Today(), 9, 0, 0, "first", "switch", "v1");
    int64_t second = AddAppointment(Today(), 9, 1, 0, "second", "after", "v2");
    // The other file holds a row with the second one's ID.
    const std::string other = KernelDir + "Database/Other.sdb";
    CreateMondrelDatabase(other);
    TSqliteDatabase(other).Execute(
        "INSERT INTO Dates (ID, Date, Time, Discription, Value, Script, Done) VALUES (?, ?, "
        "'08:00:00', 'elsewhere', 'x', 'after', 0)",
        {second, DateToDBText('-', Today())});
    auto instance = MakeInstance();
    TNHXTextRef otherText(other);
    scripter->OnRun = [&] {
        TNHXMondrelSettings settings{otherText.Get()};
        instance->SetSettings(&settings);
        scripter->OnRun = {};
    };
    Host->Variables().ClearHistory();
    Mondrel(instance).Timer1().Fire();

    EXPECT_EQ(scripter->Runs, (std::vector<std::string>{"switch", "after"}));
    EXPECT_EQ(TriggerValues(), (std::vector<std::string>{"first", "second"}));
    ASSERT_EQ(Mondrel(instance).LastScriptParams().Variables[1].ValueText, std::string("v2"));
    EXPECT_EQ(Done(first), 1);
    EXPECT_EQ(Done(second), 1);
    EXPECT_EQ(GetDate(other, second).Done, 0) << "the other file's row is untouched";

    Mondrel(instance).Timer1().Fire();
    EXPECT_EQ(scripter->Runs.back(), "after");
    EXPECT_EQ(TriggerValues().back(), "elsewhere");
    EXPECT_EQ(GetDate(other, second).Done, 1);
}

}  // namespace
