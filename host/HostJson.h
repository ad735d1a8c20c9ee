// The host's reading of JSON: an object whose members are all strings (a run's parameters, as the
// history file keeps them and as an MQTT "run" command sends them), members in the order the text
// gives them. The JSON library stays behind this file pair.
#pragma once

#include <string>
#include <utility>
#include <vector>

using THostStringPairs = std::vector<std::pair<std::string, std::string>>;

// The members of `json` in their order. Answers false, with `problem` saying why ("not a JSON
// object", "parameter NAME is not a string"), for any other text; `members` is then empty.
bool ReadStringObject(const std::string& json, THostStringPairs& members, std::string& problem);

// The same for a text that may hold bytes that are not UTF-8 inside its strings (the history
// writes parameters byte for byte: a description from a file written under a Windows code page
// holds such bytes), which a strict JSON reader refuses: those bytes come back as they were.
bool ReadByteStringObject(const std::string& json, THostStringPairs& members, std::string& problem);
