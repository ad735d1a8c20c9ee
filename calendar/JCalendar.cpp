#include "JCalendar.h"

#include <QApplication>
#include <QListWidget>
#include <QMouseEvent>
#include <utility>

#include "ArrowBitmap.h"
#include "ClickImage.h"
#include "ClickLabel.h"
#include "Clock.h"
#include "MessageBox.h"
#include "MondrelError.h"
#include "MonthGrid.h"
#include "Shape.h"

namespace {

constexpr int CellWidth = 22;
constexpr int Margin = 4;
constexpr int LabelTop = 6;
constexpr int YearLabelWidth = 32;
constexpr int RowHeight = 16;
constexpr int CellHeight = 16;
constexpr int HeaderHeight = 30;
constexpr int ArrowSize = 20;
constexpr int CaptionHeight = 17;
constexpr int MonthListWidth = 65;
constexpr int YearListWidth = 50;
constexpr int YearListHeight = 70;
constexpr int ListGap = 10;

constexpr int FirstWeekLabel = 0;
constexpr int FirstWeekdayLabel = 6;
constexpr int FirstDayCell = 13;

// Day marker sizes: after Setup and month steps, and after a day click.
constexpr QSize DayMarkerSize(20, 16);
constexpr QSize ClickedDayMarkerSize(19, 15);
constexpr int WeekMarkerWidth = 150;
constexpr int WeekdayMarkerHeight = 97;

int DayCellIndex(int row, int column) {
    return FirstDayCell + GridColumns * row + column;
}

void SetWindowColor(QWidget* widget, TColor color) {
    QPalette palette;
    palette.setColor(QPalette::Window, ColorToQColor(color));
    widget->setPalette(palette);
}

void SetTextColor(QWidget* widget, TColor color) {
    QPalette palette;
    palette.setColor(QPalette::WindowText, ColorToQColor(color));
    widget->setPalette(palette);
}

// Only the style attributes are set, so family and size still come from the parent.
QFont StyledFont(TFontStyles style) {
    QFont font;
    font.setBold((style & fsBold) != 0);
    font.setItalic((style & fsItalic) != 0);
    font.setUnderline((style & fsUnderline) != 0);
    font.setStrikeOut((style & fsStrikeOut) != 0);
    return font;
}

// The captions are 10 point bold, and a four-digit year must fit the year caption's fixed width.
// Where the platform's font is wider than that, the glyphs are narrowed rather than clipped.
QFont CaptionFont(const QFont& inherited) {
    QFont font;
    font.setPointSize(10);
    font.setBold(true);
    for (int stretch = 100; stretch > 50; stretch -= 1) {
        font.setStretch(stretch);
        if (QFontMetrics(font.resolve(inherited)).horizontalAdvance("0000") <= YearLabelWidth) {
            break;
        }
    }
    return font;
}

int ListLineHeight(const QListWidget* list) {
    return list->fontMetrics().height();
}

void AddListItem(QListWidget* list, const QString& text) {
    auto* item = new QListWidgetItem(text, list);
    item->setSizeHint(QSize(list->width(), ListLineHeight(list)));
}

}  // namespace

TJCalendar::TJCalendar(QWidget* owner) : QFrame(owner) {
    // The property page's name for its calendar; the page may rename it.
    setObjectName("Calendar");
    FShownDate = Now();
    HeaderPanel = new QFrame(this);
    HeaderPanel->setObjectName("HeaderPanel");
    BodyPanel = new QFrame(this);
    BodyPanel->setObjectName("BodyPanel");
    LeftArrow = new TClickImage(this);
    LeftArrow->setObjectName("LeftArrow");
    RightArrow = new TClickImage(this);
    RightArrow->setObjectName("RightArrow");
    HorizontalLine = new TShape(this, TShape::TKind::Rectangle);
    HorizontalLine->setObjectName("HorizontalLine");
    VerticalLine = new TShape(this, TShape::TKind::Rectangle);
    VerticalLine->setObjectName("VerticalLine");
    const char* edgeNames[] = {"TodayTop", "TodayBottom", "TodayLeft", "TodayRight"};
    for (size_t i = 0; i < TodayFrame.size(); ++i) {
        TodayFrame[i] = new TShape(this, TShape::TKind::RoundRect);
        TodayFrame[i]->setObjectName(edgeNames[i]);
    }
    Marker = new TShape(this, TShape::TKind::RoundRect);
    Marker->setObjectName("Marker");
    // Nothing is placed before Setup.
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        child->hide();
    }
}

