// One calendar instance as the host sees it: its host services, its database path, the three
// host variables it keeps present, its property page, and the once-a-minute trigger of due
// appointments.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "Core.Mondrel_Types.h"
#include "NHXObjects.h"
#include "NHXPtr.h"
#include "UNHXTypes.h"

class TTimer;
class TfrmPropertyPage;

// A host variable the instance keeps in existence.
struct TForcedVariable {
    std::string Name;
    uint8_t VarType = NHX_VAR_STRING;
};

class TNHXMondrel : public TNHXModuleObject<INHXMondrel> {
  public:
    static constexpr int Timer1Interval = 60000;
    static constexpr int StartupInterval = 30000;

    TNHXMondrel(INHXKernel* kernel, const TNHXModuleInfo* moduleInfo, uint16_t instanceID);

    NHXResult NHXCALL OpenPage() override;
    NHXResult NHXCALL ClosePage() override;
    NHXResult NHXCALL LoadSettings() override;
    NHXResult NHXCALL SaveSettings() override;
    NHXResult NHXCALL GetSettings(TNHXMondrelSettings* out) override;
    NHXResult NHXCALL SetSettings(const TNHXMondrelSettings* in) override;

    // Timer1's handler: fires today's due appointments. At minute 0, at the instance's first
    // tick and at the first tick after SetSettings named another file it first writes every
    // flag's variable. The tick works on the file it started with, whatever SetSettings does
    // meanwhile. A failure of the whole file is reported once (see ReportFailure); an
    // unreadable row and a refused done mark are reported once too, and the other appointments
    // still fire. Timer1 stays off until the tick and any report it shows have ended, so no
    // tick ever runs inside another tick or its report.
    void TriggerDueDates();
    // Writes, for every flag, whether it is set today into the flag's host variable; a failure
    // is reported as a tick's is.
    void UpdateDayFlags();
    // Creates those of the forced variables the host does not have yet.
    void EnsureForcedVariables();

    uint16_t InstanceID() const { return Instance; }
    std::string DatabasePath() const { return MondrelSettings.Str(); }
    std::string Sender() const;
    TTimer& Timer1() const { return *Timer1Ptr; }
    TTimer& StartupTimer() const { return *StartupTimerPtr; }
    const uint32_t* HostRecordWords() const { return HostRecord; }
    TfrmPropertyPage* Form() const { return FormPtr.get(); }
    // The parameters of the last script run.
    const TNHXScriptParams& LastScriptParams() const { return ScriptParams; }

  protected:
    ~TNHXMondrel() override;
    bool AnswersInterface(const GUID& iid) const override;

  private:
    // A reference of the instance's own for the length of a handler that calls out to the
    // host: a host that drops its last reference meanwhile frees the instance only once the
    // handler has returned. Empty while the instance is being destroyed.
    TNHXInterfacePtr<INHXMondrel> Hold();
    // True when no one but a running handler holds the instance any more.
    bool Released() const { return this->CurrentRefCount() <= 1; }

    void Log(int32_t kind, const std::string& sender, const std::string& text) const;
    void ObtainServices();
    // Logs what a host without a running Qt event loop would never learn otherwise.
    void CheckEventLoop();
    // Runs work on the instance's file as a tick: Timer1 off and no other tick meanwhile. The
    // work reports its own failures (RunReported).
    void RunExclusive(const std::function<void(const std::string&)>& work);
    // Runs work on the whole file at `path` and reports how it went (ReportFailure).
    void RunReported(const std::string& path, const std::function<void()>& work);
    // A failure of the whole file is shown and logged as an error the first time (or, when it
    // first met another box, the first time no box is open); while the same failure repeats it
    // is logged at most once an hour and never shown again. The first
    // success after it is logged, and a later failure counts as new.
    void ReportFailure(const std::string& text);
    void ReportRecovery(const std::string& path);
    void RunTick(const std::string& path);
    void WriteDayFlags(const std::string& path);
    // Handles one due appointment: the trigger variable, then the script and the done mark.
    void HandleAppointment(const std::string& path, const TMondrelDate& appointment);
    void FireAppointment(const std::string& path, int64_t id, const std::string& script);
    // Answers whether the mark was written.
    bool MarkDone(const std::string& path, int64_t id);
    // Shows a problem through the default error report the first time this instance meets it,
    // and logs it as an error on the first meeting of each day.
    void ReportProblem(const std::string& key, const std::string& text);
    // Shows `text` through the default error report unless `shown` or another box is open.
    void ShowReportOnce(bool& shown, const std::string& text);
    void StartDay(TDateTime day);
    // The open appointments of the day before `now` that no tick has looked at: those after
    // the minute Covered ends with. Empty unless `now` is the day after Covered's.
    TDates LeftFromYesterday(const std::string& path, TDateTime now, TSkippedRows* unreadable);
    void DestroyPage();

    TNHXInterfacePtr<INHXKernel> Kernel;
    TNHXInterfacePtr<INHXEventScripter> EventScripter;
    TNHXInterfacePtr<INHXSettings> Settings;
    TNHXInterfacePtr<INHXDebugServer> DebugServer;
    TNHXInterfacePtr<INHXInstanceControl> InstanceControl;
    TNHXInterfacePtr<INHXVariableManager> VariableManager;
    TNHXVariablesRef Variables;
    TNHXScriptParams ScriptParams{};
    const TNHXModuleInfo* ModuleInfo;
    TNHXTextRef MondrelSettings;  // the Database field of the settings record
    uint16_t Instance;
    std::unique_ptr<TfrmPropertyPage> FormPtr;
    std::string KernelDir;
    std::unique_ptr<TTimer> Timer1Ptr;
    std::unique_ptr<TTimer> StartupTimerPtr;
    std::array<TForcedVariable, 3> ForcedVariables;
    std::string TriggerVariable;
    bool Destroying = false;
    // A tick is running (with, maybe, one of its reports).
    bool Ticking = false;
    // The flag variables are to be written at the next tick, whatever its minute.
    bool FlagsPending = true;
    // The failure of the whole file that the last tick met ("" while the file works), and when
    // it was last logged.
    std::string Failure;
    TDateTime FailureLogged = 0;
    // Whether that failure has been shown; a tick inside another box only logs it, and the
    // next tick that meets it with no box open shows it.
    bool FailureShown = false;
    // How far the ticks have looked for due appointments: every minute of Day up to and
    // including Minute (counted from midnight; one before the instance's start, before the
    // first tick).
    struct TCovered {
        TDateTime Day = 0;
        int Minute = -1;
    };
    TCovered Covered;
    // The day the two sets below are about; both start over when it changes.
    TDateTime Today = 0;
    // Appointments whose script ran today but whose done mark was refused: later ticks only
    // retry the mark. An ID leaves as soon as its mark is written, so a row armed again, or a
    // new row that reuses the ID, fires again.
    std::set<int64_t> RanToday;
    // Problems met: whether each is logged today, and whether it has been shown.
    struct TProblem {
        bool LoggedToday = false;
        bool Shown = false;
    };
    std::map<std::string, TProblem> Problems;
};
