#include "HostVariableNames.h"

#include <algorithm>

#include "NHXPtr.h"

std::vector<std::string> ReadVariableNames(TNHXVariables Variables, int32_t ClaimedCount) {
    uint32_t claimed = ClaimedCount < 0 ? 0 : static_cast<uint32_t>(ClaimedCount);
    uint32_t usable = std::min(claimed, NHXVariablesCount(Variables));
    std::vector<std::string> names;
    names.reserve(usable);
    for (uint32_t i = 0; i < usable; ++i) {
        names.push_back(NHXTextToString(Variables[i].Name));
    }
    return names;
}
