#include <QMouseEvent>
#include <QScreen>

#include "CalendarFixture.h"
#include "MessageBox.h"
#include "MondrelError.h"
#include "TestSupport.h"

namespace {

const QColor Navy(0, 0, 128);
const QColor Cream(255, 251, 240);
const QColor Maroon(128, 0, 0);
const QColor SkyBlue(166, 202, 240);
const QColor Green(0, 128, 0);
const QColor Red(255, 0, 0);

QRect CellRect(int row, int column) {
    return QRect(22 * (column + 1) + 5, 16 * (row + 1) + 8, 22, 16);
}

}  // namespace

using JCalendar = CalendarTest;

TEST_F(JCalendar, SetupPlacesEveryChild) {
    EXPECT_EQ(Calendar->parentWidget(), &Host);
    EXPECT_EQ(Calendar->geometry(), QRect(10, 10, 190, 154));
    EXPECT_EQ(Geometry("HeaderPanel"), QRect(0, 0, 190, 30));
    EXPECT_EQ(Geometry("BodyPanel"), QRect(0, 30, 190, 123));
    EXPECT_EQ(Geometry("LeftArrow"), QRect(4, 3, 20, 20));
    EXPECT_EQ(Geometry("RightArrow"), QRect(166, 3, 20, 20));
    EXPECT_EQ(Geometry("HorizontalLine"), QRect(26, 20, 157, 1));
    EXPECT_EQ(Geometry("VerticalLine"), QRect(26, 20, 1, 98));
    for (int row = 0; row < 6; ++row) {
        EXPECT_EQ(Geometry(QString("WeekLabel%1").arg(row)), QRect(4, 16 * (row + 1) + 8, 22, 16));
        for (int column = 0; column < 7; ++column) {
            EXPECT_EQ(Day(13 + 7 * row + column)->geometry(), CellRect(row, column));
        }
    }
    for (int column = 0; column < 7; ++column) {
        EXPECT_EQ(Geometry(QString("WeekdayLabel%1").arg(column)),
                  QRect(22 * (column + 1) + 5, 3, 22, 16));
    }
    QLabel* month = Label("MonthCaption");
    QLabel* year = Label("YearCaption");
    EXPECT_EQ(month->text(), "Dezember, ");
    EXPECT_EQ(year->text(), "2025");
    EXPECT_EQ(month->width(), month->fontMetrics().horizontalAdvance(month->text()));
    EXPECT_EQ(month->geometry(), QRect((122 - month->width()) / 2 + 18, 6, month->width(), 17));
    EXPECT_EQ(year->geometry(), QRect(month->x() + month->width(), 6, 32, 17));
    EXPECT_TRUE(month->font().bold());
    EXPECT_EQ(month->font().pointSize(), 10);

    auto* monthList = Child<QListWidget>("MonthList");
    auto* yearList = Child<QListWidget>("YearList");
    EXPECT_EQ(monthList->parentWidget(), &Host);
    EXPECT_EQ(yearList->parentWidget(), &Host);
    EXPECT_TRUE(monthList->isHidden());
    EXPECT_TRUE(yearList->isHidden());
    int line = monthList->fontMetrics().height();
    EXPECT_EQ(monthList->geometry(), QRect(year->x() - 75, 17, 65, line * 12 + 3));
    EXPECT_EQ(yearList->geometry(), QRect(year->x(), 17, 50, 70));
    EXPECT_EQ(monthList->font().pointSize(), 6);
    ASSERT_EQ(monthList->count(), 12);
    EXPECT_EQ(monthList->item(2)->text(), "März");
}

