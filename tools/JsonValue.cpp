#include "JsonValue.h"

#include <nlohmann/json.hpp>
#include <ostream>

#include "MondrelError.h"

namespace {

// The length of the valid UTF-8 sequence at text[at], or 0 when none starts there (overlong
// forms, surrogates and code points beyond U+10FFFF included).
size_t Utf8SequenceAt(const std::string& text, size_t at) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    if (lead < 0x80) {
        return 1;
    }
    size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    if (length == 0 || at + length > text.size()) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
    }
    unsigned char second = byte(at + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F)) {
        return 0;
    }
    return length;
}

std::string ValidUtf8(const std::string& text) {
    // Most texts are valid already: checked first, they are copied whole.
    size_t at = 0;
    while (at < text.size()) {
        size_t length = Utf8SequenceAt(text, at);
        if (length == 0) {
            break;
        }
        at += length;
    }
    if (at == text.size()) {
        return text;
    }
    std::string result;
    result.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        size_t length = Utf8SequenceAt(text, at);
        if (length > 0) {
            result.append(text, at, length);
            at += length;
            continue;
        }
        unsigned char c = static_cast<unsigned char>(text[at++]);
        result += static_cast<char>(0xC0 | (c >> 6));
        result += static_cast<char>(0x80 | (c & 0x3F));
    }
    return result;
}

}  // namespace

struct TJsonValue::TImpl {
    nlohmann::ordered_json Value;
};

TJsonValue::TJsonValue(std::unique_ptr<TImpl> Impl) : FImpl(std::move(Impl)) {}

TJsonValue TJsonValue::Object() {
    auto impl = std::make_unique<TImpl>(TImpl{nlohmann::ordered_json::object()});
    // The members live in a vector whose elements have a const key, so growing it copies every
    // member, nested arrays and objects included, instead of moving them: room for a record's
    // fields up front keeps an object from ever growing in most documents.
    impl->Value.get_ref<nlohmann::ordered_json::object_t&>().reserve(8);
    return TJsonValue(std::move(impl));
}

TJsonValue TJsonValue::Array() {
    return TJsonValue(std::make_unique<TImpl>(TImpl{nlohmann::ordered_json::array()}));
}

TJsonValue::TJsonValue(const std::string& Text)
    : FImpl(std::make_unique<TImpl>(TImpl{ValidUtf8(Text)})) {}
TJsonValue::TJsonValue(const char* Text) : TJsonValue(std::string(Text)) {}
TJsonValue::TJsonValue(int64_t Number) : FImpl(std::make_unique<TImpl>(TImpl{Number})) {}
TJsonValue::TJsonValue(int32_t Number) : FImpl(std::make_unique<TImpl>(TImpl{Number})) {}
TJsonValue::TJsonValue(bool Flag) : FImpl(std::make_unique<TImpl>(TImpl{Flag})) {}
TJsonValue::TJsonValue(std::nullptr_t) : FImpl(std::make_unique<TImpl>()) {}

TJsonValue::TJsonValue(const TJsonValue& Other) : FImpl(std::make_unique<TImpl>(*Other.FImpl)) {}
TJsonValue& TJsonValue::operator=(const TJsonValue& Other) {
    if (this != &Other) {
        FImpl = std::make_unique<TImpl>(*Other.FImpl);
    }
    return *this;
}
TJsonValue::TJsonValue(TJsonValue&& Other) noexcept = default;
TJsonValue& TJsonValue::operator=(TJsonValue&& Other) noexcept = default;
TJsonValue::~TJsonValue() = default;

TJsonValue& TJsonValue::Set(const std::string& Key, TJsonValue Value) {
    if (!FImpl->Value.is_object()) {
        throw EMondrelError("JSON: a member set on a value that is no object");
    }
    FImpl->Value[ValidUtf8(Key)] = std::move(Value.FImpl->Value);
    return *this;
}

TJsonValue& TJsonValue::Append(TJsonValue Value) {
    if (!FImpl->Value.is_array()) {
        throw EMondrelError("JSON: an element appended to a value that is no array");
    }
    FImpl->Value.push_back(std::move(Value.FImpl->Value));
    return *this;
}

std::string TJsonValue::Text() const {
    return FImpl->Value.dump(2) + "\n";
}

void TJsonValue::Write(std::ostream& Out) const {
    Out << Text();
}

std::string TJsonValue::CompactText() const {
    return FImpl->Value.dump();
}

TJsonValue TJsonValue::Parse(const std::string& Text) {
    try {
        return TJsonValue(std::make_unique<TImpl>(TImpl{nlohmann::ordered_json::parse(Text)}));
    } catch (const nlohmann::json::exception& error) {
        throw EMondrelError(std::string("not valid JSON: ") + error.what());
    }
}

