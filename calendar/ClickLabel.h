// A text label that reports clicks: the calendar's captions, week numbers, weekday headers and
// day cells.
#pragma once

#include <QLabel>

#include "Clickable.h"

class TClickLabel : public TClickable<TClickLabel, QLabel> {
  public:
    explicit TClickLabel(QWidget* parent);
};