TEST_F(JCalendar, SetupShowsTodaysMonthAndSelectsToday) {
    EXPECT_EQ(Calendar->SelectedDate(), Today());
    EXPECT_EQ(Calendar->SelectedWeek(), 0);
    EXPECT_EQ(Day(13)->text(), "1");  // 1 December 2025 is a Monday
    EXPECT_EQ(Day(29)->text(), "17");
    const QStringList weeks{"49", "50", "51", "52", "1", "2"};
    const QStringList weekdays{"Mo", "Di", "Mi", "Do", "Fr", "Sa", "So"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(Label(QString("WeekLabel%1").arg(i))->text(), weeks[i]);
    }
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(Label(QString("WeekdayLabel%1").arg(i))->text(), weekdays[i]);
        EXPECT_TRUE(Label(QString("WeekdayLabel%1").arg(i))->font().bold());
    }
    // Today's cell is at left 71, top 56.
    EXPECT_TRUE(Child("Marker")->isVisible());
    EXPECT_EQ(Geometry("Marker"), QRect(73, 54, 20, 16));
    EXPECT_EQ(Geometry("TodayTop"), QRect(74, 55, 17, 1));
    EXPECT_EQ(Geometry("TodayLeft"), QRect(73, 56, 1, 13));
    EXPECT_EQ(Geometry("TodayRight"), QRect(91, 56, 1, 13));
    EXPECT_EQ(Geometry("TodayBottom"), QRect(74, 69, 17, 1));
    for (const char* edge : {"TodayTop", "TodayBottom", "TodayLeft", "TodayRight"}) {
        EXPECT_TRUE(Child(edge)->isVisible()) << edge;
    }
}

TEST_F(JCalendar, BodyStacksMarkerLinesLabelsThenTodayFrame) {
    QWidget* body = Child("BodyPanel");
    QStringList order;
    for (QObject* child : body->children()) {
        if (child->isWidgetType()) {
            order << child->objectName();
        }
    }
    ASSERT_EQ(order.size(), 3 + 55 + 4);
    EXPECT_EQ(order.mid(0, 3), (QStringList{"Marker", "HorizontalLine", "VerticalLine"}));
    EXPECT_EQ(order.mid(58), (QStringList{"TodayTop", "TodayBottom", "TodayLeft", "TodayRight"}));
}

TEST_F(JCalendar, DayClickSelectsMidnightOfTheDay) {
    QWidget* sender = nullptr;
    Calendar->OnDayClick = [&](QWidget* s) { sender = s; };
    ClickDay(22);  // 10 December, row 1, column 2
    EXPECT_EQ(sender, Day(22));
    EXPECT_EQ(Calendar->SelectedDate(), EncodeDate(2025, 12, 10));
    EXPECT_EQ(Calendar->SelectedWeek(), -1);
    EXPECT_EQ(Geometry("Marker"), QRect(73, 39, 19, 15));
    EXPECT_TRUE(Child("Marker")->isVisible());
}

TEST_F(JCalendar, ClicksAtAPointOfTheControlReachTheChildThere) {
    EXPECT_EQ(Host.findChild<TJCalendar*>("Calendar"), Calendar);
    QWidget* sender = nullptr;
    Calendar->OnDayClick = [&](QWidget* s) { sender = s; };
    // 10 December: the body starts at top 30, the cell at left 71, top 40.
    QTest::mouseClick(Calendar, Qt::LeftButton, {}, QPoint(82, 78));
    EXPECT_EQ(sender, Day(22));
    EXPECT_EQ(Calendar->SelectedDate(), EncodeDate(2025, 12, 10));
    QTest::mouseClick(Calendar, Qt::LeftButton, {}, QPoint(176, 13));  // right arrow
    EXPECT_EQ(MonthShown(), "Januar, 2026");
    QTest::mouseClick(Child("BodyPanel"), Qt::LeftButton, {}, QPoint(10, 5));  // empty corner
    EXPECT_EQ(MonthShown(), "Januar, 2026");
    EXPECT_EQ(Calendar->SelectedDate(), EncodeDate(2025, 12, 10));
}

