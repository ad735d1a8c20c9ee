// The window's "Add variable" dialog: a name, a type (boolean or string) and a first value. OK
// declares the variable; a name in use or a boolean that is neither true nor false is shown in
// the dialog, which stays open.
#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class THostVariableManager;

class THostVariableDialog : public QDialog {
    Q_OBJECT
  public:
    THostVariableDialog(THostVariableManager& variables, QWidget* parent = nullptr);

    void accept() override;

  private:
    THostVariableManager& Variables;
    QLineEdit* NameEdit = nullptr;
    QComboBox* TypeBox = nullptr;
    QLineEdit* ValueEdit = nullptr;
    QLabel* Problem = nullptr;
};
