// The day-flag panel (PnlFlags): the selected day and a check list of flag captions, saved
// with its button. It lies over the calendar while open. The page drives it.
#pragma once

#include <QFrame>
#include <string>
#include <vector>

class QLabel;
class QListWidget;
class QPushButton;

class TDayFlagPanel : public QFrame {
    Q_OBJECT

  public:
    explicit TDayFlagPanel(QWidget* parent);

    void SetCaptions(const std::vector<std::string>& captions);
    std::vector<std::string> Captions() const;
    std::vector<std::string> CheckedCaptions() const;
    void SetChecked(int row, bool checked);

    QLabel* LblDate = nullptr;
    QListWidget* CLBFlags = nullptr;
    QPushButton* BtnFlagsSave = nullptr;
};