TEST_F(JCalendar, NeighbourDaysStepTheMonthWithoutSelecting) {
    int dayClicks = 0;
    Calendar->OnDayClick = [&](QWidget*) { ++dayClicks; };
    // Trailing 2 January sits at row 4, column 4; in January 2026 (starts on Thursday) it is
    // in row 0.
    ASSERT_EQ(Day(45)->text(), "2");
    ClickDay(45);
    EXPECT_EQ(MonthShown(), "Januar, 2026");
    EXPECT_EQ(Geometry("Marker"), QRect(116, 23, 20, 16));
    EXPECT_EQ(Calendar->ShownDate(), EncodeDate(2026, 1, 17));
    EXPECT_EQ(Calendar->SelectedDate(), Today());
    EXPECT_EQ(dayClicks, 0);

    // Leading 30 December sits at row 0, column 1; in December 2025 it is in row 4.
    ASSERT_EQ(Day(14)->text(), "30");
    ClickDay(14);
    EXPECT_EQ(MonthShown(), "Dezember, 2025");
    EXPECT_EQ(Geometry("Marker"), QRect(50, 87, 20, 16));
    EXPECT_EQ(Calendar->SelectedDate(), Today());
    EXPECT_EQ(dayClicks, 0);
}

TEST_F(JCalendar, ADoubleClickOnANeighbourDayStepsOnceAndSelectsNothing) {
    int dayClicks = 0;
    Calendar->OnDayClick = [&](QWidget*) { ++dayClicks; };
    ASSERT_EQ(Day(45)->text(), "2");
    // Press, release, then the second press as the window system sends it, and its release.
    ClickDay(45);
    const QPointF at = Day(45)->rect().center();
    QMouseEvent second(QEvent::MouseButtonDblClick, at, Day(45)->mapToGlobal(at), Qt::LeftButton,
                       Qt::LeftButton, {});
    QApplication::sendEvent(Day(45), &second);
    QMouseEvent release(QEvent::MouseButtonRelease, at, Day(45)->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, {});
    QApplication::sendEvent(Day(45), &release);
    EXPECT_EQ(MonthShown(), "Januar, 2026");
    EXPECT_EQ(Day(45)->text(), "30") << "the cell under the pointer holds another day now";
    EXPECT_EQ(dayClicks, 0);
    EXPECT_EQ(Calendar->SelectedDate(), Today());
    // The next single click on that cell is a click again.
    ClickDay(45);
    EXPECT_EQ(dayClicks, 1);
    EXPECT_EQ(Calendar->SelectedDate(), EncodeDate(2026, 1, 30));
}

TEST_F(JCalendar, WeekBarHidesOnAStepToAMonthWithoutThatWeek) {
    std::vector<QWidget*> senders;
    Calendar->OnWeekClick = [&](QWidget* s) { senders.push_back(s); };
    Click("WeekLabel2");
    EXPECT_EQ(Calendar->SelectedWeek(), 51);
    EXPECT_EQ(Geometry("Marker"), QRect(30, 54, 150, 16));
    EXPECT_EQ(senders, std::vector<QWidget*>{Child("WeekLabel2")});
    EXPECT_EQ(Calendar->SelectedDate(), Today());

    Click("RightArrow");
    EXPECT_EQ(MonthShown(), "Januar, 2026");
    EXPECT_FALSE(Child("Marker")->isVisible());
    EXPECT_EQ(senders.size(), 1u);
}

TEST_F(JCalendar, WeekBarFollowsIntoAMonthOfTheSameYearWithThatWeek) {
    int weekClicks = 0;
    QWidget* sender = nullptr;
    Calendar->OnWeekClick = [&](QWidget* s) {
        ++weekClicks;
        sender = s;
    };
    Click("LeftArrow");
    EXPECT_EQ(MonthShown(), "November, 2025");
    EXPECT_TRUE(Child("Marker")->isVisible());  // a day marker survives arrow steps
    ASSERT_EQ(Label("WeekLabel5")->text(), "49");
    Click("WeekLabel5");
    EXPECT_EQ(Geometry("Marker"), QRect(30, 102, 150, 16));

    Click("RightArrow");
    EXPECT_TRUE(Child("Marker")->isVisible());
    EXPECT_EQ(Geometry("Marker"), QRect(30, 22, 150, 16));
    EXPECT_EQ(weekClicks, 2);
    EXPECT_EQ(sender, Child("WeekLabel0"));

    Calendar->SetMarks({});  // every redisplay re-selects
    EXPECT_EQ(weekClicks, 3);
}

