// The Qt presenter of the message-box layer: a modal QMessageBox where someone can answer it.
#pragma once

#include <QPointer>

#include "../MessageBox.h"

class QWidget;

// Answers with a modal QMessageBox when a QApplication exists on a real display; otherwise
// writes the box to standard error and answers its first button.
TMsgButton PresentWithQMessageBox(const TMessageBoxRequest& request);

void InstallQtMessageBoxPresenter();

// While one lives, the boxes shown centre on `owner`'s window (when it is visible) and stay in
// front of it, whichever window is active: a question of a page belongs to that page.
class TScopedBoxOwner {
  public:
    explicit TScopedBoxOwner(QWidget* owner);
    ~TScopedBoxOwner();
    TScopedBoxOwner(const TScopedBoxOwner&) = delete;
    TScopedBoxOwner& operator=(const TScopedBoxOwner&) = delete;

  private:
    QPointer<QWidget> Previous;
};

// The window the boxes shown now belong to, or null.
QWidget* CurrentBoxOwner();
