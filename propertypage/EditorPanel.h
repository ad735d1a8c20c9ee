// The appointment editor's panel (PnlTermin): description, script, value, time and date boxes,
// the script picker image, Save and Close. The page drives it.
#pragma once

#include <QFrame>

class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class TPageImage;

class TEditorPanel : public QFrame {
    Q_OBJECT

  public:
    explicit TEditorPanel(QWidget* parent);

    // The order in which Tab moves through the editor.
    QList<QWidget*> TabChain() const;

    QPushButton* BtnDateClose = nullptr;
    QFrame* Panel4 = nullptr;
    QLineEdit* EdtDiscription = nullptr;
    QLineEdit* EdtScript = nullptr;
    TPageImage* ImgScriptSelect = nullptr;
    QLineEdit* EdtValue = nullptr;
    QLineEdit* EdtHour = nullptr;
    QLineEdit* EdtMin = nullptr;
    QDateEdit* DTPDate = nullptr;
    QPushButton* BtnSaveDate = nullptr;
};
