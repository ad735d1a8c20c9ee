#include "ArrowBitmap.h"

#include <gtest/gtest.h>

namespace {

const QColor Navy(0, 0, 128);
const QColor SkyBlue(166, 202, 240);

int CountColor(const QImage& image, const QColor& color) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixel(x, y) == color.rgb() ? 1 : 0;
        }
    }
    return count;
}

}  // namespace

TEST(ArrowBitmap, LeftTriangleOnTheBackgroundWhenTheBorderIsTheBackground) {
    QImage image = DrawArrowBitmap(20, 20, false, Navy, SkyBlue, Navy);
    ASSERT_EQ(image.size(), QSize(20, 20));
    // Tip at (8, 10), base from (12, 6) to (12, 14).
    EXPECT_EQ(image.pixelColor(8, 10), SkyBlue);
    EXPECT_EQ(image.pixelColor(12, 6), SkyBlue);
    EXPECT_EQ(image.pixelColor(12, 14), SkyBlue);
    EXPECT_EQ(image.pixelColor(7, 10), Navy);
    EXPECT_EQ(image.pixelColor(13, 10), Navy);
    EXPECT_EQ(image.pixelColor(9, 7), Navy);
    EXPECT_EQ(image.pixelColor(0, 19), Navy);
    EXPECT_EQ(CountColor(image, SkyBlue), 1 + 3 + 5 + 7 + 9);
}

TEST(ArrowBitmap, RightTriangleMirrorsTheLeftOne) {
    QImage left = DrawArrowBitmap(20, 20, false, Navy, SkyBlue, Navy);
    QImage right = DrawArrowBitmap(20, 20, true, Navy, SkyBlue, Navy);
    EXPECT_EQ(right.pixelColor(12, 10), SkyBlue);
    EXPECT_EQ(right.pixelColor(8, 6), SkyBlue);
    EXPECT_EQ(right.pixelColor(8, 14), SkyBlue);
    EXPECT_EQ(right.pixelColor(13, 10), Navy);
    // Mirrored about x = 10.
    for (int y = 0; y < 20; ++y) {
        for (int x = 1; x < 20; ++x) {
            ASSERT_EQ(right.pixel(x, y), left.pixel(20 - x, y)) << x << "," << y;
        }
    }
    EXPECT_EQ(CountColor(right, SkyBlue), 25);
}

TEST(ArrowBitmap, FillRunsOverTheWholeBitmapWhenNoPixelHasTheBorderColour) {
    // The colours Setup leaves: blue header, maroon arrow, tooltip-coloured border.
    QImage image =
        DrawArrowBitmap(20, 20, false, QColor(0, 0, 255), QColor(128, 0, 0), QColor(255, 255, 225));
    EXPECT_EQ(CountColor(image, QColor(128, 0, 0)), 400);
    image =
        DrawArrowBitmap(20, 20, true, QColor(0, 0, 255), QColor(128, 0, 0), QColor(255, 255, 225));
    EXPECT_EQ(CountColor(image, QColor(128, 0, 0)), 400);
}

TEST(ArrowBitmap, TinyBitmapsDoNotFail) {
    EXPECT_EQ(DrawArrowBitmap(1, 1, false, Navy, SkyBlue, Navy).size(), QSize(1, 1));
    EXPECT_EQ(DrawArrowBitmap(3, 2, true, Navy, SkyBlue, QColor(1, 2, 3)).size(), QSize(3, 2));
}