TEST_F(JCalendar, WeekdayClickMarksTheColumn) {
    QWidget* sender = nullptr;
    Calendar->OnWeekdayClick = [&](QWidget* s) { sender = s; };
    Click("WeekLabel1");
    Click("WeekdayLabel3");
    EXPECT_EQ(sender, Child("WeekdayLabel3"));
    EXPECT_EQ(Calendar->SelectedWeek(), -1);
    EXPECT_EQ(Geometry("Marker"), QRect(95, 22, 20, 97));
    EXPECT_EQ(Calendar->SelectedDate(), Today());
    Click("RightArrow");  // a column marker stays where it is
    EXPECT_TRUE(Child("Marker")->isVisible());
    EXPECT_EQ(Geometry("Marker"), QRect(95, 22, 20, 97));
}

TEST_F(JCalendar, TodayFrameShowsOnlyInTodaysMonth) {
    Click("RightArrow");
    EXPECT_FALSE(Child("TodayTop")->isVisible());
    EXPECT_FALSE(Child("TodayLeft")->isVisible());
    Click("LeftArrow");
    EXPECT_TRUE(Child("TodayTop")->isVisible());
    EXPECT_EQ(Geometry("TodayTop"), QRect(74, 55, 17, 1));
    Calendar->SetOtherMonthColor(0x123456);  // a redisplay of the same month keeps it
    EXPECT_TRUE(Child("TodayBottom")->isVisible());
}

TEST_F(JCalendar, TodayFrameMovesOnWhenThePageStaysOpenPastMidnight) {
    TDateTime now = EncodeDate(2025, 12, 31) + EncodeTime(23, 59, 0, 0);
    TScopedClock clock([&now] { return now; });
    QWidget host;
    auto* calendar = new TJCalendar(&host);
    calendar->Setup(&host);
    auto* top = host.findChild<QWidget*>("TodayTop");
    EXPECT_EQ(top->pos(), QPoint(74, 87));  // 31 December: row 4, column 2

    now = EncodeDate(2026, 1, 1) + EncodeTime(0, 1, 0, 0);
    QTest::mouseClick(host.findChild<QWidget*>("RightArrow"), Qt::LeftButton);
    EXPECT_FALSE(top->isHidden());
    EXPECT_EQ(top->pos(), QPoint(96, 23));  // 1 January 2026: row 0, column 3
    EXPECT_EQ(host.findChild<QWidget*>("TodayLeft")->pos(), QPoint(95, 24));
    QTest::mouseClick(host.findChild<QWidget*>("LeftArrow"), Qt::LeftButton);
    EXPECT_TRUE(top->isHidden());
}

TEST_F(JCalendar, YearListOffersNineYearsAndKeepsTheMonth) {
    Click("YearCaption");
    auto* years = Child<QListWidget>("YearList");
    EXPECT_TRUE(years->isVisible());
    EXPECT_FALSE(Child("YearCaption")->isVisible());
    EXPECT_TRUE(Child("MonthCaption")->isVisible());
    ASSERT_EQ(years->count(), 9);
    EXPECT_EQ(years->item(0)->text(), "2021");
    EXPECT_EQ(years->item(8)->text(), "2029");
    EXPECT_EQ(years->height(), years->fontMetrics().height() * 9 + 3);

    ClickListItem("YearList", "2027");
    EXPECT_EQ(MonthShown(), "Dezember, 2027");
    EXPECT_EQ(Calendar->ShownDate(), EncodeDate(2027, 12, 5));
    EXPECT_FALSE(years->isVisible());
    EXPECT_TRUE(Child("YearCaption")->isVisible());
    EXPECT_EQ(Calendar->SelectedDate(), Today());
}

