// The host's JSON: reading an object whose members are all strings (a run's parameters, as the
// history file keeps them and as an MQTT "run" command sends them), members in the order the text
// gives them, and writing the strings of what the host publishes and prints. The JSON library
// stays behind this file pair.
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

// Appends `text` as a JSON string for others to read (MQTT messages, --show-history --json):
// bytes that are not UTF-8 (a script's binary output, a description from a Windows code page)
// become U+FFFD, so the text stays valid JSON.
void AppendJsonText(std::string& out, const std::string& text);
// The same for an object of strings, members in the given order.
void AppendJsonTextObject(std::string& out, const THostStringPairs& members);
