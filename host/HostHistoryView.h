// The window's "History" tab: the run history, newest first (the last 500 runs), filterable by
// script and outcome, brought up to date as runs end.
#pragma once

#include <QWidget>

class QComboBox;
class QTableWidget;
class THostEventScripter;

class THostHistoryView : public QWidget {
    Q_OBJECT
  public:
    explicit THostHistoryView(THostEventScripter& scripter, QWidget* parent = nullptr);

    // Reads the history again with the chosen filters.
    void Refresh();

  private:
    void ScheduleRefresh();

    THostEventScripter& Scripter;
    QComboBox* ScriptFilter = nullptr;
    QComboBox* OutcomeFilter = nullptr;
    QTableWidget* Table = nullptr;
    bool RefreshPending = false;
};
