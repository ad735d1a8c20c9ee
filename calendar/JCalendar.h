// The month calendar control: one month as six week rows by seven weekday columns (Monday
// first) with ISO week numbers, a header with month and year captions and arrows, and two
// pop-up lists for choosing a month or a year. Every visible thing is a child widget; the
// control never paints itself.
#pragma once

#include <QFrame>
#include <QImage>
#include <QPointer>
#include <array>
#include <functional>
#include <optional>

#include "Colors.h"
#include "DateTime.h"
#include "JCalendarTypes.h"

class QLabel;
class QListWidget;
class QListWidgetItem;
class QMouseEvent;
class TClickImage;
class TClickLabel;
class TShape;

class TJCalendar : public QFrame {
    Q_OBJECT

  public:
    using TNotifyEvent = std::function<void(QWidget* sender)>;

    // The owner becomes the Qt parent and frees the control with itself; deleting the control
    // earlier is fine too. Nothing is placed until Setup.
    explicit TJCalendar(QWidget* owner);
    ~TJCalendar() override;
    TJCalendar(const TJCalendar&) = delete;
    TJCalendar& operator=(const TJCalendar&) = delete;

    // Places the control in hostPanel (also the parent of the two pop-up lists, so they are
    // not clipped by the control), builds all children, shows today's month and selects today.
    // May be called once.
    void Setup(QWidget* hostPanel);

    // Moves and sizes the control; the pop-up lists in the host panel follow. Use these (not
    // QWidget::move/setGeometry) to move the control after Setup.
    void SetBounds(int left, int top, int width, int height);
    void SetLeft(int left);
    void SetTop(int top);

    void SetHeaderColor(TColor color);
    void SetBodyColor(TColor color);
    void SetMarkerColor(TColor color);
    void SetOtherMonthColor(TColor color);
    void SetWeekNumberColor(TColor color);
    void SetWeekdayColor(TColor color);
    void SetHeaderTextColor(TColor color);
    void SetArrowColor(TColor color);
    void SetLineColor(TColor color);

    // English or German month names and weekday headers; shows the selected day's month.
    void SetLanguage(bool english);
    // Keeps its own copy of the marks and redraws the shown month.
    void SetMarks(const TTermine& marks);
    // After midnight: the today frame moves to the new today's cell (shown only in its month).
    void RefreshToday();
    // Selects `day` as a click on its cell would, showing its month first; raises no event.
    void SelectDay(TDateTime day);

    // Today with its time of day until the first day click, then midnight of the clicked day.
    TDateTime SelectedDate() const { return FSelectedDate; }
    // A date inside the month shown.
    TDateTime ShownDate() const { return FShownDate; }
    // Week number of the selected week row; 0 before any selection, -1 after a day or weekday.
    int SelectedWeek() const { return FSelectedWeek; }

    // Raised with the clicked label as sender.
    TNotifyEvent OnDayClick;
    TNotifyEvent OnWeekClick;
    TNotifyEvent OnWeekdayClick;

  protected:
    // Clicks normally land on the children themselves; one delivered to the control (or passed
    // up from a panel's empty area) goes on to the clickable child at that point.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    enum class TCellRole { PreviousMonth, Day, NextMonth };

    void BuildPanels();
    void BuildArrows();
    void BuildMarkerAndLines();
    void BuildCaptions();
    void BuildGridLabels();
    void BuildLists();
    // Places the frame and the marker on today's cell of the shown month.
    void BuildTodayFrame(TDateTime now);
    void PlaceTodayFrame(const QLabel* cell);
    static TClickLabel* NewLabel(QWidget* parent, const QString& name, const QRect& geometry);
    QListWidget* NewList(const QString& name, const QRect& geometry);

    void ShowMonth(TDateTime date);
    TDateTime CellDate(int labelIndex) const;
    QImage ArrowBitmap(int width, int height, bool right) const;
    void StyleDayCell(int labelIndex);
    // The label index of day `day` of the shown month; -1 when there is none.
    int ShownCellOfDay(int day) const;
    int IndexOfLabel(const TClickLabel* label) const;
    void UpdateTodayFrame();
    void FillMonthList();
    void PlaceLists();
    void HideLists();
    void ShowCaptions();
    void ApplyPanelColors();
    void ApplyShapeColors();
    void ApplyLabelColors();
    void ApplyListColors();
    void ApplyArrowBitmaps();

    void DayCellClick(TClickLabel* cell);
    void WeekClick(TClickLabel* label);
    void WeekdayClick(TClickLabel* label);
    void MonthStep(int delta, TClickLabel* fromCell);
    void CaptionClick(TClickLabel* caption);
    void ListClick(QListWidget* list, QListWidgetItem* item);
    bool ForwardToClickableChild(QMouseEvent* event);

    int FSelectedWeek = 0;
    QPointer<QWidget> HostPanel;
    bool English = false;
    TMonthNames MonthNames = MonthNamesDE;
    QFrame* HeaderPanel = nullptr;
    QFrame* BodyPanel = nullptr;
    TShape* HorizontalLine = nullptr;
    TShape* VerticalLine = nullptr;
    std::array<TShape*, 4> TodayFrame{};  // top, bottom, left, right
    TShape* Marker = nullptr;
    TClickImage* LeftArrow = nullptr;
    TClickImage* RightArrow = nullptr;
    std::array<TClickLabel*, 55> Labels{};  // 0-5 weeks, 6-12 weekdays, 13-54 day cells
    std::array<TCellRole, 55> CellRoles{};
    TClickLabel* MonthCaption = nullptr;
    TClickLabel* YearCaption = nullptr;
    TTermine Marks;
    // The lists live in the host panel, which may already have freed them.
    QPointer<QListWidget> YearList;
    QPointer<QListWidget> MonthList;
    TDateTime FShownDate = 0;
    TDateTime FSelectedDate = 0;
    // The day whose cell the today frame stands on; 0 before Setup.
    TDateTime TodayFrameDay = 0;
    // The day cell whose click last changed the month, until the next click.
    TClickLabel* MonthStepCell = nullptr;

    TColor HeaderColor = clSystemInfoBk;
    TColor HeaderBackground = 0x00FF0000;
    TColor BodyColor = 0x00F0FBFF;
    TColor DayColor = 0x00000000;
    TColor OtherMonthColor = 0x00A4A0A0;
    TColor HeaderTextColor = 0x00000080;
    TColor MarkerColor = 0x00F0CAA6;
    TColor ArrowColor = 0x00000080;
    TColor TodayLineColor = 0x000000FF;
    TColor WeekNumberColor = clSystemMenu;
    TColor WeekdayColor = clSystemActiveCaption;
    // Unset: the separators keep the shapes' white fill and black outline, the lists the
    // toolkit's text colour.
    std::optional<TColor> LineColor;
    std::optional<TColor> ListTextColor;
};
