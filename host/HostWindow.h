// The host's window: the registered add-ins (bitmap, name, description, an Open button), the
// instances (with buttons to open and close each one's page), the log and the variables, all
// kept up to date as the host changes.
#pragma once

#include <QWidget>

class QPlainTextEdit;
class QTableWidget;
class TNHXHost;
struct THostLogEntry;

class THostWindow : public QWidget {
    Q_OBJECT
  public:
    explicit THostWindow(TNHXHost& host, QWidget* parent = nullptr);
    ~THostWindow() override;

    // Rebuilds the add-in, instance and variable tables from the host.
    void Refresh();

  protected:
    // Closing the host's window ends the host, even while a module's page is still open.
    void closeEvent(QCloseEvent* event) override;

  private:
    // Host changes may arrive in the middle of a module's call (an add-in registers from its
    // constructor): the tables are rebuilt afterwards, from the event loop.
    void ScheduleRefresh();
    void RefreshAddIns();
    void RefreshInstances();
    void RefreshVariables();
    void AppendLog(const THostLogEntry& entry);
    void OpenAddIn(int row);
    void CallPage(uint16_t number, bool open);

    TNHXHost& Host;
    int LogListener = 0;
    bool RefreshPending = false;
    QTableWidget* AddInTable = nullptr;
    QTableWidget* InstanceTable = nullptr;
    QTableWidget* VariableTable = nullptr;
    QPlainTextEdit* LogView = nullptr;
};
