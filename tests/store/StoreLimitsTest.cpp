// What the store refuses before it writes, and what its messages hold.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "DBCnx.h"
#include "MondrelError.h"
#include "Sqlite3Db.h"
#include "StoreTestSupport.h"

namespace {

using StoreLimits = TReadyDatabaseTest;

TMondrelDate Appointment(TDateTime date, TDateTime time) {
    TMondrelDate appointment;
    appointment.Date = date;
    appointment.Time = time;
    appointment.Discription = "d";
    return appointment;
}

std::string NoTimeOfDay(TDateTime time) {
    return "The time " + std::to_string(time) + " is no time of day (00:00:00 to 23:59:59.999)";
}

TEST_F(StoreLimits, DatesAndTimesOutsideTheirRangeAreRefusedBeforeAnythingIsWritten) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const TDateTime after9999 = Day(9999, 12, 31) + 1;
    for (TDateTime date : {nan, inf, -inf, after9999, Day(100, 1, 1) - 1, Day(50, 6, 1), 1e300}) {
        const std::string outside =
            "The date " + std::to_string(date) + " lies outside 0100-01-01 to 9999-12-31";
        EXPECT_THROW_MSG(AddDate(Path, Appointment(date, At(10, 0))), EConvertError, outside);
        EXPECT_THROW_MSG(SetDayFlags(Path, {1}, date), EConvertError, outside);
    }
    for (TDateTime time : {nan, -0.25, 1.0, 1.5, inf}) {
        EXPECT_THROW_MSG(AddDate(Path, Appointment(Day(2026, 12, 8), time)), EConvertError,
                         NoTimeOfDay(time));
    }
    EXPECT_EQ(QueryText(Path, "SELECT count(*) FROM Dates"), "0");
    EXPECT_EQ(QueryText(Path, "SELECT count(*) FROM DayFlags"), "0");

    // The edges themselves are written and read back.
    AddDate(Path, Appointment(Day(9999, 12, 31), At(23, 59, 59) + 0.999 / 86400));
    AddDate(Path, Appointment(Day(100, 1, 1), 0));
    EXPECT_EQ(QueryText(Path,
                        "SELECT group_concat(row, ',') FROM (SELECT Date || ' ' || Time "
                        "AS row FROM Dates ORDER BY ID)"),
              "9999-12-31 23:59:59,100-01-01 00:00:00");
    TDates last = GetDates(Path, dqMonth, Day(9999, 12, 1));
    ASSERT_EQ(last.size(), 1u);
    EXPECT_EQ(last[0].Date, Day(9999, 12, 31));
    EXPECT_EQ(GetDates(Path, dqDayOpen, Day(9999, 12, 31)).size(), 1u);

    TMondrelDate stored = GetDate(Path, last[0].ID);
    stored.Time = nan;
    EXPECT_THROW_MSG(UpdateDate(Path, stored), EConvertError, NoTimeOfDay(nan));
    EXPECT_EQ(QueryText(Path, "SELECT Time FROM Dates WHERE Date = '9999-12-31'"), "23:59:59");
}

TEST_F(StoreLimits, ValuesInErrorMessagesAreCutAfter200Bytes) {
    RunSql(Path, "DROP TABLE Dates");
    TMondrelDate appointment = Appointment(Day(2026, 12, 8), At(10, 0));
    appointment.Discription = std::string(199, 'a') + "bc" + std::string(1000000, 'z');
    appointment.Value = std::string(200, 'v');
    try {
        AddDate(Path, appointment);
        FAIL() << "no error";
    } catch (const ESqliteException& error) {
        const std::string message = error.what();
        EXPECT_LT(message.size(), 1000u);
        EXPECT_NE(message.find("\"" + std::string(199, 'a') + "b\xE2\x80\xA6\""), std::string::npos)
            << message;
        EXPECT_NE(message.find("\"" + std::string(200, 'v') + "\""), std::string::npos)
            << "a value of exactly 200 bytes stays whole";
        EXPECT_EQ(message.find('z'), std::string::npos);
    }
}

TEST_F(StoreLimits, UpdatingADeletedAppointmentRaisesAndWritesNothing) {
    AddDate(Path, Appointment(Day(2026, 12, 8), At(10, 0)));
    TMondrelDate stored = GetDate(Path, std::stoll(QueryText(Path, "SELECT ID FROM Dates")));
    RunSql(Path, "DELETE FROM Dates");
    stored.Discription = "my edit";
    EXPECT_THROW_MSG(UpdateDate(Path, stored), EMondrelError, "The appointment no longer exists.");
    EXPECT_EQ(QueryText(Path, "SELECT count(*) FROM Dates"), "0");

    // An update that changes no value of a row that is there is no error.
    AddDate(Path, Appointment(Day(2026, 12, 8), At(10, 0)));
    stored = GetDate(Path, std::stoll(QueryText(Path, "SELECT ID FROM Dates")));
    EXPECT_NO_THROW(UpdateDate(Path, stored));
}

}  // namespace
