#include "Core.Mondrel_Interface.h"

#include <QApplication>
#include <algorithm>
#include <cmath>

#include "Clock.h"
#include "DBCnx.h"
#include "FPropertyPage.h"
#include "HostVariableNames.h"
#include "Locale.h"
#include "MessageBox.h"
#include "MondrelError.h"
#include "ScriptName.h"
#include "TimeText.h"
#include "Timer.h"

namespace {

constexpr const char* DefaultDatabase = "Database/Mondrel.sdb";
// How often a failure that keeps coming back is logged again, in milliseconds.
constexpr double FailureLogIntervalMs = 60 * 60 * 1000;
constexpr double MSecsPerDay = 24 * FailureLogIntervalMs;

// Entry points from the host answer a result code and never let an exception through.
NHXResult Guarded(const std::function<void()>& action) {
    return RunGuarded(action) ? S_OK : E_FAIL;
}

int MinuteOfDay(TDateTime value) {
    const TTimeParts time = DecodeTime(TimeOf(value));
    return time.Hour * 60 + time.Minute;
}

void FillVariable(TNHXVariable& entry, const char* name, const std::string& value) {
    entry.Name = NHXTextNew(name);
    entry.TypeCode = NHX_VAR_STRING;
    entry.Extra = nullptr;
    entry.Updated = Now();
    entry.ValueText = NHXTextNew(value.data(), value.size());
}

}  // namespace

TNHXMondrel::TNHXMondrel(INHXKernel* kernel, const TNHXModuleInfo* moduleInfo, uint16_t instanceID)
    : Kernel(TNHXInterfacePtr<INHXKernel>::Share(kernel)),
      ModuleInfo(moduleInfo),
      Instance(instanceID),
      ForcedVariables{{{"Mondrel_TriggerValue", NHX_VAR_STRING},
                       {"Mondrel_IsWeekend", NHX_VAR_BOOLEAN},
                       {"Mondrel_IsPublicHoliday", NHX_VAR_BOOLEAN}}},
      TriggerVariable(ForcedVariables[0].Name) {
    if (Kernel) {
        TNHXTextRef dir;
        Kernel->GetKernelDir(dir.Out());
        KernelDir = dir.Str();
    }
    ObtainServices();
    LoadSettings();
    const TDateTime started = Now();
    Covered = {DateOf(started), MinuteOfDay(started) - 1};

    Timer1Ptr = std::make_unique<TTimer>("Timer1", Timer1Interval, [this] { TriggerDueDates(); });
    Timer1Ptr->SetEnabled(true);
    StartupTimerPtr = std::make_unique<TTimer>("", StartupInterval, [this] {
        const auto hold = Hold();
        StartupTimerPtr->SetEnabled(false);
        EnsureForcedVariables();
    });
    StartupTimerPtr->SetEnabled(true);
    CheckEventLoop();

    Log(NHX_LOG_NOTICE, Sender(), "Interface Create");
}

void TNHXMondrel::CheckEventLoop() {
    // Without an application object Qt only warns on standard error, and the timers never
    // fire: no appointment would ever run, and nothing in the host's log would say why.
    if (!QCoreApplication::instance()) {
        Log(NHX_LOG_ERROR, Sender(),
            "No Qt application object (QCoreApplication) in the host process: Timer1 will "
            "never fire and no appointment will run. The host must create a QApplication or "
            "QCoreApplication on its main thread and run its event loop.");
    }
}

TNHXMondrel::~TNHXMondrel() {
    Destroying = true;
    Log(NHX_LOG_NOTICE, Sender(), "Interface Destroy");
    Timer1Ptr->SetEnabled(false);
    Timer1Ptr.reset();
    StartupTimerPtr->SetEnabled(false);
    StartupTimerPtr.reset();
    ClosePage();
    SaveSettings();
    Settings.Reset();
    EventScripter.Reset();
    DebugServer.Reset();
    InstanceControl.Reset();
    VariableManager.Reset();
    Kernel.Reset();
    ModuleInfo = nullptr;
}

bool TNHXMondrel::AnswersInterface(const GUID& iid) const {
    return iid == IID_INHXModule ||
           (ModuleInfo ? iid == ModuleInfo->ModuleID : iid == IID_INHXMondrel);
}

TNHXInterfacePtr<INHXMondrel> TNHXMondrel::Hold() {
    if (Destroying) {
        return {};
    }
    return TNHXInterfacePtr<INHXMondrel>::Share(this);
}

std::string TNHXMondrel::Sender() const {
    std::string name = ModuleInfo ? NHXTextToString(ModuleInfo->ModuleName) : "Mondrel";
    return name + " #" + std::to_string(Instance);
}

