#include "MonthGrid.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

std::vector<int> Days(const TMonthGrid& grid, int from, int to) {
    std::vector<int> days;
    for (int cell = from; cell < to; ++cell) {
        days.push_back(grid.Cells[cell].Day);
    }
    return days;
}

int CountKind(const TMonthGrid& grid, TCellKind kind) {
    int count = 0;
    for (const auto& cell : grid.Cells) {
        count += cell.Kind == kind ? 1 : 0;
    }
    return count;
}

}  // namespace

TEST(MonthGrid, MonthStartingOnMondayHasNoLeadingCells) {
    TMonthGrid grid = BuildMonthGrid(2025, 12);  // 1 December 2025 is a Monday
    EXPECT_EQ(grid.FirstWeekday, 1);
    EXPECT_EQ(grid.Cells[0].Day, 1);
    EXPECT_EQ(grid.Cells[0].Kind, TCellKind::Shown);
    EXPECT_EQ(CountKind(grid, TCellKind::Leading), 0);
    EXPECT_EQ(CountKind(grid, TCellKind::Trailing), 42 - 31);
    EXPECT_EQ(grid.Cells[30].Day, 31);
    EXPECT_EQ(grid.Cells[31].Day, 1);
    EXPECT_EQ(grid.Cells[41].Day, 11);
    EXPECT_EQ(grid.Cells[41].Kind, TCellKind::Trailing);
}

TEST(MonthGrid, CommonFebruaryStartingOnMondayShowsTwoWeeksOfMarch) {
    TMonthGrid grid = BuildMonthGrid(2027, 2);
    EXPECT_EQ(grid.FirstWeekday, 1);
    EXPECT_EQ(grid.Days, 28);
    EXPECT_EQ(grid.Cells[27].Day, 28);
    EXPECT_EQ(grid.Cells[27].Kind, TCellKind::Shown);
    std::vector<int> march(14);
    std::iota(march.begin(), march.end(), 1);
    EXPECT_EQ(Days(grid, 28, 42), march);
    EXPECT_EQ(CountKind(grid, TCellKind::Trailing), 14);
}

TEST(MonthGrid, LongMonthStartingOnSundayEndsInLastRow) {
    TMonthGrid grid = BuildMonthGrid(2026, 3);  // 1 March 2026 is a Sunday
    EXPECT_EQ(grid.FirstWeekday, 7);
    EXPECT_EQ(Days(grid, 0, 6), (std::vector<int>{23, 24, 25, 26, 27, 28}));
    EXPECT_EQ(grid.Cells[0].Kind, TCellKind::Leading);
    EXPECT_EQ(grid.Cells[6].Day, 1);
    EXPECT_EQ(grid.Cells[6].Kind, TCellKind::Shown);
    EXPECT_EQ(grid.Cells[7 * 5 + 1].Day, 31);  // row 5, column 1
    EXPECT_EQ(Days(grid, 37, 42), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(CountKind(grid, TCellKind::Trailing), 5);
}

TEST(MonthGrid, LeadingDaysOfJanuaryComeFromDecember) {
    TMonthGrid grid = BuildMonthGrid(2027, 1);  // a Friday
    EXPECT_EQ(Days(grid, 0, 5), (std::vector<int>{28, 29, 30, 31, 1}));
    EXPECT_EQ(GridCellDate(grid, 0), EncodeDate(2026, 12, 28));
    EXPECT_EQ(GridCellDate(grid, 41), EncodeDate(2027, 2, 7));
}

TEST(MonthGrid, WeekNumbersFollowIso8601AcrossTheTurnOfTheYear) {
    EXPECT_EQ(BuildMonthGrid(2025, 12).WeekNumbers, (std::array<int, 6>{49, 50, 51, 52, 1, 2}));
    EXPECT_EQ(BuildMonthGrid(2027, 1).WeekNumbers, (std::array<int, 6>{53, 1, 2, 3, 4, 5}));
    EXPECT_EQ(BuildMonthGrid(2021, 1).WeekNumbers, (std::array<int, 6>{53, 1, 2, 3, 4, 5}));
    EXPECT_EQ(BuildMonthGrid(2023, 1).WeekNumbers, (std::array<int, 6>{52, 1, 2, 3, 4, 5}));
}

TEST(MonthGrid, RowOfDayKeepsTheWeekdayColumn) {
    EXPECT_EQ(RowOfDay(1, 1), 0);
    EXPECT_EQ(RowOfDay(7, 1), 0);
    EXPECT_EQ(RowOfDay(8, 1), 1);
    EXPECT_EQ(RowOfDay(31, 7), 5);
    EXPECT_EQ(RowOfDay(2, 4), 0);
}

TEST(MonthGrid, MonthStepsCutTheDayToTheTargetMonth) {
    auto step = [](int y, int m, int d, int delta) {
        TDateParts to = StepMonth({y, m, d}, delta);
        return std::array<int, 3>{to.Year, to.Month, to.Day};
    };
    EXPECT_EQ(step(2025, 1, 31, 1), (std::array<int, 3>{2025, 2, 28}));
    EXPECT_EQ(step(2024, 1, 31, 1), (std::array<int, 3>{2024, 2, 29}));
    EXPECT_EQ(step(2025, 3, 31, -1), (std::array<int, 3>{2025, 2, 28}));
    EXPECT_EQ(step(2025, 12, 15, 1), (std::array<int, 3>{2026, 1, 15}));
    EXPECT_EQ(step(2025, 1, 15, -1), (std::array<int, 3>{2024, 12, 15}));
}

TEST(MonthGrid, CaptionIsCentredBetweenTheArrows) {
    // (122 - caption width) div 2 + 18 with the control's sizes; div truncates toward zero.
    EXPECT_EQ(MonthCaptionLeft(190, 20, 4, 32, 60), 49);
    EXPECT_EQ(MonthCaptionLeft(190, 20, 4, 32, 61), 48);
    EXPECT_EQ(MonthCaptionLeft(190, 20, 4, 32, 125), 17);
}

TEST(DayMarks, LaterMarksWinAndOnlyMidnightMatches) {
    TDateTime day = EncodeDate(2025, 12, 10);
    TTermine marks = {
        {{day, fsBold, 0x0000FF, ""}, {day + EncodeTime(8, 0, 0, 0), 0, 0x00FF00, ""}},
        {{day, fsItalic, 0xFF0000, "later"}}};
    TDayMark found = FindDayMark(marks, day);
    ASSERT_NE(found.Mark, nullptr);
    EXPECT_EQ(found.Mark->Color, 0xFF0000);
    EXPECT_EQ(found.Mark->Style, fsItalic);
    EXPECT_TRUE(found.Narrows);  // the earlier bold mark narrowed the cell already

    EXPECT_EQ(FindDayMark(marks, day + 1).Mark, nullptr);
    EXPECT_EQ(FindDayMark({}, day).Mark, nullptr);
    EXPECT_EQ(FindDayMark({{}}, day).Mark, nullptr);
}

TEST(DayMarks, OnlyBoldOrBoldUnderlineNarrows) {
    TDateTime day = EncodeDate(2025, 12, 10);
    auto narrows = [day](TFontStyles style) {
        return FindDayMark({{{day, style, 0, ""}}}, day).Narrows;
    };
    EXPECT_TRUE(narrows(fsBold));
    EXPECT_TRUE(narrows(fsBold | fsUnderline));
    EXPECT_FALSE(narrows(fsBold | fsItalic));
    EXPECT_FALSE(narrows(fsBold | fsStrikeOut));
    EXPECT_FALSE(narrows(fsUnderline));
    EXPECT_FALSE(narrows(0));
}
