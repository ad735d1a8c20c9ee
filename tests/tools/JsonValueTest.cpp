#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "JsonValue.h"

namespace {

TEST(JsonValue, KeepsKeyOrderAndEveryByteOfATextAsValidJson) {
    TJsonValue row = TJsonValue::Object();
    row.Set("ID", int64_t{9007199254740993})
        .Set("Description", std::string("Caf\xC3\xA9 \"\n\x01", 9))
        .Set("Legacy", "M\xE4rz")  // a Windows-1252 byte, no UTF-8
        .Set("Done", false)
        .Set("Script", nullptr);
    std::string text = TJsonValue::Array().Append(row).Text();

    nlohmann::ordered_json parsed = nlohmann::ordered_json::parse(text);
    const auto& back = parsed.at(0);
    EXPECT_EQ(back.at("ID").get<int64_t>(), 9007199254740993);
    EXPECT_EQ(back.at("Description").get<std::string>(), std::string("Caf\xC3\xA9 \"\n\x01", 9));
    EXPECT_EQ(back.at("Legacy").get<std::string>(), "M\xC3\xA4rz");
    EXPECT_TRUE(back.at("Script").is_null());
    EXPECT_EQ(back.begin().key(), "ID");
    EXPECT_EQ(text.back(), '\n');
}

}  // namespace
