#include <QFile>
#include <QLocale>

#include "HostLogLines.h"
#include "InstanceFixture.h"
#include "Locale.h"
#include "MondrelSchema.h"
#include "Timer.h"

namespace {

class TriggerTest : public InstanceFixture {
  protected:
    TriggerTest() { Host->Variables().ClearHistory(); }

    std::vector<std::string> Written(THostVariableCall call) const {
        std::vector<std::string> names;
        for (const auto& record : Host->Variables().History()) {
            if (record.Call == call) {
                names.push_back(record.Name + "=" + record.Value);
            }
        }
        return names;
    }
    int32_t Done(int64_t id) const { return GetDate(Database, id).Done; }
};

}  // namespace

TEST_F(TriggerTest, FiresWithinTheMinuteOfItsTimeAndNotBefore) {
    AddScript("early");
    AddScript("late");
    int64_t due = AddAppointment(Today(), 10, 30, 45, "same minute", "early");
    int64_t notYet = AddAppointment(Today(), 10, 31, 0, "next minute", "late");
    SetNow(10, 30, 5);
    auto instance = MakeInstance();
    Mondrel(instance).TriggerDueDates();

    EXPECT_EQ(Host->Scripter().Lookups(), std::vector<std::string>{"early"});
    EXPECT_EQ(Done(due), 1);
    EXPECT_EQ(Done(notYet), 0);
    EXPECT_TRUE(Mondrel(instance).Timer1().Enabled());
    EXPECT_TRUE(Host->Scripter().WaitForScripts(5000));
}

TEST_F(TriggerTest, MissedAppointmentOfTodayFiresButYesterdaysNever) {
    AddScript("wake");
    int64_t missed = AddAppointment(Today(), 8, 0, 0, "missed", "wake");
    int64_t yesterday = AddAppointment(Today() - 1, 8, 0, 0, "old", "wake");
    auto instance = MakeInstance();
    Mondrel(instance).TriggerDueDates();
    Mondrel(instance).TriggerDueDates();

    EXPECT_EQ(Done(missed), 1);
    EXPECT_EQ(Done(yesterday), 0);
    EXPECT_EQ(Host->Scripter().Runs().size(), 1u);
    EXPECT_TRUE(Host->Scripter().WaitForScripts(5000));
}

// Ticks drift later: the last one of 8 December starts at 23:58:59.9, the next at 00:00:01.
// That one fires what 8 December had left for 23:59, and nothing older or already looked at.
TEST_F(TriggerTest, TheFirstTickOfADayFiresThePreviousDaysLastMinutes) {
    AddScript("wake");
    ClockNow = Today() + EncodeTime(23, 58, 59, 900);
    auto instance = MakeInstance();
    Mondrel(instance).TriggerDueDates();
    int64_t late = AddAppointment(Today(), 23, 59, 30, "late", "wake");
    int64_t looked = AddAppointment(Today(), 10, 0, 0, "added after its tick", "wake");
    int64_t older = AddAppointment(Today() - 1, 23, 59, 30, "a day older", "wake");
    ClockNow = Today() + 1 + EncodeTime(0, 0, 1, 0);
    Mondrel(instance).TriggerDueDates();
    Mondrel(instance).TriggerDueDates();

    EXPECT_EQ(Done(late), 1);
    EXPECT_EQ(Done(looked), 0);
    EXPECT_EQ(Done(older), 0);
    ASSERT_EQ(Host->Scripter().Runs().size(), 1u);
    EXPECT_TRUE(Host->Scripter().WaitForScripts(5000));
}

