// An image control: a picture drawn centred (or at the top left), with click and mouse events,
// the counterpart of the form's image components.
#pragma once

#include <QPixmap>
#include <QWidget>

class TPageImage : public QWidget {
    Q_OBJECT

  public:
    explicit TPageImage(QWidget* parent = nullptr);

    void SetPicture(const QPixmap& picture, bool centred);
    const QPixmap& Picture() const { return Image; }

  signals:
    // Press and release on the image, as a click; fired before MouseUp.
    void Click();
    void MouseDown();
    void MouseUp();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    QPixmap Image;
    bool Centred = true;
    bool Pressed = false;
};
