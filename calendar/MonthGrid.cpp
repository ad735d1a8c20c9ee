#include "MonthGrid.h"

TMonthGrid BuildMonthGrid(int year, int month) {
    TMonthGrid grid;
    grid.Year = year;
    grid.Month = month;
    grid.Days = DaysInMonth(year, month);
    TDateTime first = EncodeDate(year, month, 1);
    grid.FirstWeekday = IsoWeekday(first);

    int previousDays = month == 1 ? DaysInMonth(year - 1, 12) : DaysInMonth(year, month - 1);
    int lead = previousDays - grid.FirstWeekday + 2;
    int n = 1;
    for (int cell = 0; cell < GridCells; ++cell) {
        if (cell < grid.FirstWeekday - 1) {
            grid.Cells[cell] = {lead++, TCellKind::Leading};
        } else if (n <= grid.Days) {
            grid.Cells[cell] = {n++, TCellKind::Shown};
        } else {
            grid.Cells[cell] = {n++ - grid.Days, TCellKind::Trailing};
        }
    }
    TDateTime firstMonday = first - (grid.FirstWeekday - 1);
    for (int row = 0; row < GridRows; ++row) {
        grid.WeekNumbers[row] = IsoWeekNumber(firstMonday + 7 * row);
    }
    return grid;
}

TDateTime GridCellDate(const TMonthGrid& grid, int cell) {
    return EncodeDate(grid.Year, grid.Month, 1) + (cell - (grid.FirstWeekday - 1));
}

int RowOfDay(int day, int firstWeekday) {
    return (day + firstWeekday - 2) / GridColumns;
}

TDateParts StepMonth(const TDateParts& from, int delta) {
    int index = from.Year * 12 + (from.Month - 1) + delta;
    TDateParts to;
    to.Year = index / 12;
    to.Month = index % 12 + 1;
    int days = DaysInMonth(to.Year, to.Month);
    to.Day = from.Day < days ? from.Day : days;
    return to;
}

int MonthCaptionLeft(int headerWidth, int arrowWidth, int margin, int yearLabelWidth,
                     int captionWidth) {
    // Integer division truncates toward zero, as the layout expects for wide captions too.
    return (headerWidth - 4 * margin - arrowWidth - (captionWidth + yearLabelWidth)) / 2 +
           2 * margin + arrowWidth - 10;
}

TDayMark FindDayMark(const TTermine& marks, TDateTime day) {
    TDayMark result;
    for (const auto& row : marks) {
        for (const auto& mark : row) {
            if (mark.Date == day) {
                result.Mark = &mark;
                result.Narrows =
                    result.Narrows || mark.Style == fsBold || mark.Style == (fsBold | fsUnderline);
            }
        }
    }
    return result;
}
