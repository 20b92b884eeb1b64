#pragma once
// JSON as the tool prints it, without Qt: a value tree and one writer that lays it out as
// QJsonDocument::toJson(Indented) does (keys in order, four blanks a level, a line end after
// the last brace), so that the command line and the web build print the same bytes.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace store {

class TJson {
  public:
    using TArray = std::vector<TJson>;
    using TObject = std::map<std::string, TJson>; // keys in order, as QJsonObject keeps them

    TJson() = default; // null
    TJson(bool value) : value_(value) {}
    TJson(std::int64_t value) : value_(value) {}
    TJson(std::string utf8) : value_(std::move(utf8)) {}
    TJson(const char* utf8) : value_(std::string(utf8)) {}
    TJson(TArray array) : value_(std::move(array)) {}
    TJson(TObject object) : value_(std::move(object)) {}

    bool IsNull() const { return std::holds_alternative<std::monostate>(value_); }
    template <typename T> const T* As() const { return std::get_if<T>(&value_); }

  private:
    std::variant<std::monostate, bool, std::int64_t, std::string, TArray, TObject> value_;
};

// The value as an indented document; texts are UTF-8 (a byte that is not is written as
// U+FFFD).
std::string IndentedText(const TJson& value);

} // namespace store