TJCalendar::~TJCalendar() {
    // The lists live in the host panel; the other children go with the control.
    delete MonthList.data();
    delete YearList.data();
}

void TJCalendar::Setup(QWidget* hostPanel) {
    if (hostPanel == nullptr) {
        throw EMondrelError("The calendar needs a panel to be placed in.");
    }
    if (Labels[0] != nullptr) {
        throw EMondrelError("The calendar is already set up.");
    }
    TDateTime now = Now();

    HostPanel = hostPanel;
    setParent(hostPanel);
    setFrameShape(QFrame::NoFrame);
    setAutoFillBackground(true);
    // Its own background, not the host panel's: only its last pixel row shows it.
    QPalette own;
    own.setColor(QPalette::Window, QApplication::palette().color(QPalette::Window));
    setPalette(own);
    SetBounds(10, 10, 190, 154);
    show();

    // Children stack in the order they are placed: in the body the marker, the lines, the
    // labels, then the today frame on top.
    BuildPanels();
    BuildArrows();
    BuildMarkerAndLines();
    BuildCaptions();
    BuildGridLabels();
    ShowMonth(now);
    BuildLists();
    BuildTodayFrame(now);
    FSelectedDate = now;
}

void TJCalendar::BuildPanels() {
    for (QFrame* panel : {HeaderPanel, BodyPanel}) {
        panel->setParent(this);
        panel->setFrameShape(QFrame::NoFrame);
        panel->setAutoFillBackground(true);
        panel->show();
    }
    HeaderPanel->setGeometry(0, 0, width(), HeaderHeight);
    BodyPanel->setGeometry(0, HeaderPanel->height(), HeaderPanel->width(),
                           height() - HeaderPanel->height() - 1);
    ApplyPanelColors();
}

void TJCalendar::BuildArrows() {
    int arrowTop = (HeaderPanel->height() - ArrowSize) / 2 - 2;
    LeftArrow->setParent(HeaderPanel);
    LeftArrow->setGeometry(Margin, arrowTop, ArrowSize, ArrowSize);
    LeftArrow->OnClick = [this](TClickImage*) { MonthStep(-1, nullptr); };
    RightArrow->setParent(HeaderPanel);
    RightArrow->setGeometry(HeaderPanel->width() - ArrowSize - Margin, arrowTop, ArrowSize,
                            ArrowSize);
    RightArrow->OnClick = [this](TClickImage*) { MonthStep(1, nullptr); };
    ApplyArrowBitmaps();
    LeftArrow->show();
    RightArrow->show();
}

void TJCalendar::BuildMarkerAndLines() {
    Marker->setParent(BodyPanel);
    Marker->setGeometry(50, 55, 20, 16);
    HorizontalLine->setParent(BodyPanel);
    HorizontalLine->setGeometry(26, 20, BodyPanel->width() - 33, 1);
    VerticalLine->setParent(BodyPanel);
    VerticalLine->setGeometry(26, 20, 1, BodyPanel->height() - 25);
    for (TShape* shape : {Marker, HorizontalLine, VerticalLine}) {
        shape->show();
    }
    ApplyShapeColors();
}

void TJCalendar::BuildCaptions() {
    QFont captionFont = CaptionFont(HeaderPanel->font());
    MonthCaption = NewLabel(HeaderPanel, "MonthCaption", QRect(0, LabelTop, 0, CaptionHeight));
    YearCaption =
        NewLabel(HeaderPanel, "YearCaption", QRect(0, LabelTop, YearLabelWidth, CaptionHeight));
    YearCaption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (TClickLabel* caption : {MonthCaption, YearCaption}) {
        caption->setFont(captionFont);
        caption->OnClick = [this](TClickLabel* label) { CaptionClick(label); };
    }
}

