#include "HostVariableManager.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <charconv>
#include <utility>

#include <sys/stat.h>

#include "HostFileMode.h"
#include "HostHistory.h"
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

// The reverse of EscapeDumpField; a backslash before any other character stays as it is.
std::string UnescapeDumpField(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[i + 1]) {
            case '\\':
                out += '\\';
                break;
            case 't':
                out += '\t';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            default:
                out += text[i];
                continue;
        }
        ++i;
    }
    return out;
}

// Written above a line of the variables file the host cannot read.
constexpr const char* UnreadableLineComment =
    "# nhx-host cannot read the next line, kept as it is: ";

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
        fields.push_back(line.substr(start, tab - start));
    }
    fields.push_back(line.substr(start));
    return fields;
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

std::optional<bool> THostVariableManager::ParseBoolean(const std::string& text) {
    const QString lower = QString::fromStdString(text).toLower();
    if (lower.isEmpty() || lower == QLatin1String("false")) {
        return false;
    }
    if (lower == QLatin1String("true")) {
        return true;
    }
    return std::nullopt;
}

std::optional<uint8_t> THostVariableManager::ParseType(const std::string& text) {
    if (text == "boolean") {
        return NHX_VAR_BOOLEAN;
    }
    if (text == "string") {
        return NHX_VAR_STRING;
    }
    unsigned code = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, code);
    if (text.empty() || error != std::errc() || stop != end || code > 255) {
        return std::nullopt;
    }
    return static_cast<uint8_t>(code);
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
    KeepLast(Calls);
}

void THostVariableManager::NoteOncePerDay(const std::string& text) {
    const QDate today = QDate::currentDate();
    if (today != NotedDay) {
        NotedDay = today;
        NotedToday.clear();
    }
    if (NotedToday.insert(text).second) {
        Log->AddHostNote(NHX_LOG_ERROR, text + " (logged once a day)");
    }
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
        AfterChange(Lookup(record.Name));
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
// user never declared, or of another type, learns it from the result and the log. A module
// repeats such a write every hour or minute, so the log names it once a day.
NHXResult THostVariableManager::Write(THostVariableCallRecord record, uint8_t typeCode) {
    const std::string call = CallName(record.Call);
    THostVariable* variable = Lookup(record.Name);
    if (!variable) {
        NoteOncePerDay(call + ": no variable named \"" + record.Name + "\"");
        record.Result = E_FAIL;
    } else if (variable->TypeCode != typeCode) {
        NoteOncePerDay(call + ": " + record.Name + " is a " + TypeName(variable->TypeCode) +
                       " variable");
        record.Result = E_FAIL;
    } else {
        // A module repeats its writes (a flag every hour): the log says what changed.
        if (variable->Value != record.Value) {
            Log->AddHostNote(NHX_LOG_NOTICE, "Variable " + record.Name + " := " + record.Value);
        }
        variable->Value = record.Value;
        variable->Updated = CurrentDateTime();
    }
    Record(record);
    if (NHXSucceeded(record.Result)) {
        AfterChange(variable);
    }
    return record.Result;
}

bool THostVariableManager::SetValue(const std::string& name, const std::string& value,
                                    const std::string& who) {
    THostVariable* variable = Lookup(name);
    if (!variable) {
        return false;
    }
    if (variable->Value == value) {
        return true;
    }
    variable->Value = value;
    variable->Updated = CurrentDateTime();
    Log->AddHostNote(NHX_LOG_NOTICE, "Variable " + name + " := " + value + " (by " + who + ")");
    AfterChange(variable);
    return true;
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
    AfterChange(variable);
}

std::string THostVariableManager::NameProblem(const std::string& name) {
    if (name.empty()) {
        return "A variable needs a name";
    }
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) < ' ' || c == '\x7F'; })) {
        return "A variable name cannot hold a tab, a line break or another control character";
    }
    if (name.find_first_of("/+#") != std::string::npos) {
        return "A variable name cannot hold '/', '+' or '#': MQTT topics reserve them";
    }
    if (name.front() == ' ' || name.back() == ' ') {
        return "A variable name cannot begin or end with a blank";
    }
    return {};
}

std::string THostVariableManager::Declare(const std::string& name, uint8_t typeCode,
                                          const std::string& value) {
    if (std::string problem = NameProblem(name); !problem.empty()) {
        return problem;
    }
    if (Lookup(name)) {
        return "A variable named \"" + name + "\" exists already";
    }
    std::string stored = value;
    if (typeCode == NHX_VAR_BOOLEAN) {
        const std::optional<bool> flag = ParseBoolean(value);
        if (!flag) {
            return "A boolean variable is true or false, not \"" + value + "\"";
        }
        stored = BooleanText(*flag);
    }
    PreCreate(name, typeCode, stored);
    Log->AddHostNote(NHX_LOG_NOTICE,
                     "Variable declared: " + name + " (" + TypeName(typeCode) + ") := " + stored);
    return {};
}

void THostVariableManager::UseFile(std::string path) {
    DumpFile = std::move(path);
    if (!DumpFile.empty()) {
        ReadFile();
    }
    WriteDump();
}

