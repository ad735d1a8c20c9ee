#include "Shape.h"

#include <QPainter>
#include <algorithm>

TShape::TShape(QWidget* parent, TKind kind) : QWidget(parent), ShapeKind(kind) {
    // Clicks fall through to whatever lies below, as the marker must not swallow day clicks.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TShape::SetPenColor(const QColor& color) {
    if (Pen != color) {
        Pen = color;
        update();
    }
}

void TShape::SetBrushColor(const QColor& color) {
    if (Brush != color) {
        Brush = color;
        update();
    }
}

void TShape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    int w = width();
    int h = height();
    if (w <= 2 || h <= 2) {
        painter.fillRect(rect(), Pen);
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(Pen, 0));
    painter.setBrush(Brush);
    QRect outline(0, 0, w - 1, h - 1);
    if (ShapeKind == TKind::RoundRect) {
        // Corner ellipses a quarter of the shorter side across.
        double radius = (std::min(w, h) / 4) / 2.0;
        painter.drawRoundedRect(outline, radius, radius);
    } else {
        painter.drawRect(outline);
    }
}
