#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ictalscope {

// A JSON value as the provenance files hold them: objects keep their members in order.
struct JsonValue {
  enum class Type { kNull, kBool, kNumber, kString, kArray, kObject };
  Type type = Type::kNull;
  bool boolean = false;
  double number = 0;
  std::string text;  // a string's characters (UTF-8)
  std::vector<JsonValue> items;
  std::vector<std::pair<std::string, JsonValue>> members;

  // The member `key` of an object; nullptr when this is no object or has no such member.
  const JsonValue* Find(std::string_view key) const;
  // The member's text, number or flag, or `fallback` when it is missing or of another type.
  std::string StringOr(std::string_view key, const std::string& fallback = "") const;
  double NumberOr(std::string_view key, double fallback) const;
  bool BoolOr(std::string_view key, bool fallback) const;
};

// Parses one JSON text (RFC 8259), blanks around it allowed; nullopt when it is not one.
std::optional<JsonValue> ParseJson(std::string_view text);

// `text` as a JSON string, quotes included. Valid UTF-8 is written as it is; any other byte is
// taken as a Latin-1 character and escaped, so that the result is always valid JSON.
std::string JsonQuoted(std::string_view text);

// A number as JSON: integers exactly, other values with the fewest digits that read back the
// same; NaN and infinities as null.
std::string JsonNumber(double x);

// Writes JSON text with one member or item a line, indented by two blanks a level.
class JsonWriter {
 public:
  void BeginObject();
  void EndObject();
  void BeginArray();
  void EndArray();
  void Key(std::string_view key);  // then exactly one value
  void String(std::string_view text);
  void Number(double x);
  void Integer(long long n);
  void Bool(bool b);
  void Null();
  // Short objects and arrays on one line: members and items of what opens next stay on its
  // line until it closes.
  void Inline() { inline_next_ = true; }

  const std::string& text() const { return out_; }

 private:
  void BeforeValue();
  void Open(char bracket);
  void Close(char bracket);

  struct Level {
    bool first = true;
    bool inline_level = false;
  };
  std::string out_;
  std::vector<Level> levels_;
  bool after_key_ = false;
  bool inline_next_ = false;
};

}  // namespace ictalscope