std::string THostVariableManager::ParseLine(const std::string& line, THostVariable& out) const {
    const std::vector<std::string> fields = SplitTabs(line);
    if (fields.size() != 3) {
        return "not name<TAB>type<TAB>value";
    }
    out.Name = UnescapeDumpField(fields[0]);
    out.Value = UnescapeDumpField(fields[2]);
    const std::optional<uint8_t> type = ParseType(fields[1]);
    if (!type.has_value()) {
        return "unknown type \"" + fields[1] + "\" (0 or boolean, 3 or string)";
    }
    out.TypeCode = type.value();
    if (Lookup(out.Name)) {
        return "\"" + out.Name + "\" is declared twice";
    }
    if (out.Name.empty()) {
        return "a variable needs a name";
    }
    if (out.TypeCode == NHX_VAR_BOOLEAN) {
        const std::optional<bool> flag = ParseBoolean(out.Value);
        if (!flag.has_value()) {
            return "a boolean is true or false";
        }
        out.Value = BooleanText(flag.value());
    }
    return {};
}

void THostVariableManager::ReadFile() {
    const QString path = QString::fromStdString(DumpFile);
    const QFileInfo info(path);
    if (info.isDir()) {
        throw EVariablesFileError("the variables file " + DumpFile + " is a directory");
    }
    if (!info.exists()) {
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw EVariablesFileError("cannot read the variables file " + DumpFile + ": " +
                                  file.errorString().toStdString());
    }
    int number = 0;
    while (!file.atEnd()) {
        std::string line = file.readLine().toStdString();
        ++number;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        if (line.empty() || line.front() == '#') {
            Layout.push_back(TFileLine{line, {}, false});
            continue;
        }
        THostVariable variable;
        const std::string problem = ParseLine(line, variable);
        if (!problem.empty()) {
            Log->AddHostNote(NHX_LOG_ERROR, "Variables file " + DumpFile + ", line " +
                                                std::to_string(number) +
                                                " skipped (kept in the file): " + problem);
            // Kept as it was, with the reason above it (once, however often it is read).
            const std::string why = UnreadableLineComment + problem;
            if (Layout.empty() || Layout.back().Raw != why) {
                Layout.push_back(TFileLine{why, {}, false});
            }
            Layout.push_back(TFileLine{line, {}, false});
            continue;
        }
        variable.Updated = CurrentDateTime();
        Layout.push_back(TFileLine{{}, variable.Name, true});
        Items.push_back(std::move(variable));
    }
    Log->AddHostNote(NHX_LOG_NOTICE,
                     std::to_string(Items.size()) + " variables read from " + DumpFile);
}

void THostVariableManager::AfterChange(const THostVariable* changed) {
    WriteDump();
    // The listeners run inside a module's call: what they raise is logged and goes no further,
    // since an exception must not cross the binary interface. The write itself has happened.
    auto guarded = [this](const std::function<void()>& listener) {
        try {
            listener();
        } catch (const std::exception& error) {
            Log->AddHostNote(NHX_LOG_ERROR,
                             std::string("A variable listener failed: ") + error.what());
        } catch (...) {
            Log->AddHostNote(NHX_LOG_ERROR, "A variable listener failed");
        }
    };
    if (changed && VariableChanged) {
        guarded([&] { VariableChanged(*changed); });
    }
    if (Changed) {
        guarded(Changed);
    }
}

void THostVariableManager::WriteDump() const {
    if (DumpFile.empty()) {
        return;
    }
    // A file that cannot be written is said once, and again when it can be.
    const auto failed = [this](const QSaveFile& file) {
        if (!WriteFailing) {
            WriteFailing = true;
            Log->AddHostNote(NHX_LOG_ERROR, "Cannot write the variables to " + DumpFile + ": " +
                                                file.errorString().toStdString() +
                                                " (said once until it works again)");
        }
    };
    // Written aside and renamed, so a reader never sees half a file; only its owner reads it
    // (and the host's group, when it runs under one of its own).
    QSaveFile file(QString::fromStdString(DumpFile));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        failed(file);
        return;
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                        (HostFileMode() & S_IRGRP ? QFileDevice::Permissions(QFileDevice::ReadGroup)
                                                  : QFileDevice::Permissions()));
    std::set<std::string> written;
    const auto writeVariable = [&](const THostVariable& v) {
        const std::string line = EscapeDumpField(v.Name) + '\t' + std::to_string(v.TypeCode) +
                                 '\t' + EscapeDumpField(v.Value) + '\n';
        file.write(line.data(), static_cast<qint64>(line.size()));
        written.insert(v.Name);
    };
    for (const TFileLine& line : Layout) {
        if (!line.IsVariable) {
            file.write(line.Raw.data(), static_cast<qint64>(line.Raw.size()));
            file.write("\n", 1);
        } else if (const THostVariable* v = Lookup(line.Variable); v && !written.count(v->Name)) {
            writeVariable(*v);
        }
    }
    for (const THostVariable& v : Items) {
        if (!written.count(v.Name)) {
            writeVariable(v);
        }
    }
    if (!file.commit()) {
        failed(file);
        return;
    }
    if (WriteFailing) {
        WriteFailing = false;
        Log->AddHostNote(NHX_LOG_NOTICE, "The variables are written to " + DumpFile + " again");
    }
}