TEST_F(JCalendar, MonthListChoosesAMonthOfTheShownYear) {
    Click("MonthCaption");
    EXPECT_TRUE(Child("MonthList")->isVisible());
    EXPECT_FALSE(Child("MonthCaption")->isVisible());
    Click("YearCaption");  // switches to the other list
    EXPECT_FALSE(Child("MonthList")->isVisible());
    EXPECT_TRUE(Child("YearList")->isVisible());
    Click("MonthCaption");

    ClickListItem("MonthList", "März");
    EXPECT_EQ(MonthShown(), "März, 2025");
    EXPECT_EQ(Calendar->ShownDate(), EncodeDate(2025, 3, 5));
    EXPECT_FALSE(Child("MonthList")->isVisible());
    EXPECT_TRUE(Child("MonthCaption")->isVisible());
    EXPECT_FALSE(Child("TodayTop")->isVisible());
}

TEST_F(JCalendar, ArrowStepsCutTheDayToTheMonth) {
    for (auto [year, lastOfFebruary] : {std::pair{2025, 28}, std::pair{2024, 29}}) {
        TScopedClock clock(EncodeDate(year, 1, 31) + EncodeTime(9, 0, 0, 0));
        QWidget host;
        auto* calendar = new TJCalendar(&host);
        calendar->Setup(&host);
        QTest::mouseClick(host.findChild<QWidget*>("RightArrow"), Qt::LeftButton);
        EXPECT_EQ(calendar->ShownDate(), EncodeDate(year, 2, lastOfFebruary));
        EXPECT_EQ(host.findChild<QLabel*>("MonthCaption")->text(), "Februar, ");
        QTest::mouseClick(host.findChild<QWidget*>("RightArrow"), Qt::LeftButton);
        EXPECT_EQ(calendar->ShownDate(), EncodeDate(year, 3, lastOfFebruary));
    }
}

TEST_F(JCalendar, LanguageSwitchReturnsToTheSelectedDaysMonth) {
    Click("LeftArrow");
    Click("LeftArrow");
    Calendar->SetLanguage(true);
    EXPECT_EQ(MonthShown(), "December, 2025");
    const QStringList weekdays{"Mo", "Tu", "We", "Thu", "Fr", "Sa", "Su"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(Label(QString("WeekdayLabel%1").arg(i))->text(), weekdays[i]);
    }
    auto* months = Child<QListWidget>("MonthList");
    ASSERT_EQ(months->count(), 12);
    EXPECT_EQ(months->item(2)->text(), "March");
    ClickListItem("MonthList", "March");  // English names are looked up in the English table
    EXPECT_EQ(MonthShown(), "March, 2025");
    Calendar->SetLanguage(false);
    EXPECT_EQ(MonthShown(), "Dezember, 2025");
}

TEST_F(JCalendar, LaterMarkWinsAndBoldNarrowsTheCellOnce) {
    TDateTime tenth = EncodeDate(2025, 12, 10);
    TTermine marks = {{{tenth, fsBold, 0x0000FF, ""}, {tenth, fsItalic, 0x008000, ""}}};
    Calendar->SetMarks(marks);
    QLabel* cell = Day(22);
    EXPECT_EQ(TextColor(cell), Green);
    EXPECT_TRUE(cell->font().italic());
    EXPECT_FALSE(cell->font().bold());
    EXPECT_EQ(cell->geometry(), QRect(72, 40, 21, 16));

    marks[0].resize(1);
    marks[0][0].Style = fsBold | fsUnderline;
    Calendar->SetMarks(marks);
    EXPECT_TRUE(cell->font().bold());
    EXPECT_TRUE(cell->font().underline());
    EXPECT_EQ(TextColor(cell), Red);
    EXPECT_EQ(cell->geometry(), QRect(72, 40, 21, 16));  // narrowed once only

    Calendar->SetMarks({});
    EXPECT_EQ(TextColor(cell), QColor(Qt::black));
    EXPECT_FALSE(cell->font().bold());
    EXPECT_EQ(cell->geometry(), QRect(72, 40, 21, 16));  // and for good
}