void TJCalendar::BuildGridLabels() {
    for (int row = 0; row < GridRows; ++row) {
        auto* label = NewLabel(BodyPanel, QString("WeekLabel%1").arg(row),
                               QRect(4, RowHeight * (row + 1) + 8, CellWidth, CellHeight));
        label->setAutoFillBackground(true);
        label->OnClick = [this](TClickLabel* l) { WeekClick(l); };
        Labels[FirstWeekLabel + row] = label;
    }
    for (int column = 0; column < GridColumns; ++column) {
        auto* label = NewLabel(BodyPanel, QString("WeekdayLabel%1").arg(column),
                               QRect(CellWidth * (column + 1) + 5, 3, CellWidth, CellHeight));
        label->setAutoFillBackground(true);
        label->setFont(StyledFont(fsBold));
        label->setText(QString::fromUtf8(WeekdayNamesDE[column]));
        label->OnClick = [this](TClickLabel* l) { WeekdayClick(l); };
        Labels[FirstWeekdayLabel + column] = label;
    }
    for (int row = 0; row < GridRows; ++row) {
        for (int column = 0; column < GridColumns; ++column) {
            int index = DayCellIndex(row, column);
            auto* label = NewLabel(BodyPanel, QString("DayCell%1").arg(index),
                                   QRect(CellWidth * (column + 1) + 5, RowHeight * (row + 1) + 8,
                                         CellWidth, CellHeight));
            label->OnClick = [this](TClickLabel* l) { DayCellClick(l); };
            Labels[index] = label;
        }
    }
    ApplyLabelColors();
}

void TJCalendar::BuildLists() {
    auto* monthList = NewList("MonthList", QRect(YearCaption->x() - MonthListWidth - ListGap,
                                                 y() + LabelTop + 1, MonthListWidth, 0));
    auto* yearList = NewList("YearList", QRect(monthList->x() + MonthListWidth + ListGap,
                                               y() + LabelTop + 1, YearListWidth, YearListHeight));
    MonthList = monthList;
    YearList = yearList;
    English = false;
    MonthNames = MonthNamesDE;
    FillMonthList();
    MonthList->resize(MonthListWidth, ListLineHeight(MonthList) * 12 + 3);
    ApplyListColors();
}

void TJCalendar::BuildTodayFrame(TDateTime now) {
    for (size_t i = 0; i < TodayFrame.size(); ++i) {
        TShape* edge = TodayFrame[i];
        edge->setParent(BodyPanel);
        bool horizontal = i < 2;
        edge->setGeometry(51, 55, horizontal ? 17 : 1, horizontal ? 1 : 13);
    }
    ApplyShapeColors();
    int todayCell = ShownCellOfDay(DecodeDate(now).Day);
    if (todayCell >= 0) {
        const QLabel* cell = Labels[todayCell];
        PlaceTodayFrame(cell);
        TodayFrameDay = DateOf(now);
        Marker->setGeometry(QRect(QPoint(cell->x() + 2, cell->y() - 2), DayMarkerSize));
        Marker->show();
    }
    UpdateTodayFrame();
}

void TJCalendar::PlaceTodayFrame(const QLabel* cell) {
    QPoint top(cell->x() + 3, cell->y() - 1);
    TodayFrame[0]->move(top);
    TodayFrame[2]->move(top.x() - 1, top.y() + 1);
    TodayFrame[3]->move(top.x() + 17, top.y() + 1);
    TodayFrame[1]->move(top.x(), TodayFrame[2]->y() + 13);
}

TClickLabel* TJCalendar::NewLabel(QWidget* parent, const QString& name, const QRect& geometry) {
    auto* label = new TClickLabel(parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignCenter);
    label->show();
    return label;
}

QListWidget* TJCalendar::NewList(const QString& name, const QRect& geometry) {
    auto* list = new QListWidget(HostPanel);
    list->setObjectName(name);
    list->setGeometry(geometry);
    list->setFrameShape(QFrame::NoFrame);
    list->setAutoFillBackground(true);
    QFont listFont;
    listFont.setPointSize(6);
    list->setFont(listFont);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(list, &QListWidget::itemClicked, this,
            [this, list](QListWidgetItem* item) { RunGuarded([&] { ListClick(list, item); }); });
    list->hide();
    return list;
}

