#include "HostInstanceSettings.h"

#include <exception>
#include <optional>

#include "NHXPtr.h"

void KeepInstanceSettings(THostSettings& settings, THostLog& log, uint16_t number,
                          INHXModule& module, const std::string& defaultPath) {
    const auto mondrel = NHXQuery<INHXMondrel>(&module, IID_INHXMondrel);
    if (!mondrel) {
        return;
    }
    TNHXMondrelSettings current{};
    if (NHXFailed(mondrel->GetSettings(&current))) {
        return;
    }
    const std::string database = TNHXTextRef::Adopt(current.Database).Str();
    const std::optional<std::string> stored = settings.Value(number, {"Settings"}, "Database");
    if (database == stored.value_or(defaultPath)) {
        return;
    }
    const std::string where = "instance #" + std::to_string(number);
    try {
        settings.SetValue(number, {"Settings"}, "Database", database);
        log.AddHostNote(NHX_LOG_NOTICE, "The database of " + where + " is now " + database);
    } catch (const std::exception& error) {
        log.AddHostNote(NHX_LOG_ERROR,
                        "The database of " + where + " could not be kept: " + error.what());
    }
}
