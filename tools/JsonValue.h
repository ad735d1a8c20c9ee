// The JSON documents mondrel-db prints for `--json`: a value built as a tree (objects keep their
// keys in the order they were set) and written as one document. The JSON library stays behind
// this file pair.
//
//     TJsonValue flag = TJsonValue::Object();
//     flag.Set("ID", int64_t{3}).Set("Caption", "Vacation").Set("Fixed", false);
//     TJsonValue::Array().Append(flag).Write(Streams.Out);
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

class TJsonValue {
  public:
    static TJsonValue Object();
    static TJsonValue Array();

    // Texts are byte strings. Valid UTF-8 is written as it is; any other byte is taken as the
    // Latin-1 character of that code (files written under Windows code pages hold such bytes),
    // so every value reaches the document and the document stays valid JSON.
    TJsonValue(const std::string& Text);
    TJsonValue(const char* Text);
    TJsonValue(int64_t Number);
    TJsonValue(int32_t Number);
    TJsonValue(bool Flag);
    TJsonValue(std::nullptr_t);

    TJsonValue(const TJsonValue& Other);
    TJsonValue& operator=(const TJsonValue& Other);
    TJsonValue(TJsonValue&& Other) noexcept;
    TJsonValue& operator=(TJsonValue&& Other) noexcept;
    ~TJsonValue();

    // Sets a member of an object (replacing one of the same key); answers the object.
    TJsonValue& Set(const std::string& Key, TJsonValue Value);
    // Adds an element at the end of an array; answers the array.
    TJsonValue& Append(TJsonValue Value);

    // The document, indented two spaces, then a line break.
    void Write(std::ostream& Out) const;
    std::string Text() const;
    // The document on one line, for answers sent over the network.
    std::string CompactText() const;

    // Reading a document (a request's body, a command's `--json` output). Parse raises
    // EMondrelError "not valid JSON: ..." for a text that is none.
    static TJsonValue Parse(const std::string& Text);
    bool IsObject() const;
    bool IsText() const;
    bool IsNumber() const;  // a whole number
    bool IsBool() const;
    bool IsNull() const;
    // A member of an object; false when it is no object or lacks the key.
    bool Has(const std::string& Key) const;
    // The member (null when absent) and the value's contents; the latter raise EMondrelError
    // for a value of another kind.
    TJsonValue Get(const std::string& Key) const;
    std::string AsText() const;
    int64_t AsNumber() const;
    bool AsBool() const;

  private:
    struct TImpl;
    explicit TJsonValue(std::unique_ptr<TImpl> Impl);
    std::unique_ptr<TImpl> FImpl;
};

// A compact document written as it is built, for answers too large to build as a tree first
// (a month of appointments): the same text CompactText writes for the same values, texts
// treated the same way (valid UTF-8 as it is, any other byte as its Latin-1 character).
//
//     TJsonText out;
//     out.BeginObject().Key("id").Value(int64_t{3}).Key("tags").BeginArray().EndArray();
//     out.EndObject();  // out.Text(): {"id":3,"tags":[]}
class TJsonText {
  public:
    TJsonText& BeginObject();
    TJsonText& EndObject();
    TJsonText& BeginArray();
    TJsonText& EndArray();
    // A member's key inside an object; its value follows.
    TJsonText& Key(const std::string& Name);
    TJsonText& Value(const std::string& Text);
    TJsonText& Value(const char* Text);
    TJsonText& Value(int64_t Number);
    TJsonText& Value(bool Flag);
    TJsonText& Value(std::nullptr_t);
    const std::string& Text() const { return FText; }

  private:
    // Before a value or a key: the comma after an earlier one at the same level.
    void Separate();
    std::string FText;
    std::string FOpen;    // the open objects and arrays, innermost last: '{' or '['
    bool FFirst = true;   // nothing written yet at the innermost level
    bool FKeyed = false;  // a key was written, its value comes next
};