void TJCalendar::SetBounds(int left, int top, int width, int height) {
    setGeometry(left, top, width, height);
    PlaceLists();
}

void TJCalendar::SetLeft(int left) {
    SetBounds(left, y(), width(), height());
}

void TJCalendar::SetTop(int top) {
    SetBounds(x(), top, width(), height());
}

void TJCalendar::PlaceLists() {
    if (!MonthList || !YearList || MonthCaption == nullptr || YearCaption == nullptr) {
        return;
    }
    MonthList->move(x() + YearCaption->x() - MonthList->width() - ListGap, y() + LabelTop + 1);
    YearList->move(x() + YearCaption->x() + 1, y() + LabelTop + 1);
}

void TJCalendar::SetHeaderColor(TColor color) {
    HeaderColor = color;
    HeaderBackground = color;
    ApplyPanelColors();
    ApplyListColors();
}

void TJCalendar::SetBodyColor(TColor color) {
    BodyColor = color;
    ApplyPanelColors();
    ApplyShapeColors();
}

void TJCalendar::SetMarkerColor(TColor color) {
    MarkerColor = color;
    ApplyShapeColors();
}

void TJCalendar::SetOtherMonthColor(TColor color) {
    OtherMonthColor = color;
    ShowMonth(FShownDate);
}

void TJCalendar::SetWeekNumberColor(TColor color) {
    WeekNumberColor = color;
    ApplyLabelColors();
}

void TJCalendar::SetWeekdayColor(TColor color) {
    WeekdayColor = color;
    ApplyLabelColors();
}

void TJCalendar::SetHeaderTextColor(TColor color) {
    HeaderTextColor = color;
    ListTextColor = color;
    ApplyLabelColors();
    ApplyListColors();
}

void TJCalendar::SetArrowColor(TColor color) {
    ArrowColor = color;
    ApplyArrowBitmaps();
}

void TJCalendar::SetLineColor(TColor color) {
    LineColor = color;
    ApplyShapeColors();
}

void TJCalendar::SetLanguage(bool english) {
    English = english;
    MonthNames = english ? MonthNamesEN : MonthNamesDE;
    FillMonthList();
    if (Labels[FirstWeekdayLabel] != nullptr) {
        const auto& names = english ? WeekdayNamesEN : WeekdayNamesDE;
        for (int column = 0; column < GridColumns; ++column) {
            Labels[FirstWeekdayLabel + column]->setText(QString::fromUtf8(names[column]));
        }
    }
    ShowMonth(FSelectedDate);
}

void TJCalendar::SetMarks(const TTermine& marks) {
    Marks = marks;
    ShowMonth(FShownDate);
}

void TJCalendar::ApplyPanelColors() {
    SetWindowColor(HeaderPanel, HeaderBackground);
    SetWindowColor(BodyPanel, BodyColor);
}

void TJCalendar::ApplyShapeColors() {
    Marker->SetPenColor(ColorToQColor(MarkerColor));
    Marker->SetBrushColor(ColorToQColor(MarkerColor));
    for (TShape* edge : TodayFrame) {
        edge->SetPenColor(ColorToQColor(TodayLineColor));
        edge->SetBrushColor(ColorToQColor(BodyColor));
    }
    if (LineColor) {
        for (TShape* line : {HorizontalLine, VerticalLine}) {
            line->SetPenColor(ColorToQColor(*LineColor));
            line->SetBrushColor(ColorToQColor(*LineColor));
        }
    }
}

void TJCalendar::ApplyLabelColors() {
    if (Labels[0] == nullptr) {
        return;
    }
    for (int row = 0; row < GridRows; ++row) {
        SetTextColor(Labels[FirstWeekLabel + row], WeekNumberColor);
    }
    for (int column = 0; column < GridColumns; ++column) {
        SetTextColor(Labels[FirstWeekdayLabel + column], WeekdayColor);
    }
    SetTextColor(MonthCaption, HeaderTextColor);
    SetTextColor(YearCaption, HeaderTextColor);
}