TEST_F(JCalendar, MarksThatDoNotNarrowOrDoNotMatch) {
    TDateTime eleventh = EncodeDate(2025, 12, 11);
    TTermine marks = {{{eleventh, fsBold | fsItalic, 0x0000FF, ""},
                       {EncodeDate(2025, 12, 12) + EncodeTime(12, 0, 0, 0), fsBold, 0x0000FF, ""},
                       {EncodeDate(2026, 1, 1), fsBold, 0x0000FF, ""}}};
    Calendar->SetMarks(marks);
    EXPECT_EQ(TextColor(Day(23)), Red);
    EXPECT_TRUE(Day(23)->font().bold());
    EXPECT_EQ(Day(23)->geometry(), CellRect(1, 3));
    EXPECT_EQ(TextColor(Day(24)), QColor(Qt::black));  // a time of day marks nothing
    EXPECT_EQ(Day(24)->geometry(), CellRect(1, 4));
    ASSERT_EQ(Day(44)->text(), "1");  // trailing 1 January keeps the other-month look
    EXPECT_EQ(TextColor(Day(44)), QColor(160, 160, 164));
    EXPECT_FALSE(Day(44)->font().bold());

    // The control keeps its own copy.
    marks[0][0].Color = 0x00FF00;
    Calendar->SetOtherMonthColor(0xA4A0A0);
    EXPECT_EQ(TextColor(Day(23)), Red);
}

TEST_F(JCalendar, ArrowsAreInvisibleWithSetupColoursAlone) {
    EXPECT_EQ(Child("LeftArrow")->grab().toImage().pixelColor(10, 10), QColor(0, 0, 255));
    for (const char* name : {"LeftArrow", "RightArrow"}) {
        const QImage& picture = Child<TClickImage>(name)->Picture();
        ASSERT_EQ(picture.size(), QSize(20, 20));
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 20; ++x) {
                ASSERT_EQ(qAlpha(picture.pixel(x, y)), 0) << name << " " << x << "," << y;
            }
        }
    }
}

TEST_F(JCalendar, ArrowsAreSkyBlueTrianglesWithThePagesColours) {
    ApplyPageColours();
    const QImage& left = Child<TClickImage>("LeftArrow")->Picture();
    const QImage& right = Child<TClickImage>("RightArrow")->Picture();
    EXPECT_EQ(left.pixel(8, 10), SkyBlue.rgb());
    EXPECT_EQ(left.pixel(12, 6), SkyBlue.rgb());
    EXPECT_EQ(right.pixel(12, 10), SkyBlue.rgb());
    EXPECT_EQ(right.pixel(8, 14), SkyBlue.rgb());
    EXPECT_EQ(qAlpha(left.pixel(7, 10)), 0);
    EXPECT_EQ(qAlpha(right.pixel(13, 10)), 0);
    EXPECT_EQ(qAlpha(left.pixel(0, 19)), 0);

    QImage shown = Child("LeftArrow")->grab().toImage();
    EXPECT_EQ(shown.pixelColor(10, 10), SkyBlue);
    EXPECT_EQ(shown.pixelColor(2, 2), Navy);  // the header shows through

    Calendar->SetHeaderColor(0x000080);  // arrows are not redrawn, their background is see-through
    EXPECT_EQ(Child<TClickImage>("LeftArrow")->Picture().pixel(8, 10), SkyBlue.rgb());
}

