// One calendar instance as the host sees it: its host services, its database path, the three
// host variables it keeps present, its property page, and the once-a-minute trigger of due
// appointments.
#pragma once

#include <array>
#include <cstdint>
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

    // Timer1's handler: fires today's due appointments, and at minute 0 first refreshes every
    // flag's variable. A failure of the whole file escapes to the caller (the timer reports
    // it); an unreadable row and a refused done mark are reported here, once, and the other
    // appointments still fire. An appointment runs at most once a day per instance.
    void TriggerDueDates();
    // Writes, for every flag, whether it is set today into the flag's host variable.
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
    void WriteDayFlags();
    // Handles one due appointment: the trigger variable, then the script and the done mark.
    void HandleAppointment(const std::string& path, const TMondrelDate& appointment);
    void FireAppointment(int64_t id, const std::string& script);
    void MarkDone(const std::string& path, int64_t id);
    // Shows a problem through the default error report the first time this instance meets it,
    // and logs it as an error on the first meeting of each day.
    void ReportProblem(const std::string& key, const std::string& text);
    void StartDay(TDateTime day);
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
    // The day the two sets below are about; both start over when it changes.
    TDateTime Today = 0;
    // Appointments whose script ran today: later ticks only retry their done mark.
    std::set<int64_t> RanToday;
    // Problems met, and whether they are logged today.
    std::map<std::string, bool> Problems;
};