void TJCalendar::ApplyListColors() {
    for (QListWidget* list : {MonthList.data(), YearList.data()}) {
        if (list == nullptr) {
            continue;
        }
        QPalette palette;
        palette.setColor(QPalette::Base, ColorToQColor(HeaderColor));
        palette.setColor(QPalette::Window, ColorToQColor(HeaderColor));
        if (ListTextColor) {
            palette.setColor(QPalette::Text, ColorToQColor(*ListTextColor));
        }
        list->setPalette(palette);
    }
}

void TJCalendar::ApplyArrowBitmaps() {
    LeftArrow->SetPicture(ArrowBitmap(LeftArrow->width(), LeftArrow->height(), false));
    RightArrow->SetPicture(ArrowBitmap(RightArrow->width(), RightArrow->height(), true));
}

QImage TJCalendar::ArrowBitmap(int width, int height, bool right) const {
    return DrawArrowBitmap(width, height, right, ColorToQColor(HeaderBackground),
                           ColorToQColor(ArrowColor), ColorToQColor(HeaderColor));
}

void TJCalendar::FillMonthList() {
    if (!MonthList) {
        return;
    }
    MonthList->clear();
    for (int month = 1; month <= 12; ++month) {
        AddListItem(MonthList, QString::fromUtf8(MonthNames[month]));
    }
}

void TJCalendar::ShowMonth(TDateTime date) {
    if (Labels[0] == nullptr) {
        return;  // nothing to show before Setup
    }
    TDateParts parts = DecodeDate(date);
    TMonthGrid grid = BuildMonthGrid(parts.Year, parts.Month);

    MonthCaption->setText(QString::fromUtf8(MonthNames[parts.Month]) + ", ");
    YearCaption->setText(QString::number(parts.Year));
    int captionWidth = MonthCaption->fontMetrics().horizontalAdvance(MonthCaption->text());
    int captionLeft = MonthCaptionLeft(HeaderPanel->width(), LeftArrow->width(), Margin,
                                       YearLabelWidth, captionWidth);
    MonthCaption->setGeometry(captionLeft, LabelTop, captionWidth, CaptionHeight);
    YearCaption->move(captionLeft + captionWidth, LabelTop);

    FShownDate = date;
    for (int cell = 0; cell < GridCells; ++cell) {
        int index = FirstDayCell + cell;
        const TGridCell& content = grid.Cells[cell];
        Labels[index]->setText(QString::number(content.Day));
        switch (content.Kind) {
            case TCellKind::Leading:
                CellRoles[index] = TCellRole::PreviousMonth;
                break;
            case TCellKind::Shown:
                CellRoles[index] = TCellRole::Day;
                break;
            case TCellKind::Trailing:
                CellRoles[index] = TCellRole::NextMonth;
                break;
        }
        StyleDayCell(index);
    }
    int reselectRow = -1;
    for (int row = 0; row < GridRows; ++row) {
        Labels[FirstWeekLabel + row]->setText(QString::number(grid.WeekNumbers[row]));
        if (grid.WeekNumbers[row] == FSelectedWeek &&
            DecodeDate(FSelectedDate).Year == parts.Year) {
            reselectRow = row;
        }
    }
    UpdateTodayFrame();
    // The week row stays selected across months; re-selected once the grid is complete, so
    // OnWeekClick sees the whole month.
    if (reselectRow >= 0) {
        Marker->show();
        WeekClick(Labels[FirstWeekLabel + reselectRow]);
    }
}

void TJCalendar::StyleDayCell(int index) {
    TClickLabel* cell = Labels[index];
    TColor color = OtherMonthColor;
    TFontStyles style = 0;
    if (CellRoles[index] == TCellRole::Day) {
        color = DayColor;
        TDayMark found = FindDayMark(Marks, CellDate(index));
        if (found.Mark != nullptr) {
            color = found.Mark->Color;
            style = found.Mark->Style;
        }
        // Once narrowed, a cell keeps its width and place for good.
        if (found.Narrows && cell->width() == CellWidth) {
            cell->setGeometry(cell->x() + 1, cell->y(), CellWidth - 1, cell->height());
        }
    }
    SetTextColor(cell, color);
    cell->setFont(StyledFont(style));
}