TEST_F(JCalendar, ColourDefaultsAndSetters) {
    auto window = [this](const char* name) {
        return Child(name)->palette().color(QPalette::Window);
    };
    EXPECT_EQ(window("HeaderPanel"), QColor(0, 0, 255));
    EXPECT_EQ(window("BodyPanel"), Cream);
    EXPECT_EQ(TextColor(Label("MonthCaption")), Maroon);
    EXPECT_EQ(TextColor(Label("WeekLabel0")), ColorToQColor(clSystemMenu));
    EXPECT_EQ(TextColor(Label("WeekdayLabel0")), ColorToQColor(clSystemActiveCaption));
    EXPECT_EQ(TextColor(Day(44)), QColor(160, 160, 164));
    EXPECT_EQ(Child<TShape>("HorizontalLine")->PenColor(), QColor(Qt::black));
    EXPECT_EQ(Child<TShape>("Marker")->BrushColor(), SkyBlue);
    EXPECT_EQ(Child<TShape>("TodayTop")->PenColor(), Red);
    EXPECT_EQ(Child<QListWidget>("MonthList")->palette().color(QPalette::Base),
              ColorToQColor(clSystemInfoBk));

    ApplyPageColours();
    EXPECT_EQ(window("HeaderPanel"), Navy);
    EXPECT_EQ(TextColor(Label("MonthCaption")), SkyBlue);
    EXPECT_EQ(TextColor(Label("YearCaption")), SkyBlue);
    EXPECT_EQ(TextColor(Label("WeekLabel5")), Maroon);
    EXPECT_EQ(TextColor(Label("WeekdayLabel6")), Maroon);
    EXPECT_TRUE(Label("WeekdayLabel6")->font().bold());
    EXPECT_EQ(TextColor(Day(44)), SkyBlue);
    EXPECT_EQ(TextColor(Day(13)), QColor(Qt::black));
    for (const char* line : {"HorizontalLine", "VerticalLine"}) {
        EXPECT_EQ(Child<TShape>(line)->PenColor(), Green);
        EXPECT_EQ(Child<TShape>(line)->BrushColor(), Green);
    }
    EXPECT_EQ(Child<TShape>("TodayLeft")->BrushColor(), Cream);
    for (const char* list : {"MonthList", "YearList"}) {
        QPalette palette = Child<QListWidget>(list)->palette();
        EXPECT_EQ(palette.color(QPalette::Base), Navy);
        EXPECT_EQ(palette.color(QPalette::Text), SkyBlue);
    }
}

TEST_F(JCalendar, MovingTheControlMovesTheLists) {
    Calendar->SetTop(6);
    Calendar->SetLeft(6);
    EXPECT_EQ(Calendar->pos(), QPoint(6, 6));
    int yearLeft = Label("YearCaption")->x();
    EXPECT_EQ(Child("MonthList")->pos(), QPoint(6 + yearLeft - 65 - 10, 13));
    EXPECT_EQ(Child("YearList")->pos(), QPoint(6 + yearLeft + 1, 13));
}

TEST_F(JCalendar, MisuseAndHandlerErrorsAreReported) {
    EXPECT_THROW_MSG(Calendar->Setup(&Host), EMondrelError, "The calendar is already set up.");
    TJCalendar loose(nullptr);
    EXPECT_THROW_MSG(loose.Setup(nullptr), EMondrelError,
                     "The calendar needs a panel to be placed in.");
    loose.SetMarks({{{EncodeDate(2025, 12, 1), fsBold, 0, ""}}});  // before Setup: kept, no crash
    loose.SetLanguage(true);

    TScopedMessageBoxResponder responder;
    Calendar->OnDayClick = [](QWidget*) { throw EMondrelError("day view failed"); };
    ClickDay(22);
    ASSERT_EQ(responder.Requests().size(), 1u);
    EXPECT_NE(responder.Requests()[0].Text.find("day view failed"), std::string::npos);
    EXPECT_EQ(Calendar->SelectedDate(), EncodeDate(2025, 12, 10));
}

TEST_F(JCalendar, DeletingTheControlRemovesItsLists) {
    delete Calendar;
    EXPECT_EQ(Host.findChild<QWidget*>("MonthList"), nullptr);
    EXPECT_EQ(Host.findChild<QWidget*>("YearList"), nullptr);
}