TEST_F(TriggerTest, BlankScriptWritesTheTriggerVariableEveryTickAndIsNeverDone) {
    int64_t empty = AddAppointment(Today(), 9, 0, 0, "no script", "");
    int64_t blank = AddAppointment(Today(), 9, 1, 0, "blank script", " \t ");
    auto instance = MakeInstance();
    Mondrel(instance).TriggerDueDates();
    Mondrel(instance).TriggerDueDates();

    EXPECT_EQ(Written(THostVariableCall::WriteString),
              (std::vector<std::string>{
                  "Mondrel_TriggerValue=no script", "Mondrel_TriggerValue=blank script",
                  "Mondrel_TriggerValue=no script", "Mondrel_TriggerValue=blank script"}));
    EXPECT_TRUE(Host->Scripter().Lookups().empty());
    EXPECT_EQ(Done(empty), 0);
    EXPECT_EQ(Done(blank), 0);
}

TEST_F(TriggerTest, DueAppointmentsRunInTimeOrderWithTheirParameters) {
    Host->Variables().PreCreate("Mondrel_TriggerValue", NHX_VAR_STRING);
    AddScript("second");
    AddScript("first");
    AddAppointment(Today(), 9, 15, 0, "second one", "second", "v2");
    AddAppointment(Today(), 9, 0, 0, "first one", "first", "v1");
    SetNow(9, 20, 0);
    auto instance = MakeInstance();
    Mondrel(instance).TriggerDueDates();

    ASSERT_EQ(Host->Scripter().Runs().size(), 2u);
    const THostScriptRun& run = Host->Scripter().Runs()[0];
    EXPECT_EQ(run.Script, "first");
    EXPECT_EQ(run.Sender, "Mondrel");
    ASSERT_EQ(run.Params.size(), 4u);
    const char* names[] = {"Mondrel_Discription", "Mondrel_Value", "Mondrel_Date", "Mondrel_Time"};
    const std::string values[] = {"first one", "v1", FormatShortDate(Today()), "09:00:00"};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(run.Params[i].Name, names[i]);
        EXPECT_EQ(run.Params[i].TypeCode, NHX_VAR_STRING);
        EXPECT_EQ(run.Params[i].Value, values[i]);
        EXPECT_DOUBLE_EQ(run.Params[i].Updated, ClockNow);
    }
    EXPECT_EQ(Host->Scripter().Runs()[1].Script, "second");
    EXPECT_EQ(Host->Variables().Find("Mondrel_TriggerValue")->Value, "second one");
    EXPECT_TRUE(Host->Scripter().WaitForScripts(5000));
}

TEST_F(TriggerTest, MinuteZeroWritesEveryFlagBeforeAnyAppointment) {
    TFlags flags = GetFlags(Database);
    ASSERT_GE(flags.size(), 2u);
    // The first flag is set twice today, the others not at all.
    SetDayFlags(Database, {flags[0].ID, flags[0].ID}, Today());
    AddAppointment(Today(), 13, 0, 0, "due", "");
    SetNow(13, 59, 30);
    auto instance = MakeInstance();
    Mondrel(instance).TriggerDueDates();  // the first tick, which writes the flags anyway
    Host->Variables().ClearHistory();
    SetNow(14, 0, 30);
    Mondrel(instance).TriggerDueDates();

    const auto& history = Host->Variables().History();
    ASSERT_EQ(history.size(), flags.size() + 1);
    for (size_t i = 0; i < flags.size(); ++i) {
        EXPECT_EQ(history[i].Call, THostVariableCall::WriteBoolean);
        EXPECT_EQ(history[i].Name, flags[i].Variable);
        EXPECT_EQ(history[i].BoolValue, i == 0);
    }
    EXPECT_EQ(history.back().Call, THostVariableCall::WriteString);

    Host->Variables().ClearHistory();
    SetNow(14, 1, 2);
    Mondrel(instance).TriggerDueDates();
    EXPECT_TRUE(Written(THostVariableCall::WriteBoolean).empty());
}

