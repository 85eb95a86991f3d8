// Output for scripts that read vpihost: one JSON object on one line, CSV fields.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vpihost {

// A JSON string literal. Driver log lines may quote line garbage, so bytes
// that are not valid UTF-8 are written as \u00XX (read as Latin-1).
std::string JsonQuote(const std::string& text);

class JsonObject {
public:
    JsonObject& Str(const char* key, const std::string& value);
    JsonObject& Int(const char* key, int64_t value);
    JsonObject& Num(const char* key, double value);  // null when not finite
    JsonObject& Bool(const char* key, bool value);
    JsonObject& Null(const char* key);
    JsonObject& Strings(const char* key, const std::vector<std::string>& values);
    JsonObject& Ints(const char* key, const std::vector<int64_t>& values);
    JsonObject& Raw(const char* key, const std::string& json);  // an object or array made elsewhere
    std::string Text() const { return "{" + body_ + "}"; }
    const std::string& Members() const { return body_; }  // the members without braces

private:
    JsonObject& Add(const char* key, const std::string& json);
    std::string body_;
};

// Up to ten significant digits; null for values that are not finite.
std::string JsonNumber(double value);

// A CSV field: as it stands, or in double quotes when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& text);

}  // namespace vpihost
