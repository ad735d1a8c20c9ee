#include "Core.Mondrel_Interface.h"

#include <QApplication>
#include <algorithm>

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

// Entry points from the host answer a result code and never let an exception through.
NHXResult Guarded(const std::function<void()>& action) {
    return RunGuarded(action) ? S_OK : E_FAIL;
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

    Timer1Ptr = std::make_unique<TTimer>("Timer1", Timer1Interval, [this] { TriggerDueDates(); });
    Timer1Ptr->SetEnabled(true);
    StartupTimerPtr = std::make_unique<TTimer>("", StartupInterval, [this] {
        const auto hold = Hold();
        StartupTimerPtr->SetEnabled(false);
        EnsureForcedVariables();
    });
    StartupTimerPtr->SetEnabled(true);

    Log(NHX_LOG_NOTICE, Sender(), "Interface Create");
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
    return S_OK;
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
    MondrelSettings = TNHXTextRef::Share(in->Database);
    return S_OK;
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
        EnsureForcedVariables();
        FormPtr->show();
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
    // Declared first, so the instance outlives the re-enabling below.
    const auto hold = Hold();
    Timer1Ptr->SetEnabled(false);
    // Enabling restarts the interval, so the next tick comes a full minute after this one ends,
    // however this one ends.
    struct TReenable {
        TTimer& Timer;
        ~TReenable() { Timer.SetEnabled(true); }
    } reenable{*Timer1Ptr};

    const std::string path = DatabasePath();
    const TDateTime now = Now();
    TSkippedRows unreadable;
    const TDates open = GetDates(path, dqDayOpen, now, &unreadable);
    StartDay(DateOf(now));

    TTimeParts time = DecodeTime(now);
    const TDateTime limit = EncodeTime(time.Hour, time.Minute, 59, 999);
    if (time.Minute == 0) {
        WriteDayFlags();
    }
    for (size_t i = 0; i < open.size() && !Released(); ++i) {
        if (TimeOf(open[i].Time) <= limit) {
            HandleAppointment(path, open[i]);
        }
    }
    // After the readable appointments have fired: a report may wait for an answer. The row
    // stays as it is.
    for (const TSkippedRow& row : unreadable) {
        ReportProblem(DescribeSkippedRow(row), DescribeSkippedRow(row));
    }
}

void TNHXMondrel::StartDay(TDateTime day) {
    if (day == Today) {
        return;
    }
    Today = day;
    RanToday.clear();
    for (auto& [key, logged] : Problems) {
        logged = false;
    }
}

void TNHXMondrel::HandleAppointment(const std::string& path, const TMondrelDate& appointment) {
    // Its script ran, but the done mark was refused: running it again would repeat what the
    // script does every minute, so only the mark is tried again.
    if (RanToday.contains(appointment.ID)) {
        MarkDone(path, appointment.ID);
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
    FireAppointment(appointment.ID, appointment.Script);
    RanToday.insert(appointment.ID);
    MarkDone(path, appointment.ID);
}

void TNHXMondrel::MarkDone(const std::string& path, int64_t id) {
    try {
        SetDateDone(path, id);
    } catch (const EMondrelError& error) {
        ReportProblem("done " + std::to_string(id),
                      "The appointment with ID " + std::to_string(id) +
                          " has run but could not be marked done; it will not run again "
                          "today.\r\n\r\n" +
                          error.what());
    }
}

void TNHXMondrel::ReportProblem(const std::string& key, const std::string& text) {
    auto [problem, first] = Problems.try_emplace(key, false);
    if (!problem->second) {
        problem->second = true;
        Log(NHX_LOG_ERROR, Sender(), text);
    }
    if (first) {
        ShowErrorReport(text);
    }
}

void TNHXMondrel::FireAppointment(int64_t id, const std::string& script) {
    TNHXVariablesRef variables = TNHXVariablesRef::Adopt(NHXVariablesNew(4));
    const TMondrelDate full = GetDate(DatabasePath(), id);
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

void TNHXMondrel::UpdateDayFlags() {
    const auto hold = Hold();
    WriteDayFlags();
}

void TNHXMondrel::WriteDayFlags() {
    const std::string path = DatabasePath();
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