void TNHXMondrel::Log(int32_t kind, const std::string& sender, const std::string& text) const {
    if (Kernel) {
        TNHXTextRef senderText(sender);
        TNHXTextRef logText(text);
        Kernel->LogMessage(kind, senderText.Get(), logText.Get());
    }
}

void TNHXMondrel::ObtainServices() {
    auto obtain = [this](auto& service, const GUID& iid, const char* failure) {
        using Interface = std::remove_pointer_t<decltype(service.Get())>;
        service = NHXQuery<Interface>(Kernel.Get(), iid);
        if (!service) {
            Log(NHX_LOG_ERROR, Sender(), failure);
        }
    };
    obtain(EventScripter, IID_INHXEventScripter, ">Couldn't obtain EventScripter Object");
    obtain(Settings, IID_INHXSettings, ">Couldn't obtain Settings Object");
    obtain(DebugServer, IID_INHXDebugServer, ">Couldn't obtain DebugServer Object");
    obtain(InstanceControl, IID_INHXInstanceControl, ">Couldn't obtain InstanceControl Object");
    obtain(VariableManager, IID_INHXVariableManager, ">Couldn't obtain VariableManager Object");
}

NHXResult TNHXMondrel::LoadSettings() {
    return Guarded([this] {
        TNHXTextRef database;
        NHXResult read = E_FAIL;
        if (Settings) {
            TNHXTextArrayRef section{"Settings"};
            TNHXTextRef key("Database");
            read = Settings->ReadString(Instance, section.Get(), key.Get(), database.Out());
        }
        if (NHXFailed(read)) {
            // No stored path: the database lives in the host's directory.
            database = TNHXTextRef(KernelDir + DefaultDatabase);
        }
        MondrelSettings = std::move(database);
    });
}

NHXResult TNHXMondrel::SaveSettings() {
    return S_OK;
}

NHXResult TNHXMondrel::GetSettings(TNHXMondrelSettings* out) {
    if (!out) {
        return E_FAIL;
    }
    out->Database = TNHXTextRef(MondrelSettings).Detach();
    return S_OK;
}

NHXResult TNHXMondrel::SetSettings(const TNHXMondrelSettings* in) {
    if (!in) {
        return E_FAIL;
    }
    return Guarded([this, in] {
        TNHXTextRef database = TNHXTextRef::Share(in->Database);
        // Another file has other flags and other days: its variables must not wait for minute 0.
        if (database.Str() != MondrelSettings.Str()) {
            FlagsPending = true;
        }
        MondrelSettings = std::move(database);
    });
}

void TNHXMondrel::EnsureForcedVariables() {
    if (!VariableManager) {
        return;
    }
    const auto hold = Hold();
    TNHXVariablesRef hostVariables;
    int32_t count = 0;
    VariableManager->GetVariables(hostVariables.Out(), &count);
    std::vector<std::string> names = ReadVariableNames(hostVariables.Get(), count);
    std::array<bool, 3> present{};
    for (size_t f = 0; f < ForcedVariables.size(); ++f) {
        present[f] = std::find(names.begin(), names.end(), ForcedVariables[f].Name) != names.end();
    }
    for (size_t f = 0; f < ForcedVariables.size(); ++f) {
        if (!present[f]) {
            TNHXTextRef name(ForcedVariables[f].Name);
            VariableManager->CreateVariable(name.Get(), ForcedVariables[f].VarType);
        }
    }
}

NHXResult TNHXMondrel::OpenPage() {
    const auto hold = Hold();
    return Guarded([this] {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
            // The host's variables do not depend on a window.
            EnsureForcedVariables();
            throw EMondrelError("The property page needs a graphical session.");
        }
        if (!FormPtr) {
            FormPtr = std::make_unique<TfrmPropertyPage>();
        }
        FormPtr->SetInstance(this);
        FormPtr->SetInstanceControl(InstanceControl.Get());
        FormPtr->SetInstanceNumber(Instance);
        EnsureForcedVariables();
        FormPtr->show();
        // Already open, the page may lie behind the host's window: it comes to the front.
        FormPtr->raise();
        FormPtr->activateWindow();
    });
}

NHXResult TNHXMondrel::ClosePage() {
    if (!FormPtr) {
        return S_OK;
    }
    // The page holds a reference to this instance; keep the instance alive until the page is
    // gone. (While destroying, the page can no longer exist: it would have kept us alive.)
    TNHXInterfacePtr<INHXMondrel> self;
    if (!Destroying) {
        self = TNHXInterfacePtr<INHXMondrel>::Share(this);
    }
    RunGuarded([this] { DestroyPage(); });
    return S_OK;
}