TDateTime TJCalendar::CellDate(int labelIndex) const {
    TDateParts shown = DecodeDate(FShownDate);
    return EncodeDate(shown.Year, shown.Month, Labels[labelIndex]->text().toInt());
}

int TJCalendar::ShownCellOfDay(int day) const {
    for (int index = FirstDayCell; index < FirstDayCell + GridCells; ++index) {
        if (CellRoles[index] == TCellRole::Day && Labels[index]->text().toInt() == day) {
            return index;
        }
    }
    return -1;
}

void TJCalendar::RefreshToday() {
    UpdateTodayFrame();
}

void TJCalendar::SelectDay(TDateTime day) {
    FSelectedWeek = -1;
    TDateParts parts = DecodeDate(day);
    TDateParts shown = DecodeDate(FShownDate);
    if (parts.Year != shown.Year || parts.Month != shown.Month) {
        ShowMonth(day);
    }
    int index = ShownCellOfDay(parts.Day);
    if (index < 0) {
        return;
    }
    const TClickLabel* cell = Labels[index];
    Marker->setGeometry(QRect(QPoint(cell->x() + 2, cell->y() - 1), ClickedDayMarkerSize));
    Marker->show();
    FSelectedDate = DateOf(day);
}

void TJCalendar::UpdateTodayFrame() {
    TDateTime today = DateOf(Now());
    TDateParts todayParts = DecodeDate(today);
    TDateParts shown = DecodeDate(FShownDate);
    bool visible = todayParts.Year == shown.Year && todayParts.Month == shown.Month;
    // The frame stays where Setup put it; only once the page has been open past midnight does
    // it move on to the new today.
    if (visible && TodayFrameDay != 0 && today != TodayFrameDay) {
        int todayCell = ShownCellOfDay(todayParts.Day);
        if (todayCell >= 0) {
            PlaceTodayFrame(Labels[todayCell]);
            TodayFrameDay = today;
        }
    }
    for (TShape* edge : TodayFrame) {
        edge->setVisible(visible);
    }
}

void TJCalendar::HideLists() {
    if (MonthList) {
        MonthList->hide();
    }
    if (YearList) {
        YearList->hide();
    }
}

void TJCalendar::ShowCaptions() {
    MonthCaption->show();
    YearCaption->show();
}

void TJCalendar::DayCellClick(TClickLabel* cell) {
    // The first click of a double click on a day of another month changed the month; the
    // second lands on whatever day the cell shows now, which the user never aimed at.
    TClickLabel* stepCell = std::exchange(MonthStepCell, nullptr);
    if (cell == stepCell && cell->SecondOfDoubleClick()) {
        return;
    }
    int index = IndexOfLabel(cell);
    switch (CellRoles[index]) {
        case TCellRole::PreviousMonth:
            MonthStep(-1, cell);
            MonthStepCell = cell;
            return;
        case TCellRole::NextMonth:
            MonthStep(1, cell);
            MonthStepCell = cell;
            return;
        case TCellRole::Day:
            break;
    }
    Marker->setGeometry(QRect(QPoint(cell->x() + 2, cell->y() - 1), ClickedDayMarkerSize));
    Marker->show();
    FSelectedDate = CellDate(index);
    FSelectedWeek = -1;
    if (OnDayClick) {
        OnDayClick(cell);
    }
}

void TJCalendar::WeekClick(TClickLabel* label) {
    int k = qRound((label->y() - 8) / 16.0);
    FSelectedWeek = label->text().toInt();
    Marker->setGeometry(30, 16 * k + 6, WeekMarkerWidth, CellHeight);
    Marker->show();
    if (OnWeekClick) {
        OnWeekClick(label);
    }
}

