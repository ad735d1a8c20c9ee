#include "ScriptName.h"

#include <algorithm>

bool IsBlankScript(const std::string& Script) {
    return std::all_of(Script.begin(), Script.end(), [](char c) {
        auto code = static_cast<unsigned char>(c);
        return code <= ' ' || code == 0x7F;
    });
}
