#include "PageImage.h"

#include <QMouseEvent>
#include <QPainter>

TPageImage::TPageImage(QWidget* parent) : QWidget(parent) {}

void TPageImage::SetPicture(const QPixmap& picture, bool centred) {
    Image = picture;
    Centred = centred;
    update();
}

void TPageImage::paintEvent(QPaintEvent*) {
    if (Image.isNull()) {
        return;
    }
    QPainter painter(this);
    QSize size = Image.deviceIndependentSize().toSize();
    QPoint origin = Centred ? QPoint((width() - size.width()) / 2, (height() - size.height()) / 2)
                            : QPoint(0, 0);
    painter.drawPixmap(origin, Image);
}

void TPageImage::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        Pressed = true;
    }
    emit MouseDown();
}

void TPageImage::mouseReleaseEvent(QMouseEvent* event) {
    // Only a left press released over the image counts as a click.
    bool clicked = event->button() == Qt::LeftButton && Pressed &&
                   rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton) {
        Pressed = false;
    }
    if (clicked) {
        emit Click();
    }
    emit MouseUp();
}

void TPageImage::mouseDoubleClickEvent(QMouseEvent*) {
    // The second press of a double click is a press, not the start of a second click: a
    // double click on a toggling image must not open and close its panel at once.
    emit MouseDown();
}
