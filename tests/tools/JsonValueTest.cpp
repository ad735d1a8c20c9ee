#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "JsonValue.h"
#include "MondrelError.h"

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

TEST(JsonValue, TextWrittenAsItGoesEqualsTheTreesText) {
    // Quotes, a backslash, control characters, UTF-8, a Latin-1 byte and a cut-off sequence.
    static constexpr char Bytes[] = "q\"b\\s/\b\f\n\r\t\x01\x1F\x7F Caf\xC3\xA9 M\xE4rz \xE2\x82";
    const std::string tricky(Bytes, sizeof Bytes - 1);
    TJsonValue tree = TJsonValue::Object();
    tree.Set("text", tricky)
        .Set("rows", TJsonValue::Array()
                         .Append(TJsonValue::Object().Set("id", int64_t{-7}).Set("done", true))
                         .Append(TJsonValue::Array())
                         .Append(nullptr))
        .Set("empty", TJsonValue::Object());
    TJsonText text;
    text.BeginObject().Key("text").Value(tricky).Key("rows").BeginArray();
    text.BeginObject().Key("id").Value(int64_t{-7}).Key("done").Value(true).EndObject();
    text.BeginArray().EndArray().Value(nullptr).EndArray();
    text.Key("empty").BeginObject().EndObject().EndObject();
    EXPECT_EQ(text.Text(), tree.CompactText());
    EXPECT_THROW(TJsonText().BeginArray().Key("id"), EMondrelError);
}

}  // namespace
