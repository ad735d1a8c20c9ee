#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "DayFlagTestSupport.h"
#include "HolidayCalendar.h"

namespace {

class Holidays : public TDayFlagCommandTest {
  protected:
    // The dates of a dry run's lines, which must come in date order.
    std::vector<std::string> DryRunDays(const std::vector<std::string>& args) {
        TRun run = RunTool(args);
        EXPECT_EQ(run.Exit, 0) << run.Err;
        std::vector<std::string> days;
        std::istringstream lines(run.Out);
        for (std::string line; std::getline(lines, line);) {
            EXPECT_EQ(line.substr(10, 2), "  ") << line;
            EXPECT_GT(line.size(), 12u) << "each line names its holiday";
            days.push_back(line.substr(0, 10));
        }
        EXPECT_TRUE(std::is_sorted(days.begin(), days.end()));
        return days;
    }
};

TEST_F(Holidays, Bavaria2027HasItsRegionalDaysOff) {
    TRun run = RunTool({"holidays", Path, "--region", "de-by", "--year", "2027"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    std::vector<std::string> days = FlaggedDays(HolidayFlag);
    EXPECT_TRUE(HoldsDays(days, {"2027-01-06", "2027-03-26", "2027-05-27", "2027-11-01",
                                 "2027-12-25", "2027-12-26"}));
    EXPECT_FALSE(HoldsDays(days, {"2027-02-14"}));
    EXPECT_EQ(run.Out,
              std::to_string(days.size()) + " days flagged Public holiday, 0 already set\n");
    EXPECT_TRUE(FlaggedDays(WeekendFlag).empty());

    TRun again = RunTool({"holidays", Path, "--region", "de-by", "--year", "2027"});
    EXPECT_EQ(again.Out,
              "0 days flagged Public holiday, " + std::to_string(days.size()) + " already set\n");
    EXPECT_EQ(FlaggedDays(HolidayFlag), days);
}

// Without --all only days off work count: the same days as Debian's independent list.
TEST_F(Holidays, DaysOffWorkAgreeWithAnIndependentListForSomeRegions) {
    for (auto [region, country, subdivision] :
         {std::tuple{"de-by", "DE", "'BY'"}, {"de-be", "DE", "'BE'"}, {"at", "AT", "None"}}) {
        std::string script = std::string(
                                 "import holidays; print(' '.join(sorted(str(d) for d in "
                                 "holidays.CountryHoliday('") +
                             country + "', prov=" + subdivision + ", years=2027))))";
        std::string command = std::string(PYTHON3_PROGRAM) + " -c \"" + script + "\"";
        std::string expected;
        if (FILE* pipe = popen(command.c_str(), "r")) {
            for (char buffer[256]; std::fgets(buffer, sizeof buffer, pipe) != nullptr;) {
                expected += buffer;
            }
            EXPECT_EQ(pclose(pipe), 0) << command;
        }
        std::string ours;
        for (const std::string& day :
             DryRunDays({"holidays", Path, "--region", region, "--year", "2027", "--dry-run"})) {
            ours += (ours.empty() ? "" : " ") + day;
        }
        EXPECT_EQ(ours + "\n", expected) << region;
    }
}

TEST_F(Holidays, EnglandAndWales2027GetsTheSubstituteDaysOffAfterChristmas) {
    TRun run = RunTool({"holidays", Path, "--region", "gb-eaw", "--year", "2027"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_TRUE(HoldsDays(FlaggedDays(HolidayFlag), {"2027-12-27", "2027-12-28"}));
}

TEST_F(Holidays, DryRunListsEachDayInOrderAndWritesNothing) {
    std::vector<std::string> days =
        DryRunDays({"holidays", Path, "--dry-run", "--region", "de-by", "--year", "2027"});
    EXPECT_TRUE(HoldsDays(days, {"2027-01-06", "2027-03-26", "2027-12-26"}));
    EXPECT_FALSE(HoldsDays(days, {"2027-12-24"})) << "an observance, not a day off";
    EXPECT_EQ(Count("SELECT count(*) FROM DayFlags"), "0");

    std::vector<std::string> all =
        DryRunDays({"holidays", Path, "--dry-run", "--all", "--region", "de-by", "--year", "2027"});
    EXPECT_TRUE(HoldsDays(all, days));
    EXPECT_TRUE(HoldsDays(all, {"2027-12-24"})) << "--all adds the observances";

    // The range cuts the year: only days inside it are listed.
    EXPECT_EQ(DryRunDays({"holidays", Path, "--dry-run", "--region", "gb-eaw", "--from",
                          "2027-12-26", "--to", "2027-12-27"}),
              (std::vector<std::string>{"2027-12-26", "2027-12-27"}));
    EXPECT_EQ(Count("SELECT count(*) FROM DayFlags"), "0");
}

TEST_F(Holidays, ClearUndoesTheHolidaysAndKeepsTheWeekends) {
    ASSERT_EQ(RunTool({"weekends", Path, "--year", "2027"}).Exit, 0);
    ASSERT_EQ(RunTool({"holidays", Path, "--region", "gb-eaw", "--year", "2027"}).Exit, 0);
    size_t holidays = FlaggedDays(HolidayFlag).size();
    TRun run = RunTool({"holidays", Path, "--region", "gb-eaw", "--year", "2027", "--clear"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, std::to_string(holidays) + " days cleared of Public holiday, 0 not set\n");
    EXPECT_TRUE(FlaggedDays(HolidayFlag).empty());
    EXPECT_EQ(FlaggedDays(WeekendFlag).size(), 104u);
}

TEST(HolidayRegions, OwnCodesAndShortFormsWithoutRegardToCase) {
    EXPECT_EQ(FindHolidayRegion("de-by"), "de-by_de");
    EXPECT_EQ(FindHolidayRegion("DE-BY_DE"), "de-by_de");
    EXPECT_EQ(FindHolidayRegion("At"), "at_de");
    EXPECT_EQ(FindHolidayRegion("gb-sct"), "gb-sct_en-gb");
    EXPECT_EQ(FindHolidayRegion("us"), "us_en-us");
    EXPECT_EQ(FindHolidayRegion("be_nl"), "be_nl");
    std::string belgium = FindHolidayRegion("be");
    EXPECT_EQ(belgium.rfind("be_", 0), 0u);
    for (const THolidayRegion& region : HolidayRegions()) {
        if (region.Code.rfind("be_", 0) == 0) {
            EXPECT_LE(belgium, region.Code) << "the first language in sorted order";
        }
    }
    for (const char* unknown : {"", "xx", "de-xx", "de-by_xx", "_de"}) {
        EXPECT_EQ(FindHolidayRegion(unknown), "") << unknown;
    }
}

TEST(HolidayRegions, RegionsListsEveryRegionSortedAndFilters) {
    TRun all = RunTool({"regions"});
    ASSERT_EQ(all.Exit, 0) << all.Err;
    std::vector<std::string> lines;
    std::istringstream text(all.Out);
    for (std::string line; std::getline(text, line);) {
        lines.push_back(line);
    }
    EXPECT_GT(lines.size(), 100u);
    EXPECT_TRUE(std::is_sorted(lines.begin(), lines.end()));
    EXPECT_NE(std::find(lines.begin(), lines.end(), "de-by_de  de-by  Germany, Bavaria"),
              lines.end());

    EXPECT_EQ(RunTool({"regions", "BAVARIA"}).Out, "de-by_de  de-by  Germany, Bavaria\n");
    TRun britain = RunTool({"regions", "gb-"});
    EXPECT_NE(britain.Out.find("gb-sct_en-gb  gb-sct  "), std::string::npos) << britain.Out;
    EXPECT_EQ(std::count(britain.Out.begin(), britain.Out.end(), '\n'), 3);
    TRun none = RunTool({"regions", "atlantis"});
    EXPECT_EQ(none.Exit, 0);
    EXPECT_EQ(none.Out, "");
}

}  // namespace
