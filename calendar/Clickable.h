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

    // While OnClick runs: whether this click is the second one of a double click.
    bool SecondOfDoubleClick() const { return DoublePress; }

  protected:
    void mousePressEvent(QMouseEvent* event) override {
        Pressed = event->button() == Qt::LeftButton;
        DoublePress = false;
        event->accept();
    }

    void mouseDoubleClickEvent(QMouseEvent* event) override {
        mousePressEvent(event);
        DoublePress = Pressed;
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
    bool DoublePress = false;
};
