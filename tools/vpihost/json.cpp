// A minimal JSON writer (objects of scalars and flat arrays are all vpihost
// prints) and CSV fields.
#include "vpihost/json.h"

#include <cmath>
#include <cstdio>

namespace vpihost {
namespace {

// Length of the valid UTF-8 sequence at text[i], or 0.
size_t Utf8Length(const std::string& text, size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
    return length;
}

void AppendEscape(std::string& out, unsigned code) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\u%04x", code);
    out += hex;
}

}  // namespace

std::string JsonQuote(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += static_cast<char>(byte);
        } else if (byte == '\n') {
            out += "\\n";
        } else if (byte == '\r') {
            out += "\\r";
        } else if (byte == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            AppendEscape(out, byte);
        } else if (byte < 0x80) {
            out += static_cast<char>(byte);
        } else if (const size_t length = Utf8Length(text, i); length != 0) {
            out.append(text, i, length);
            i += length - 1;
        } else {
            AppendEscape(out, byte);
        }
    }
    return out + "\"";
}

std::string JsonNumber(double value) {
    if (!std::isfinite(value)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

JsonObject& JsonObject::Add(const char* key, const std::string& json) {
    if (!body_.empty()) body_ += ',';
    body_ += JsonQuote(key) + ":" + json;
    return *this;
}

JsonObject& JsonObject::Str(const char* key, const std::string& value) {
    return Add(key, JsonQuote(value));
}
JsonObject& JsonObject::Int(const char* key, int64_t value) {
    return Add(key, std::to_string(value));
}
JsonObject& JsonObject::Num(const char* key, double value) {
    return Add(key, JsonNumber(value));
}
JsonObject& JsonObject::Bool(const char* key, bool value) {
    return Add(key, value ? "true" : "false");
}
JsonObject& JsonObject::Null(const char* key) {
    return Add(key, "null");
}
JsonObject& JsonObject::Raw(const char* key, const std::string& json) {
    return Add(key, json);
}

JsonObject& JsonObject::Strings(const char* key, const std::vector<std::string>& values) {
    std::string array = "[";
    for (size_t i = 0; i < values.size(); ++i) array += (i ? "," : "") + JsonQuote(values[i]);
    return Add(key, array + "]");
}

JsonObject& JsonObject::Ints(const char* key, const std::vector<int64_t>& values) {
    std::string array = "[";
    for (size_t i = 0; i < values.size(); ++i) array += (i ? "," : "") + std::to_string(values[i]);
    return Add(key, array + "]");
}

}  // namespace vpihost
