// A rectangle shape with a pen and a brush, the counterpart of the form's shape components.
#pragma once

#include <QColor>
#include <QWidget>

class TShapeControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor brushColor READ BrushColor)
    Q_PROPERTY(bool filled READ Filled)

  public:
    explicit TShapeControl(QWidget* parent = nullptr);

    void SetBrushColor(const QColor& color);
    // No fill at all: only the frame is drawn.
    void ClearBrush();
    QColor BrushColor() const { return Brush; }
    bool Filled() const { return HasBrush; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor Brush = Qt::white;
    bool HasBrush = true;
};
