// The host's settings store: an INI file read and written through QSettings. A value is addressed
// by instance number, section path and key; in the file it is the key
// "Instance<number>/<section>/.../<key>", so the instance's number is the INI section and the
// section path and key follow with backslashes (QSettings' form):
//   [Instance7]
//   Settings\Database=/home/me/Mondrel.sdb
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "HostLog.h"
#include "NHXHostObjects.h"

class THostSettings final : public TNHXSettingsObject {
  public:
    THostSettings(std::shared_ptr<THostLog> log, std::string iniFile);

    // ---- INHXSettings ----
    // Fails (E_FAIL) when the file holds no value there; an empty stored value answers S_OK and
    // the empty text.
    NHXResult NHXCALL ReadString(uint16_t instance, NHXTextArray section, NHXText key,
                                 NHXText* out) override;

    // ---- For the host and tests ----
    const std::string& File() const { return IniFile; }
    // The numbers of the instances the file holds settings for, ascending.
    // Sections named like an instance whose number is not one (above 65535, not a number).
    std::vector<std::string> UnusableInstanceSections() const;
    std::vector<uint16_t> Instances() const;
    void SetValue(uint16_t instance, const std::vector<std::string>& section,
                  const std::string& key, const std::string& value);
    void RemoveValue(uint16_t instance, const std::vector<std::string>& section,
                     const std::string& key);
    std::optional<std::string> Value(uint16_t instance, const std::vector<std::string>& section,
                                     const std::string& key) const;
    // The QSettings key of a value; empty when a part cannot be stored (empty, or holding '/',
    // '\\' or a zero byte), so no caller can reach a value outside its own instance and section.
    static std::string SettingsKey(uint16_t instance, const std::vector<std::string>& section,
                                   const std::string& key);

  protected:
    bool AnswersInterface(const GUID& iid) const override;

  private:
    std::shared_ptr<THostLog> Log;
    std::string IniFile;
};