void TNHXMondrel::DestroyPage() {
    std::unique_ptr<TfrmPropertyPage> page = std::move(FormPtr);
    if (page->InHandler()) {
        // Freed inside its own handler (under a modal box, say) the page would run on freed
        // memory: it lets go of this instance now and frees itself when the handler returns.
        page.release()->DestroyWhenIdle();
        return;
    }
    page->hide();
    page->SetInstance(nullptr);
    page.reset();
}

void TNHXMondrel::TriggerDueDates() {
    RunExclusive([this](const std::string& path) {
        RunReported(path, [&] { RunTick(path); });
        // A page left open across midnight moves its today on, whatever the file did.
        if (FormPtr && !Released()) {
            FormPtr->CheckToday();
        }
    });
}

void TNHXMondrel::UpdateDayFlags() {
    RunExclusive(
        [this](const std::string& path) { RunReported(path, [&] { WriteDayFlags(path); }); });
}

void TNHXMondrel::RunExclusive(const std::function<void(const std::string&)>& work) {
    // Declared first, so the instance outlives the re-enabling below.
    const auto hold = Hold();
    if (Ticking) {
        return;
    }
    Timer1Ptr->SetEnabled(false);
    Ticking = true;
    // Enabling restarts the interval, so the next tick comes a full minute after this one and
    // its reports end, however this one ends.
    struct TTickEnd {
        TNHXMondrel& Instance;
        ~TTickEnd() {
            Instance.Ticking = false;
            Instance.Timer1Ptr->SetEnabled(true);
        }
    } tickEnd{*this};

    // One file per tick: SetSettings called by a script meanwhile takes effect at the next.
    const std::string path = DatabasePath();
    work(path);
}

void TNHXMondrel::RunTick(const std::string& path) {
    const TDateTime now = Now();
    TSkippedRows unreadable;
    const TDates open = GetDates(path, dqDayOpen, now, &unreadable);
    // A tick starts a little later than a minute after the last one, so the last tick of a
    // day may come too early for its last minute: the first tick of the next day fires those.
    const TDates late = LeftFromYesterday(path, now, &unreadable);
    StartDay(DateOf(now));
    for (size_t i = 0; i < late.size() && !Released(); ++i) {
        HandleAppointment(path, late[i]);
    }

    TTimeParts time = DecodeTime(now);
    const TDateTime limit = EncodeTime(time.Hour, time.Minute, 59, 999);
    if (time.Minute == 0 || FlagsPending) {
        // Cleared first: a SetSettings from a script of this tick asks for the next one.
        FlagsPending = false;
        try {
            WriteDayFlags(path);
        } catch (...) {
            FlagsPending = true;
            throw;
        }
    }
    for (size_t i = 0; i < open.size() && !Released(); ++i) {
        if (TimeOf(open[i].Time) <= limit) {
            HandleAppointment(path, open[i]);
        }
    }
    Covered = {DateOf(now), MinuteOfDay(now)};
    // After the readable appointments have fired: a report may wait for an answer. The row
    // stays as it is.
    for (const TSkippedRow& row : unreadable) {
        ReportProblem(DescribeSkippedRow(row), DescribeSkippedRow(row));
    }
}

void TNHXMondrel::RunReported(const std::string& path, const std::function<void()>& work) {
    std::string failure;
    try {
        work();
    } catch (const std::exception& error) {
        failure = error.what();
    } catch (...) {
        failure = "Unknown error";
    }
    if (failure.empty()) {
        ReportRecovery(path);
    } else {
        ReportFailure(failure);
    }
}

void TNHXMondrel::ReportFailure(const std::string& text) {
    const TDateTime now = Now();
    if (text == Failure) {
        // Counted in whole milliseconds: day fractions of equal clock times may differ a little.
        const double sinceLogged = std::round((now - FailureLogged) * MSecsPerDay);
        if (sinceLogged < 0 || sinceLogged >= FailureLogIntervalMs) {
            FailureLogged = now;
            Log(NHX_LOG_ERROR, Sender(), text);
        }
    } else {
        Failure = text;
        FailureLogged = now;
        FailureShown = false;
        Log(NHX_LOG_ERROR, Sender(), text);
    }
    ShowReportOnce(FailureShown, text);
}

void TNHXMondrel::ShowReportOnce(bool& shown, const std::string& text) {
    // Inside another box (a question of the page, a report of another entry point) a report
    // would open a box in a box; a later tick shows it instead.
    if (shown || MessageBoxOpen()) {
        return;
    }
    shown = true;
    ShowErrorReport(text);
}

