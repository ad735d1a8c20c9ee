#include "ClickLabel.h"

TClickLabel::TClickLabel(QWidget* parent) : TClickable(parent) {
    setTextFormat(Qt::PlainText);
    setMargin(0);
    setIndent(0);
}
