// A filled rectangle or rounded rectangle with a one-pixel outline: the calendar's marker,
// separator lines and today frame. Like a fresh drawing shape it starts with a white fill and a
// black outline; shapes one or two pixels thin show only their outline colour.
#pragma once

#include <QColor>
#include <QWidget>

class TShape : public QWidget {
    Q_OBJECT

  public:
    enum class TKind { Rectangle, RoundRect };

    TShape(QWidget* parent, TKind kind);

    void SetPenColor(const QColor& color);
    void SetBrushColor(const QColor& color);
    QColor PenColor() const { return Pen; }
    QColor BrushColor() const { return Brush; }
    TKind Kind() const { return ShapeKind; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    TKind ShapeKind;
    QColor Pen = Qt::black;
    QColor Brush = Qt::white;
};
