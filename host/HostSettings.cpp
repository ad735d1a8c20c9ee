#include "HostSettings.h"

#include <QSettings>
#include <QStringList>
#include <algorithm>
#include <stdexcept>

#include "NHXPtr.h"

namespace {

QString ToQString(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::vector<std::string> SectionParts(NHXTextArray section) {
    std::vector<std::string> parts;
    const uint32_t count = NHXBufferLength(section);
    for (uint32_t i = 0; i < count; ++i) {
        parts.push_back(NHXTextToString(section[i]));
    }
    return parts;
}

bool IsStorablePart(const std::string& part) {
    return !part.empty() && part.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

}  // namespace

THostSettings::THostSettings(std::shared_ptr<THostLog> log, std::string iniFile)
    : Log(std::move(log)), IniFile(std::move(iniFile)) {}

bool THostSettings::AnswersInterface(const GUID& iid) const {
    return iid == IID_INHXSettings || iid == IID_INHXMessageSink || iid == IID_IUnknown;
}

std::string THostSettings::SettingsKey(uint16_t instance, const std::vector<std::string>& section,
                                       const std::string& key) {
    std::string result = "Instance" + std::to_string(instance);
    for (const std::string& part : section) {
        if (!IsStorablePart(part)) {
            return {};
        }
        result += '/' + part;
    }
    if (!IsStorablePart(key)) {
        return {};
    }
    return result + '/' + key;
}

std::optional<std::string> THostSettings::Value(uint16_t instance,
                                                const std::vector<std::string>& section,
                                                const std::string& key) const {
    const std::string name = SettingsKey(instance, section, key);
    if (name.empty()) {
        return std::nullopt;
    }
    QSettings settings(ToQString(IniFile), QSettings::IniFormat);
    if (settings.status() == QSettings::FormatError) {
        Log->AddHostNote(NHX_LOG_ERROR, "The settings file " + IniFile + " cannot be read");
        return std::nullopt;
    }
    const QVariant value = settings.value(ToQString(name));
    if (!value.isValid()) {
        return std::nullopt;
    }
    // An unquoted value with commas reads as a list; it was meant as one text.
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList().join(',').toStdString();
    }
    return value.toString().toStdString();
}

std::vector<uint16_t> THostSettings::Instances() const {
    std::vector<uint16_t> numbers;
    QSettings settings(ToQString(IniFile), QSettings::IniFormat);
    for (const QString& group : settings.childGroups()) {
        bool isNumber = false;
        const uint number =
            group.startsWith(QLatin1String("Instance")) ? group.mid(8).toUInt(&isNumber) : 0;
        if (isNumber && number <= 0xFFFF) {
            numbers.push_back(static_cast<uint16_t>(number));
        }
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

std::vector<std::string> THostSettings::UnusableInstanceSections() const {
    std::vector<std::string> sections;
    QSettings settings(ToQString(IniFile), QSettings::IniFormat);
    for (const QString& group : settings.childGroups()) {
        bool isNumber = false;
        const uint number =
            group.startsWith(QLatin1String("Instance")) ? group.mid(8).toUInt(&isNumber) : 0;
        if (group.startsWith(QLatin1String("Instance")) && (!isNumber || number > 0xFFFF)) {
            sections.push_back(group.toStdString());
        }
    }
    return sections;
}

void THostSettings::SetValue(uint16_t instance, const std::vector<std::string>& section,
                             const std::string& key, const std::string& value) {
    const std::string name = SettingsKey(instance, section, key);
    if (name.empty()) {
        throw std::invalid_argument("A settings section or key is empty or holds '/' or '\\'");
    }
    QSettings settings(ToQString(IniFile), QSettings::IniFormat);
    settings.setValue(ToQString(name), ToQString(value));
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        throw std::runtime_error("Cannot write the settings file " + IniFile);
    }
}

void THostSettings::RemoveValue(uint16_t instance, const std::vector<std::string>& section,
                                const std::string& key) {
    const std::string name = SettingsKey(instance, section, key);
    if (name.empty()) {
        return;
    }
    QSettings settings(ToQString(IniFile), QSettings::IniFormat);
    settings.remove(ToQString(name));
    settings.sync();
}

NHXResult NHXCALL THostSettings::ReadString(uint16_t instance, NHXTextArray section, NHXText key,
                                            NHXText* out) {
    if (!out) {
        return E_FAIL;
    }
    const std::optional<std::string> value =
        Value(instance, SectionParts(section), NHXTextToString(key));
    if (!value) {
        return E_FAIL;
    }
    *out = TNHXTextRef(*value).Detach();
    return S_OK;
}
