// The setup panel (PnlSetup): the database file on the "Properties" tab, the flag grid and the
// fields for a new flag on the "Flags" tab. The page drives it.
#pragma once

#include <QFrame>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;
class TPageImage;
class TShapeControl;

class TSetupPanel : public QFrame {
    Q_OBJECT

  public:
    explicit TSetupPanel(QWidget* parent);

    QList<QWidget*> TabChain() const;

    QPushButton* BtnSetupClose = nullptr;
    QTabWidget* TabbedNotebook1 = nullptr;
    // Properties
    QLineEdit* EdtDataBase = nullptr;
    QPushButton* BtnDatabaseBrowse = nullptr;
    // Flags
    QTableWidget* SGEvents = nullptr;
    QPlainTextEdit* Blank = nullptr;
    QPushButton* BtnFlagDel = nullptr;
    QLineEdit* EdtFlagName = nullptr;
    TShapeControl* ShpEventColor = nullptr;
    QComboBox* CombColors = nullptr;
    QPushButton* BtnFlagAdd = nullptr;
    QLineEdit* EdtFlagVariable = nullptr;
    TPageImage* ImgVariableSelect = nullptr;

  private:
    void BuildPropertiesPage(QWidget* page);
    void BuildFlagsPage(QWidget* page);
};
