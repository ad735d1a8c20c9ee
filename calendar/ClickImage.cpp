#include "ClickImage.h"

#include <QPainter>

TClickImage::TClickImage(QWidget* parent) : TClickable(parent) {}

void TClickImage::SetPicture(const QImage& picture) {
    Shown = picture.convertToFormat(QImage::Format_ARGB32);
    if (!Shown.isNull()) {
        QRgb transparent = Shown.pixel(0, Shown.height() - 1);
        for (int y = 0; y < Shown.height(); ++y) {
            for (int x = 0; x < Shown.width(); ++x) {
                if (Shown.pixel(x, y) == transparent) {
                    Shown.setPixel(x, y, qRgba(0, 0, 0, 0));
                }
            }
        }
    }
    update();
}

void TClickImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, Shown);
}
