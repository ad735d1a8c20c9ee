// Renders the control with the property page's colours to calendar.png (and a 4x copy) in the
// test's working directory, so anyone can look at it, and checks the main colours in it.
#include <QPainter>
#include <cstdlib>

#include "CalendarFixture.h"

using JCalendarRender = CalendarTest;

namespace {

// Text is anti-aliased, so its colour shows only nearly in thin strokes.
bool AnyPixel(const QImage& image, const QRect& area, const QColor& color) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            QColor seen = image.pixelColor(x, y);
            if (std::abs(seen.red() - color.red()) + std::abs(seen.green() - color.green()) +
                    std::abs(seen.blue() - color.blue()) <=
                24) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

TEST_F(JCalendarRender, RendersWithThePagesColours) {
    Host.setAutoFillBackground(true);
    QPalette silver;
    silver.setColor(QPalette::Window, QColor(192, 192, 192));
    Host.setPalette(silver);
    Host.setFont(QFont("Sans Serif", 8));  // the page's one font
    Calendar->SetTop(6);
    Calendar->SetLeft(6);
    ApplyPageColours();
    Calendar->SetLanguage(true);
    Calendar->SetMarks({{{EncodeDate(2025, 12, 24), fsBold, 0x0000FF, ""}}});

    QImage image = Calendar->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(image.size(), QSize(190, 154));
    ASSERT_TRUE(image.save("calendar.png"));
    ASSERT_TRUE(image.scaled(image.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                    .save("calendar_4x.png"));

    const QColor navy(0, 0, 128), skyBlue(166, 202, 240), cream(255, 251, 240);
    const QColor maroon(128, 0, 0), green(0, 128, 0), red(255, 0, 0);
    EXPECT_EQ(image.pixelColor(1, 1), navy);
    EXPECT_EQ(image.pixelColor(14, 13), skyBlue);   // left arrow triangle
    EXPECT_EQ(image.pixelColor(176, 13), skyBlue);  // right arrow triangle
    EXPECT_TRUE(AnyPixel(image, Label("MonthCaption")->geometry(), skyBlue));
    EXPECT_EQ(image.pixelColor(2, 32), cream);
    EXPECT_TRUE(AnyPixel(image, Label("WeekLabel0")->geometry().translated(0, 30), maroon));
    EXPECT_TRUE(AnyPixel(image, Label("WeekdayLabel0")->geometry().translated(0, 30), maroon));
    EXPECT_EQ(image.pixelColor(100, 50), green);   // horizontal line
    EXPECT_EQ(image.pixelColor(26, 90), green);    // vertical line
    EXPECT_EQ(image.pixelColor(80, 85), red);      // top of the today frame
    EXPECT_EQ(image.pixelColor(74, 87), skyBlue);  // marker behind today
    EXPECT_TRUE(AnyPixel(image, Day(44)->geometry().translated(0, 30), skyBlue));
    EXPECT_TRUE(AnyPixel(image, Day(36)->geometry().translated(0, 30), red));  // marked 24th
    EXPECT_EQ(image.pixelColor(50, 153), QApplication::palette().color(QPalette::Window));
    // The year is never clipped by its fixed-width caption.
    QLabel* year = Label("YearCaption");
    EXPECT_LE(year->fontMetrics().horizontalAdvance(year->text()), year->width());

    Click("MonthCaption");
    ASSERT_TRUE(Host.grab(QRect(0, 0, 212, 172)).save("calendar_month_list.png"));
}
