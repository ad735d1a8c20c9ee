// What the host keeps of a calendar instance when its page closes and when the host stops: the
// database path the user chose in the page (the module itself never writes settings).
#pragma once

#include <cstdint>
#include <string>

#include "HostLog.h"
#include "HostSettings.h"
#include "UNHXTypes.h"

// Asks the instance for its settings (GetSettings of INHXMondrel) and writes a database path
// that differs from the one the settings hold (or, without one, from `defaultPath`, where the
// instance looks then) under "Settings/Database", so the next start uses it. A module that
// has no INHXMondrel is left alone; a file that cannot be written is logged.
void KeepInstanceSettings(THostSettings& settings, THostLog& log, uint16_t number,
                          INHXModule& module, const std::string& defaultPath);
