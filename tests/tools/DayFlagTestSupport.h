// Files for the tests of the commands that fill day flags, and what they look like afterwards.
#pragma once

#include <string>
#include <vector>

#include "StoreTestSupport.h"
#include "ToolTestSupport.h"

class TDayFlagCommandTest : public TReadyDatabaseTest {
  protected:
    // The days (YYYY-MM-DD) that hold the flag, in date order, each as often as it holds it.
    std::vector<std::string> FlaggedDays(int flagID) const;
    // Every row of Flags, Dates and Colors as text, to show that they stay as they were.
    std::string OtherTables() const;
    std::string Count(const std::string& sql) const { return QueryText(Path, sql); }

    static constexpr int WeekendFlag = 1;
    static constexpr int HolidayFlag = 2;
};

// Each "YYYY-MM-DD" of the list is in the other list.
::testing::AssertionResult HoldsDays(const std::vector<std::string>& days,
                                     const std::vector<std::string>& wanted);