void TJCalendar::WeekdayClick(TClickLabel* label) {
    int k = qRound((label->x() - 5) / 22.0);
    FSelectedWeek = -1;
    Marker->setGeometry(22 * k + 7, 22, DayMarkerSize.width(), WeekdayMarkerHeight);
    Marker->show();
    if (OnWeekdayClick) {
        OnWeekdayClick(label);
    }
}

void TJCalendar::MonthStep(int delta, TClickLabel* fromCell) {
    HideLists();
    ShowCaptions();
    TDateParts target = StepMonth(DecodeDate(FShownDate), delta);
    if (fromCell != nullptr) {
        // The clicked day keeps its weekday column in the target month.
        int index = IndexOfLabel(fromCell);
        int column = (index - FirstDayCell) % GridColumns;
        int firstWeekday = IsoWeekday(EncodeDate(target.Year, target.Month, 1));
        int row = RowOfDay(fromCell->text().toInt(), firstWeekday);
        const QLabel* targetCell = Labels[DayCellIndex(row, column)];
        Marker->setGeometry(QRect(QPoint(fromCell->x() + 1, targetCell->y() - 1), DayMarkerSize));
    }
    if (Marker->width() > DayMarkerSize.width()) {
        Marker->hide();  // a week bar means nothing in another month
    }
    ShowMonth(EncodeDate(target.Year, target.Month, target.Day));
}

void TJCalendar::CaptionClick(TClickLabel* caption) {
    HideLists();
    if (caption->text().contains(',')) {
        MonthList->show();
        MonthList->raise();
        MonthCaption->hide();
        YearCaption->show();
    } else {
        YearList->show();
        YearList->raise();
        YearCaption->hide();
        MonthCaption->show();
    }
    int year = DecodeDate(FShownDate).Year;
    YearList->clear();
    for (int y = year - 4; y <= year + 4; ++y) {
        AddListItem(YearList, QString::number(y));
    }
    YearList->resize(YearList->width(), ListLineHeight(YearList) * 9 + 3);
}

void TJCalendar::ListClick(QListWidget* list, QListWidgetItem* item) {
    TDateParts shown = DecodeDate(FShownDate);
    int year = shown.Year;
    int month = shown.Month;
    if (list->count() > 10) {
        month = 0;
        for (int m = 1; m <= 12; ++m) {
            if (item->text() == QString::fromUtf8(MonthNames[m])) {
                month = m;
            }
        }
        if (month == 0) {
            throw EMondrelError("Unknown month \"" + item->text().toStdString() + "\".");
        }
    } else {
        bool ok = false;
        year = item->text().toInt(&ok);
        if (!ok) {
            throw EMondrelError("Unknown year \"" + item->text().toStdString() + "\".");
        }
    }
    ShowMonth(EncodeDate(year, month, 5));
    HideLists();
    ShowCaptions();
}

void TJCalendar::mousePressEvent(QMouseEvent* event) {
    if (!ForwardToClickableChild(event)) {
        QFrame::mousePressEvent(event);
    }
}

void TJCalendar::mouseReleaseEvent(QMouseEvent* event) {
    if (!ForwardToClickableChild(event)) {
        QFrame::mouseReleaseEvent(event);
    }
}

bool TJCalendar::ForwardToClickableChild(QMouseEvent* event) {
    // childAt skips hidden children and the mouse-transparent marker, lines and today frame.
    QWidget* target = childAt(event->position().toPoint());
    if (dynamic_cast<TClickLabel*>(target) == nullptr &&
        dynamic_cast<TClickImage*>(target) == nullptr) {
        return false;
    }
    // The clickable children accept every button event, so this never comes back here.
    QMouseEvent forwarded(event->type(), target->mapFrom(this, event->position()),
                          event->scenePosition(), event->globalPosition(), event->button(),
                          event->buttons(), event->modifiers());
    QCoreApplication::sendEvent(target, &forwarded);
    event->accept();
    return true;
}

int TJCalendar::IndexOfLabel(const TClickLabel* label) const {
    for (size_t i = 0; i < Labels.size(); ++i) {
        if (Labels[i] == label) {
            return static_cast<int>(i);
        }
    }
    throw EMondrelError("The clicked label does not belong to this calendar.");
}
