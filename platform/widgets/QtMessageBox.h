// The Qt presenter of the message-box layer: a modal QMessageBox where someone can answer it.
#pragma once

#include "../MessageBox.h"

// Answers with a modal QMessageBox when a QApplication exists on a real display; otherwise
// writes the box to standard error and answers its first button.
TMsgButton PresentWithQMessageBox(const TMessageBoxRequest& request);

void InstallQtMessageBoxPresenter();
