#include "HostJson.h"

#include <nlohmann/json.hpp>

bool ReadStringObject(const std::string& json, THostStringPairs& members, std::string& problem) {
    members.clear();
    // ordered_json keeps the members in the order of the text (json sorts them by name).
    const nlohmann::ordered_json document = nlohmann::ordered_json::parse(json, nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        problem = "not a JSON object";
        return false;
    }
    for (const auto& [name, value] : document.items()) {
        if (!value.is_string()) {
            problem = "parameter " + name + " is not a string";
            members.clear();
            return false;
        }
        members.emplace_back(name, value.get<std::string>());
    }
    return true;
}
