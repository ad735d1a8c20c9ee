#include "DayFlagTestSupport.h"

#include <algorithm>

#include "Sqlite3Db.h"

std::vector<std::string> TDayFlagCommandTest::FlaggedDays(int flagID) const {
    std::vector<std::string> days;
    TSqliteDatabase database(Path);
    auto query = database.Query("SELECT Date FROM DayFlags WHERE FlagID = ? ORDER BY Date",
                                {int64_t{flagID}});
    for (; !query->AtEnd(); query->Next()) {
        days.push_back(query->FieldAsText(0));
    }
    return days;
}

std::string TDayFlagCommandTest::OtherTables() const {
    return QueryText(Path,
                     "SELECT (SELECT group_concat(ID || Caption || Variable || Color || "
                     "ifnull(isFix, 'null'), '|') FROM Flags) || '/' || "
                     "ifnull((SELECT group_concat(ID || Date || Time || Done, '|') FROM Dates), "
                     "'') || '/' || (SELECT group_concat(Value || Name, '|') FROM Colors)");
}

::testing::AssertionResult HoldsDays(const std::vector<std::string>& days,
                                     const std::vector<std::string>& wanted) {
    for (const std::string& day : wanted) {
        if (std::find(days.begin(), days.end(), day) == days.end()) {
            return ::testing::AssertionFailure() << day << " is not flagged";
        }
    }
    return ::testing::AssertionSuccess();
}
