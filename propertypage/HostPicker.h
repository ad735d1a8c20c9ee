// The host's variable and script pickers, reached through a temporary instance of the host's
// selector module.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "UNHXTypes.h"

using TSelectorCall = std::function<NHXResult(INHXSelector& selector, NHXText* chosen)>;

// Creates a selector instance, asks it, deletes it again. Answers the chosen text when every
// step succeeded and a choice was made; nothing otherwise.
std::optional<std::string> PickFromHost(INHXInstanceControl* control, const TSelectorCall& select);

std::optional<std::string> PickScript(INHXInstanceControl* control);
// Type set 1, as the flag setup asks for it.
std::optional<std::string> PickVariable(INHXInstanceControl* control);
