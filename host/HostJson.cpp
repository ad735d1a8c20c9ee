#include "HostJson.h"

#include <nlohmann/json.hpp>

#include "Utf8.h"

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

namespace {

// A reader of just what a flat object of strings needs; every byte that is no escape or quote
// is kept as it is.
class TByteObjectReader {
  public:
    explicit TByteObjectReader(const std::string& text) : Text(text) {}

    bool Read(THostStringPairs& members) {
        if (!Expect('{')) {
            return false;
        }
        if (Peek() == '}') {
            ++At;
            return End();
        }
        for (;;) {
            std::string name;
            std::string value;
            if (!String(name) || !Expect(':') || !String(value)) {
                return false;
            }
            members.emplace_back(std::move(name), std::move(value));
            if (Peek() == ',') {
                ++At;
                continue;
            }
            return Expect('}') && End();
        }
    }

  private:
    char Peek() {
        while (At < Text.size() &&
               (Text[At] == ' ' || Text[At] == '\t' || Text[At] == '\n' || Text[At] == '\r')) {
            ++At;
        }
        return At < Text.size() ? Text[At] : '\0';
    }
    bool Expect(char c) {
        if (Peek() != c) {
            return false;
        }
        ++At;
        return true;
    }
    bool End() { return Peek() == '\0' && At == Text.size(); }
    bool Hex4(unsigned& code) {
        if (At + 4 > Text.size()) {
            return false;
        }
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = Text[At++];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0) {
                return false;
            }
            code = code * 16 + static_cast<unsigned>(digit);
        }
        return true;
    }
    bool String(std::string& out) {
        if (!Expect('"')) {
            return false;
        }
        while (At < Text.size()) {
            const char c = Text[At++];
            if (c == '"') {
                return true;
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (At >= Text.size()) {
                return false;
            }
            const char e = Text[At++];
            const std::string simple = "\"\\/bfnrt";
            const std::string meant = "\"\\/\b\f\n\r\t";
            if (const size_t k = simple.find(e); k != std::string::npos) {
                out += meant[k];
            } else if (e == 'u') {
                unsigned code = 0;
                if (!Hex4(code)) {
                    return false;
                }
                if (code >= 0xD800 && code < 0xDC00 && Text.compare(At, 2, "\\u") == 0) {
                    At += 2;
                    unsigned low = 0;
                    if (!Hex4(low) || low < 0xDC00 || low > 0xDFFF) {
                        return false;
                    }
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                }
                AppendUtf8(out, code);
            } else {
                return false;
            }
        }
        return false;
    }

    const std::string& Text;
    size_t At = 0;
};

}  // namespace

bool ReadByteStringObject(const std::string& json, THostStringPairs& members,
                          std::string& problem) {
    if (ReadStringObject(json, members, problem)) {
        return true;
    }
    THostStringPairs read;
    if (TByteObjectReader(json).Read(read)) {
        members = std::move(read);
        return true;
    }
    return false;
}

void AppendJsonText(std::string& out, const std::string& text) {
    out += nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void AppendJsonTextObject(std::string& out, const THostStringPairs& members) {
    out += '{';
    for (size_t i = 0; i < members.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        AppendJsonText(out, members[i].first);
        out += ':';
        AppendJsonText(out, members[i].second);
    }
    out += '}';
}
