// Click reporting shared by the calendar's labels and images: a press and a release of the left
// button both on the widget make one click, reported with the widget itself through RunGuarded,
// so an error ends only that click and reaches the error report.
#pragma once

#include <QMouseEvent>
#include <functional>

#include "MessageBox.h"

template <class Self, class Base>
class TClickable : public Base {
  public:
    using Base::Base;

    std::function<void(Self*)> OnClick;

  protected:
    void mousePressEvent(QMouseEvent* event) override {
        Pressed = event->button() == Qt::LeftButton;
        event->accept();
    }

    void mouseReleaseEvent(QMouseEvent* event) override {
        bool click = Pressed && event->button() == Qt::LeftButton &&
                     this->rect().contains(event->position().toPoint());
        Pressed = false;
        event->accept();
        if (click && OnClick) {
            RunGuarded([this] { OnClick(static_cast<Self*>(this)); });
        }
    }

  private:
    bool Pressed = false;
};
