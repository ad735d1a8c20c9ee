// The pure model of the month calendar: which day each of the 6 x 7 cells shows, the ISO week
// number in front of each row, cell dates, month steps and the caption centring. The widget
// only applies these results to its children.
#pragma once

#include <array>

#include "DateTime.h"
#include "JCalendarTypes.h"

constexpr int GridRows = 6;
constexpr int GridColumns = 7;
constexpr int GridCells = GridRows * GridColumns;

enum class TCellKind { Leading, Shown, Trailing };

struct TGridCell {
    int Day = 0;
    TCellKind Kind = TCellKind::Shown;
};

struct TMonthGrid {
    int Year = 0;
    int Month = 0;
    int Days = 0;
    // ISO weekday of the first of the month, 1 = Monday to 7 = Sunday.
    int FirstWeekday = 1;
    // Cell (row r, column c) at 7r + c.
    std::array<TGridCell, GridCells> Cells{};
    std::array<int, GridRows> WeekNumbers{};
};

// Leading cells hold the end of the previous month, trailing cells the start of the next.
TMonthGrid BuildMonthGrid(int year, int month);

// The real date of a cell at midnight (leading and trailing cells lie in the neighbour months).
TDateTime GridCellDate(const TMonthGrid& grid, int cell);

// The row in which day `day` of a month appears when that month's first day has ISO weekday
// `firstWeekday`.
int RowOfDay(int day, int firstWeekday);

// The month `delta` months away from year/month, with the day cut to that month's length.
TDateParts StepMonth(const TDateParts& from, int delta);

// Left of the month caption so that it and the year caption stand centred between the arrows.
int MonthCaptionLeft(int headerWidth, int arrowWidth, int margin, int yearLabelWidth,
                     int captionWidth);

struct TDayMark {
    // The last mark in list order whose Date equals the day exactly; null when none does.
    const TTermin* Mark = nullptr;
    // Some matching mark was exactly bold, or exactly bold and underlined: such a mark takes one
    // pixel off the cell, even when a later mark of another style shows.
    bool Narrows = false;
};

TDayMark FindDayMark(const TTermine& marks, TDateTime day);