TEST_F(TriggerTest, TheFirstTickAndTheFirstAfterAnotherFileWriteTheFlagsBeforeAppointments) {
    TFlags flags = GetFlags(Database);
    ASSERT_EQ(flags[1].Variable, "Mondrel_IsPublicHoliday");
    SetDayFlags(Database, {flags[1].ID}, Today());
    AddAppointment(Today(), 6, 0, 0, "wake-up lights", "");
    SetNow(6, 10, 0);
    auto instance = MakeInstance();
    Mondrel(instance).TriggerDueDates();
    EXPECT_EQ(
        Written(THostVariableCall::WriteBoolean),
        (std::vector<std::string>{"Mondrel_IsWeekend=false", "Mondrel_IsPublicHoliday=true"}));
    EXPECT_EQ(Host->Variables().History().back().Call, THostVariableCall::WriteString)
        << "the appointment comes after the flags";

    Host->Variables().ClearHistory();
    SetNow(6, 11, 0);
    Mondrel(instance).TriggerDueDates();
    EXPECT_TRUE(Written(THostVariableCall::WriteBoolean).empty());

    // The same file named again changes nothing; another file's flags are written at once.
    const std::string other = KernelDir + "Database/Other.sdb";
    CreateMondrelDatabase(other);
    for (const std::string& path : {Database, other}) {
        TNHXTextRef text(path);
        TNHXMondrelSettings settings{text.Get()};
        instance->SetSettings(&settings);
        Host->Variables().ClearHistory();
        Mondrel(instance).TriggerDueDates();
        const std::vector<std::string> expected =
            path == other ? std::vector<std::string>{"Mondrel_IsWeekend=false",
                                                     "Mondrel_IsPublicHoliday=false"}
                          : std::vector<std::string>{};
        EXPECT_EQ(Written(THostVariableCall::WriteBoolean), expected);
    }
}

TEST_F(TriggerTest, UnknownScriptIsLoggedAndStillMarkedDone) {
    int64_t id = AddAppointment(Today(), 10, 0, 0, "ghost", "no-such-script");
    auto instance = MakeInstance();
    Mondrel(instance).TriggerDueDates();

    EXPECT_EQ(CountLogged(Host->Log(), TLogMatch()
                                           .Kind(NHX_LOG_NOTICE)
                                           .From("Mondrel")
                                           .Containing("Script not found: no-such-script")),
              1);
    EXPECT_TRUE(Host->Scripter().Runs().empty());
    EXPECT_EQ(Done(id), 1);
}

TEST_F(TriggerTest, MissingServicesAreSkippedWithoutHarm) {
    Host->RefuseAllServices();
    auto instance = MakeInstance();
    Host->RefuseAllServices(false);
    TNHXMondrelSettings settings{};
    TNHXTextRef path(Database);
    settings.Database = path.Get();
    instance->SetSettings(&settings);
    int64_t id = AddAppointment(Today(), 10, 0, 0, "quiet", "anything");
    SetNow(11, 0, 0);

    EXPECT_NO_THROW(Mondrel(instance).TriggerDueDates());
    EXPECT_NO_THROW(Mondrel(instance).EnsureForcedVariables());
    EXPECT_EQ(Done(id), 1);
    EXPECT_TRUE(Host->Variables().History().empty());
}

TEST_F(TriggerTest, ARealScriptSeesItsParametersInItsEnvironment) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    const std::string out = KernelDir + "env.txt";
    AddScript("lights",
              "printf '%s|%s|%s|%s|%s' \"$Mondrel_Discription\" \"$Mondrel_Value\" "
              "\"$Mondrel_Date\" \"$Mondrel_Time\" \"$NHX_SENDER\" > '" +
                  out + "'");
    AddAppointment(Today(), 10, 30, 0, "Lights on", "lights", "75 %");
    auto instance = MakeInstance();
    Mondrel(instance).TriggerDueDates();
    ASSERT_TRUE(Host->Scripter().WaitForScripts(10000));
    QLocale::setDefault(QLocale::system());

    QFile file(QString::fromStdString(out));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), "Lights on|75 %|08/12/2026|10:30:00|Mondrel");
}
