#include "ArrowBitmap.h"

#include <QPoint>
#include <array>
#include <vector>

namespace {

// Twice the signed area of (a, b, p): which side of the edge a->b the point p lies on.
int Side(const QPoint& a, const QPoint& b, const QPoint& p) {
    return (b.x() - a.x()) * (p.y() - a.y()) - (b.y() - a.y()) * (p.x() - a.x());
}

bool InTriangle(const std::array<QPoint, 3>& t, const QPoint& p) {
    int s0 = Side(t[0], t[1], p);
    int s1 = Side(t[1], t[2], p);
    int s2 = Side(t[2], t[0], p);
    return (s0 >= 0 && s1 >= 0 && s2 >= 0) || (s0 <= 0 && s1 <= 0 && s2 <= 0);
}

// Fills the 4-connected region around `start` up to pixels of the border colour.
void FloodFillToBorder(QImage& image, QPoint start, QRgb fill, QRgb border) {
    if (!image.rect().contains(start) || image.pixel(start) == border) {
        return;
    }
    std::vector<bool> seen(static_cast<size_t>(image.width() * image.height()), false);
    std::vector<QPoint> pending{start};
    while (!pending.empty()) {
        QPoint p = pending.back();
        pending.pop_back();
        if (!image.rect().contains(p)) {
            continue;
        }
        auto index = static_cast<size_t>(p.y() * image.width() + p.x());
        if (seen[index] || image.pixel(p) == border) {
            continue;
        }
        seen[index] = true;
        image.setPixel(p, fill);
        pending.insert(pending.end(), {QPoint(p.x() + 1, p.y()), QPoint(p.x() - 1, p.y()),
                                       QPoint(p.x(), p.y() + 1), QPoint(p.x(), p.y() - 1)});
    }
}

}  // namespace

QImage DrawArrowBitmap(int width, int height, bool right, const QColor& background,
                       const QColor& arrow, const QColor& border) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(background);
    int cx = width / 2;
    int cy = height / 2;
    std::array<QPoint, 3> triangle =
        right ? std::array<QPoint, 3>{QPoint(cx - 2, cy - 4), QPoint(cx - 2, cy + 4),
                                      QPoint(cx + 2, cy)}
              : std::array<QPoint, 3>{QPoint(cx + 2, cy + 4), QPoint(cx + 2, cy - 4),
                                      QPoint(cx - 2, cy)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (InTriangle(triangle, QPoint(x, y))) {
                image.setPixel(x, y, arrow.rgb());
            }
        }
    }
    QPoint start = right ? QPoint(cx, cy - 2) : QPoint(cx, cy + 1);
    FloodFillToBorder(image, start, arrow.rgb(), border.rgb());
    return image;
}
