// The property page: the dialog in which the user works on one calendar instance's
// appointments, flags and database file. The instance creates it, hands it its references and
// shows it without blocking; it reads and writes the database through the store with the path
// in its own copy of the settings, which goes back to the instance only with Apply or OK.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "Core.Mondrel_Types.h"
#include "JCalendarTypes.h"
#include "NHXPtr.h"

class QFrame;
class QLabel;
class QPushButton;
class QScrollBar;
class TDayBlock;
class TDayFlagPanel;
class TEditorPanel;
class TJCalendar;
class TPageImage;
class TSetupPanel;

// The page's copy of the instance's settings record.
struct TPageSettings {
    std::string Database;
};

class TfrmPropertyPage : public QDialog {
    Q_OBJECT

  public:
    explicit TfrmPropertyPage(QWidget* parent = nullptr);
    ~TfrmPropertyPage() override;
    TfrmPropertyPage(const TfrmPropertyPage&) = delete;
    TfrmPropertyPage& operator=(const TfrmPropertyPage&) = delete;

    // Each keeps a reference of its own, replacing the one held; null clears it.
    void SetInstance(INHXMondrel* instance);
    void SetInstanceControl(INHXInstanceControl* control);
    // The instance's number, named in the title with the database file.
    void SetInstanceNumber(int number);

    // True while one of the page's handlers runs (and with it, maybe, one of its modal boxes).
    bool InHandler() const { return HandlerDepth > 0; }
    // For a page closed while its handler runs: closes the open modal as if cancelled, acts on
    // nothing that handler was about to do, and frees the page once the handler has returned.
    void DestroyWhenIdle();

    // Called at every tick of the instance's timer. At the first after midnight the today
    // frame moves on, and a selection of the old today follows it to the new one.
    void CheckToday();

    const TPageSettings& Settings() const { return PageSettings; }
    TJCalendar* CalendarControl() const { return Calendar; }

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // Layout
    void BuildHeader();
    void BuildMainView();
    void BuildToolbar(QFrame* toolbar);
    void SetTabOrder();
    void CentreOnHostWindow();
    // Moves down and right while another page stands at the same place.
    void AvoidOtherPages();
    // "Mondrel #2 – Kitchen.sdb": the instance and the file of this page.
    void UpdateTitle();
    // After a host picker: its window closing puts the host's window in front of the page.
    void BackInFront();

    // Form
    void FormCreate();
    void FormShow();
    void FormDestroy();
    void btnOKClick();
    void btnApplyClick();
    void CalendarDayClick();
    void ToolbarPress(TPageImage* image, int offset);

    // Data and view
    void LoadData();
    // Shows the rows the store could not read and left out, each once per showing of the page.
    void ReportSkippedRows(const TSkippedRows& rows);
    void RefreshView();
    // Lists every flag's caption in the day-flag panel. An open panel checks the day's flags as
    // stored, or keeps the checks the user made.
    enum class TDayChecks { FromStore, Kept };
    void ListDayFlagCaptions(TDayChecks checks);
    void ShowDay(int offset);
    void ScrollBarChange();
    void DeleteAppointment(int slot);
    TDateTime SelectedDay() const;

    // Editor
    void OpenEditor(int64_t id);
    void BtnSaveDateClick();
    void BtnDateCloseClick();
    void ImgScriptSelectClick();

    // Setup and day flags
    void ImgSetupClick();
    void FillFlagGrid();
    // Lists the flags that are not fixed in the grid; no row is selected.
    void ListFlags(const TFlags& flags);
    void CombColorsChange();
    void BtnFlagAddClick();
    void BtnFlagDelClick();
    void BtnSetupCloseClick();
    void BtnDatabaseBrowseClick();
    void ImgVariableSelectClick();
    void ImgFlagsAddClick();
    // Checks the entries of the selected day's flags, unchecks the others.
    void ShowDayFlagChecks();
    void BtnFlagsSaveClick();

    // Runs a handler from the event loop; what it throws goes to the default error report.
    template <class Sender, class Signal>
    void OnEvent(Sender* sender, Signal signal, std::function<void()> handler);
    void RunHandler(const std::function<void()>& handler);
    // After a modal box or picker: the page was closed meanwhile, act on nothing.
    bool Closing() const { return DestroyPending; }

    TPageSettings PageSettings;
    TJCalendar* Calendar = nullptr;
    TDates MonthDates;
    TDayFlags DayFlagList;
    TTermine DayMarks;
    TFlags FlagList;
    TDBColors ColorList;
    std::array<TDayBlock*, 3> Blocks{};
    int32_t DayOffset = 0;
    std::vector<int64_t> FlagRowIds;
    int64_t EditedId = -1;  // -1: a new appointment
    TNHXInterfacePtr<INHXMondrel> Instance;
    TNHXInterfacePtr<INHXInstanceControl> InstanceControl;

    // Components of the form and the main view
    QFrame* pTop = nullptr;
    QPushButton* DoBlur = nullptr;
    QFrame* Panel3 = nullptr;
    QFrame* Panel2 = nullptr;
    QScrollBar* ScrollBar = nullptr;
    TPageImage* ImgFlagsAdd = nullptr;
    TPageImage* ImgTerminNeu = nullptr;
    TPageImage* ImgSetup = nullptr;
    TDayFlagPanel* PnlFlags = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnApply = nullptr;
    TEditorPanel* PnlTermin = nullptr;
    TSetupPanel* PnlSetup = nullptr;
    bool Placed = false;
    int InstanceNumber = 0;  // 0: not known
    // The day the today frame stands on.
    TDateTime ShownToday = 0;
    std::set<std::string> ReportedRows;  // this showing's
    // The captions checked when the day-flag list was last filled.
    std::vector<std::string> ShownDayCaptions;
    int HandlerDepth = 0;
    bool DestroyPending = false;
};