bool TJsonValue::IsObject() const {
    return FImpl->Value.is_object();
}
bool TJsonValue::IsText() const {
    return FImpl->Value.is_string();
}
bool TJsonValue::IsNumber() const {
    return FImpl->Value.is_number_integer();
}
bool TJsonValue::IsBool() const {
    return FImpl->Value.is_boolean();
}
bool TJsonValue::IsNull() const {
    return FImpl->Value.is_null();
}

bool TJsonValue::Has(const std::string& Key) const {
    return FImpl->Value.is_object() && FImpl->Value.contains(Key);
}

TJsonValue TJsonValue::Get(const std::string& Key) const {
    if (!Has(Key)) {
        return TJsonValue(nullptr);
    }
    return TJsonValue(std::make_unique<TImpl>(TImpl{FImpl->Value.at(Key)}));
}

std::string TJsonValue::AsText() const {
    if (!IsText()) {
        throw EMondrelError("JSON: a text was expected");
    }
    return FImpl->Value.get<std::string>();
}

int64_t TJsonValue::AsNumber() const {
    if (!IsNumber()) {
        throw EMondrelError("JSON: a whole number was expected");
    }
    return FImpl->Value.get<int64_t>();
}

bool TJsonValue::AsBool() const {
    if (!IsBool()) {
        throw EMondrelError("JSON: true or false was expected");
    }
    return FImpl->Value.get<bool>();
}

void TJsonText::Separate() {
    if (FKeyed) {
        FKeyed = false;
        return;
    }
    if (!FFirst) {
        FText += ',';
    }
    FFirst = false;
}

TJsonText& TJsonText::BeginObject() {
    Separate();
    FText += '{';
    FOpen += '{';
    FFirst = true;
    return *this;
}

TJsonText& TJsonText::EndObject() {
    if (FOpen.empty() || FOpen.back() != '{' || FKeyed) {
        throw EMondrelError("JSON: an object ended that is not open");
    }
    FOpen.pop_back();
    FText += '}';
    FFirst = false;
    return *this;
}

TJsonText& TJsonText::BeginArray() {
    Separate();
    FText += '[';
    FOpen += '[';
    FFirst = true;
    return *this;
}

TJsonText& TJsonText::EndArray() {
    if (FOpen.empty() || FOpen.back() != '[') {
        throw EMondrelError("JSON: an array ended that is not open");
    }
    FOpen.pop_back();
    FText += ']';
    FFirst = false;
    return *this;
}

TJsonText& TJsonText::Key(const std::string& Name) {
    if (FOpen.empty() || FOpen.back() != '{' || FKeyed) {
        throw EMondrelError("JSON: a key outside an object");
    }
    Value(Name);
    FText += ':';
    FKeyed = true;
    return *this;
}

TJsonText& TJsonText::Value(const std::string& Text) {
    Separate();
    // As the library writes texts: quotes, backslashes and control characters escaped, all
    // else as it is, bytes that are no UTF-8 as ValidUtf8 turns them. Plain runs are copied
    // whole.
    static constexpr char Hex[] = "0123456789abcdef";
    FText += '"';
    size_t run = 0, at = 0;
    while (at < Text.size()) {
        const auto c = static_cast<unsigned char>(Text[at]);
        if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
            ++at;
            continue;
        }
        FText.append(Text, run, at - run);
        if (c >= 0x80) {
            if (size_t length = Utf8SequenceAt(Text, at); length > 0) {
                FText.append(Text, at, length);
                at += length;
            } else {
                FText += static_cast<char>(0xC0 | (c >> 6));
                FText += static_cast<char>(0x80 | (c & 0x3F));
                ++at;
            }
        } else {
            switch (c) {
                case '"':
                    FText += "\\\"";
                    break;
                case '\\':
                    FText += "\\\\";
                    break;
                case '\b':
                    FText += "\\b";
                    break;
                case '\f':
                    FText += "\\f";
                    break;
                case '\n':
                    FText += "\\n";
                    break;
                case '\r':
                    FText += "\\r";
                    break;
                case '\t':
                    FText += "\\t";
                    break;
                default:
                    FText += "\\u00";
                    FText += Hex[c >> 4];
                    FText += Hex[c & 0xF];
            }
            ++at;
        }
        run = at;
    }
    FText.append(Text, run, at - run);
    FText += '"';
    return *this;
}

TJsonText& TJsonText::Value(const char* Text) {
    return Value(std::string(Text));
}

TJsonText& TJsonText::Value(int64_t Number) {
    Separate();
    FText += std::to_string(Number);
    return *this;
}

TJsonText& TJsonText::Value(bool Flag) {
    Separate();
    FText += Flag ? "true" : "false";
    return *this;
}

TJsonText& TJsonText::Value(std::nullptr_t) {
    Separate();
    FText += "null";
    return *this;
}