void TNHXMondrel::ReportRecovery(const std::string& path) {
    if (Failure.empty()) {
        return;
    }
    Failure.clear();
    Log(NHX_LOG_NOTICE, Sender(), "The calendar works again with \"" + path + "\"");
}

void TNHXMondrel::StartDay(TDateTime day) {
    if (day == Today) {
        return;
    }
    Today = day;
    RanToday.clear();
    for (auto& [key, problem] : Problems) {
        problem.LoggedToday = false;
    }
}

TDates TNHXMondrel::LeftFromYesterday(const std::string& path, TDateTime now,
                                      TSkippedRows* unreadable) {
    TDates late;
    if (DateOf(now) != Covered.Day + 1) {
        return late;
    }
    for (const TMondrelDate& appointment : GetDates(path, dqDayOpen, Covered.Day, unreadable)) {
        if (MinuteOfDay(appointment.Time) > Covered.Minute) {
            late.push_back(appointment);
        }
    }
    return late;
}

void TNHXMondrel::HandleAppointment(const std::string& path, const TMondrelDate& appointment) {
    // Its script ran, but the done mark was refused: running it again would repeat what the
    // script does every minute, so only the mark is tried again.
    if (RanToday.contains(appointment.ID)) {
        if (MarkDone(path, appointment.ID)) {
            RanToday.erase(appointment.ID);
        }
        return;
    }
    if (VariableManager) {
        TNHXTextRef name(TriggerVariable);
        TNHXTextRef value(appointment.Discription);
        VariableManager->WriteString(name.Get(), value.Get());
    }
    if (IsBlankScript(appointment.Script)) {
        return;
    }
    FireAppointment(path, appointment.ID, appointment.Script);
    if (!MarkDone(path, appointment.ID)) {
        RanToday.insert(appointment.ID);
    }
}

bool TNHXMondrel::MarkDone(const std::string& path, int64_t id) {
    try {
        SetDateDone(path, id);
        return true;
    } catch (const EMondrelError& error) {
        ReportProblem("done " + std::to_string(id),
                      "The appointment with ID " + std::to_string(id) +
                          " has run but could not be marked done; it will not run again "
                          "today.\r\n\r\n" +
                          error.what());
        return false;
    }
}

void TNHXMondrel::ReportProblem(const std::string& key, const std::string& text) {
    TProblem& problem = Problems[key];
    if (!problem.LoggedToday) {
        problem.LoggedToday = true;
        Log(NHX_LOG_ERROR, Sender(), text);
    }
    ShowReportOnce(problem.Shown, text);
}

void TNHXMondrel::FireAppointment(const std::string& path, int64_t id, const std::string& script) {
    TNHXVariablesRef variables = TNHXVariablesRef::Adopt(NHXVariablesNew(4));
    const TMondrelDate full = GetDate(path, id);
    FillVariable(variables[0], "Mondrel_Discription", full.Discription);
    FillVariable(variables[1], "Mondrel_Value", full.Value);
    FillVariable(variables[2], "Mondrel_Date", FormatShortDate(full.Date));
    FillVariable(variables[3], "Mondrel_Time", FormatLongTime(full.Time));
    Variables = std::move(variables);

    if (!EventScripter) {
        Log(NHX_LOG_ERROR, "Mondrel", "No event scripter, script not run: " + script);
        return;
    }
    TNHXTextRef scriptText(script);
    TNHXTextRef found;
    if (NHXFailed(EventScripter->LookupScript(scriptText.Get(), found.Out()))) {
        Log(NHX_LOG_NOTICE, "Mondrel", "Script not found: " + script);
        return;
    }
    ScriptParams = TNHXScriptParams{};
    ScriptParams.Variables = Variables.Get();
    TNHXTextRef sender("Mondrel");
    EventScripter->RunScript(scriptText.Get(), sender.Get(), 0, &ScriptParams, 0);
}

void TNHXMondrel::WriteDayFlags(const std::string& path) {
    const TFlags flags = GetFlags(path);
    TSkippedRows unreadable;
    const TDayFlags today = GetDayFlags(path, DateOf(Now()), &unreadable);
    for (const TSkippedRow& row : unreadable) {
        ReportProblem(DescribeSkippedRow(row), DescribeSkippedRow(row));
    }
    for (const TFlag& flag : flags) {
        if (Released()) {
            return;
        }
        bool set = false;
        for (const TDayFlag& dayFlag : today) {
            set = set || dayFlag.FlagID == flag.ID;
        }
        if (VariableManager) {
            TNHXTextRef name(flag.Variable);
            VariableManager->WriteBoolean(name.Get(), set);
        }
    }
}
