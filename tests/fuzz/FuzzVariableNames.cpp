// The names of a variables array as the instance reads them, against a host that claims any
// count for an array of any real length, with any bytes in the names. The input is the claimed
// count (four bytes), the real length (one byte), then per variable one length byte and that
// many name bytes; length 255 stands for a null name.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzTarget.h"
#include "HostVariableNames.h"
#include "NHXPtr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) {
        return 0;
    }
    int32_t claimed = 0;
    std::memcpy(&claimed, data, sizeof claimed);
    uint32_t length = data[4];
    size_t at = 5;
    TNHXVariablesRef variables = TNHXVariablesRef::Adopt(NHXVariablesNew(length));
    std::vector<std::string> expected;
    for (uint32_t i = 0; i < length; ++i) {
        size_t nameLength = at < size ? data[at++] : 0;
        std::string name;
        if (nameLength != 255) {
            nameLength = std::min(nameLength, size - at);
            name.assign(reinterpret_cast<const char*>(data + at), nameLength);
            at += nameLength;
            variables[i].Name = name.empty() ? nullptr : NHXTextNew(name.data(), name.size());
        }
        expected.push_back(name);
    }
    std::vector<std::string> names = ReadVariableNames(variables.Get(), claimed);
    size_t readable = claimed < 0 ? 0 : std::min<size_t>(static_cast<uint32_t>(claimed), length);
    expected.resize(readable);
    FUZZ_EXPECT(names == expected);
    return 0;
}
