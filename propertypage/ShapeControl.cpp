#include "ShapeControl.h"

#include <QPainter>

TShapeControl::TShapeControl(QWidget* parent) : QWidget(parent) {}

void TShapeControl::SetBrushColor(const QColor& color) {
    Brush = color;
    HasBrush = true;
    update();
}

void TShapeControl::ClearBrush() {
    HasBrush = false;
    update();
}

void TShapeControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(QPen(Qt::black, 1));
    if (HasBrush) {
        painter.setBrush(Brush);
    } else {
        painter.setBrush(Qt::NoBrush);
    }
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
