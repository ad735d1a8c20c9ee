// An image that shows a bitmap at its top-left corner and reports clicks. The bitmap is drawn
// transparently: every pixel of the bottom-left pixel's colour is left out, so the parent shows
// through.
#pragma once

#include <QImage>
#include <QWidget>

#include "Clickable.h"

class TClickImage : public TClickable<TClickImage, QWidget> {
  public:
    explicit TClickImage(QWidget* parent);

    void SetPicture(const QImage& picture);
    // The bitmap as drawn, with the transparent colour already left out.
    const QImage& Picture() const { return Shown; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage Shown;
};
