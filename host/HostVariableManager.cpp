#include "HostVariableManager.h"

#include <QDateTime>
#include <QSaveFile>
#include <algorithm>
#include <utility>

#include "NHXPtr.h"

namespace {

// The local date and time as the host's date-time value.
double CurrentDateTime() {
    const QDateTime now = QDateTime::currentDateTime();
    constexpr double MsPerDay = 86400000.0;
    return static_cast<double>(QDate(1899, 12, 30).daysTo(now.date())) +
           now.time().msecsSinceStartOfDay() / MsPerDay;
}

// Tabs, line breaks and backslashes are escaped so each variable stays one dump line.
std::string EscapeDumpField(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

const char* CallName(THostVariableCall call) {
    switch (call) {
        case THostVariableCall::CreateVariable:
            return "CreateVariable";
        case THostVariableCall::WriteString:
            return "WriteString";
        case THostVariableCall::WriteBoolean:
            return "WriteBoolean";
    }
    return "?";
}

}  // namespace

THostVariableManager::THostVariableManager(std::shared_ptr<THostLog> log) : Log(std::move(log)) {}

bool THostVariableManager::AnswersInterface(const GUID& iid) const {
    return iid == IID_INHXVariableManager || iid == IID_INHXMessageSink || iid == IID_IUnknown;
}

const char* THostVariableManager::TypeName(uint8_t typeCode) {
    switch (typeCode) {
        case NHX_VAR_BOOLEAN:
            return "boolean";
        case NHX_VAR_STRING:
            return "string";
        default:
            return "other";
    }
}

std::string THostVariableManager::BooleanText(bool value) {
    return value ? "true" : "false";
}

const THostVariable* THostVariableManager::Lookup(const std::string& name) const {
    auto it = std::find_if(Items.begin(), Items.end(),
                           [&name](const THostVariable& v) { return v.Name == name; });
    return it == Items.end() ? nullptr : &*it;
}

THostVariable* THostVariableManager::Lookup(const std::string& name) {
    return const_cast<THostVariable*>(std::as_const(*this).Lookup(name));
}

std::optional<THostVariable> THostVariableManager::Find(const std::string& name) const {
    const THostVariable* variable = Lookup(name);
    return variable ? std::optional<THostVariable>(*variable) : std::nullopt;
}

void THostVariableManager::Record(const THostVariableCallRecord& record) {
    Calls.push_back(record);
}

NHXResult NHXCALL THostVariableManager::CreateVariable(NHXText name, uint8_t type) {
    THostVariableCallRecord record{
        THostVariableCall::CreateVariable, NHXTextToString(name), type, {}, false, S_OK};
    if (record.Name.empty()) {
        Log->AddHostNote(NHX_LOG_ERROR, "CreateVariable: a variable needs a name");
        record.Result = E_FAIL;
    } else if (THostVariable* existing = Lookup(record.Name)) {
        if (existing->TypeCode != type) {
            Log->AddHostNote(NHX_LOG_ERROR, "CreateVariable: " + record.Name + " exists as " +
                                                TypeName(existing->TypeCode) + ", not as " +
                                                TypeName(type));
            record.Result = E_FAIL;
        } else {
            Log->AddHostNote(NHX_LOG_NOTICE, "Variable exists already: " + record.Name);
        }
    } else {
        Items.push_back(THostVariable{record.Name, type,
                                      type == NHX_VAR_BOOLEAN ? BooleanText(false) : std::string(),
                                      CurrentDateTime()});
        Log->AddHostNote(NHX_LOG_NOTICE,
                         "Variable created: " + record.Name + " (" + TypeName(type) + ")");
    }
    Record(record);
    if (NHXSucceeded(record.Result)) {
        AfterChange();
    }
    return record.Result;
}

NHXResult NHXCALL THostVariableManager::WriteBoolean(NHXText name, bool value) {
    THostVariableCallRecord record{
        THostVariableCall::WriteBoolean, NHXTextToString(name), 0, BooleanText(value), value, S_OK};
    return Write(std::move(record), NHX_VAR_BOOLEAN);
}

NHXResult NHXCALL THostVariableManager::WriteString(NHXText name, NHXText value) {
    THostVariableCallRecord record{THostVariableCall::WriteString,
                                   NHXTextToString(name),
                                   0,
                                   NHXTextToString(value),
                                   false,
                                   S_OK};
    return Write(std::move(record), NHX_VAR_STRING);
}

// Writes only into an existing variable of the written type: a module writing into a name the
// user never created, or of another type, learns it from the result and the log.
NHXResult THostVariableManager::Write(THostVariableCallRecord record, uint8_t typeCode) {
    const std::string call = CallName(record.Call);
    THostVariable* variable = Lookup(record.Name);
    if (!variable) {
        Log->AddHostNote(NHX_LOG_ERROR, call + ": no variable named \"" + record.Name + "\"");
        record.Result = E_FAIL;
    } else if (variable->TypeCode != typeCode) {
        Log->AddHostNote(NHX_LOG_ERROR, call + ": " + record.Name + " is a " +
                                            TypeName(variable->TypeCode) + " variable");
        record.Result = E_FAIL;
    } else {
        variable->Value = record.Value;
        variable->Updated = CurrentDateTime();
        Log->AddHostNote(NHX_LOG_NOTICE, "Variable " + record.Name + " := " + record.Value);
    }
    Record(record);
    if (NHXSucceeded(record.Result)) {
        AfterChange();
    }
    return record.Result;
}

NHXResult NHXCALL THostVariableManager::GetVariables(TNHXVariables* out, int32_t* count) {
    if (!out || !count) {
        return E_FAIL;
    }
    // The caller passes null and owns the new array; should it not, its old array is not ours
    // to free.
    const auto total = static_cast<uint32_t>(Items.size());
    TNHXVariablesRef list = TNHXVariablesRef::Adopt(NHXVariablesNew(total));
    for (uint32_t i = 0; i < total; ++i) {
        const THostVariable& v = Items[i];
        list[i].Name = TNHXTextRef(v.Name).Detach();
        list[i].TypeCode = v.TypeCode;
        list[i].Updated = v.Updated;
        list[i].ValueText = TNHXTextRef(v.Value).Detach();
    }
    *out = list.Detach();
    *count = static_cast<int32_t>(total);
    return S_OK;
}

void THostVariableManager::PreCreate(const std::string& name, uint8_t typeCode,
                                     const std::string& value) {
    THostVariable* variable = Lookup(name);
    if (!variable) {
        Items.push_back(THostVariable{name, typeCode, {}, 0});
        variable = &Items.back();
    }
    variable->TypeCode = typeCode;
    variable->Value = value.empty() && typeCode == NHX_VAR_BOOLEAN ? BooleanText(false) : value;
    variable->Updated = CurrentDateTime();
    AfterChange();
}

void THostVariableManager::SetDumpFile(std::string path) {
    DumpFile = std::move(path);
    WriteDump();
}

void THostVariableManager::AfterChange() {
    WriteDump();
    if (Changed) {
        Changed();
    }
}

void THostVariableManager::WriteDump() const {
    if (DumpFile.empty()) {
        return;
    }
    // Written aside and renamed, so a reader never sees half a file.
    QSaveFile file(QString::fromStdString(DumpFile));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        Log->AddHostNote(NHX_LOG_ERROR, "Cannot write the variables to " + DumpFile + ": " +
                                            file.errorString().toStdString());
        return;
    }
    for (const THostVariable& v : Items) {
        const std::string line = EscapeDumpField(v.Name) + '\t' + std::to_string(v.TypeCode) +
                                 '\t' + EscapeDumpField(v.Value) + '\n';
        file.write(line.data(), static_cast<qint64>(line.size()));
    }
    if (!file.commit()) {
        Log->AddHostNote(NHX_LOG_ERROR, "Cannot write the variables to " + DumpFile + ": " +
                                            file.errorString().toStdString());
    }
}
