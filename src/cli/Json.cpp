#include "cli/Json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace veltro::cli {

namespace {

template <typename T> std::string Shortest(T value)
{
    if (!std::isfinite(value))
        return "null";
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : "null";
}

}  // namespace

std::string JsonString(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;  // UTF-8 passes through as it is
            }
        }
    }
    return out + "\"";
}

std::string JsonNumber(double value)
{
    return Shortest(value);
}

std::string JsonNumber(float value)
{
    return Shortest(value);
}

JsonObject& JsonObject::Raw(std::string_view key, const std::string& json)
{
    if (!body_.empty())
        body_ += ',';
    body_ += JsonString(key) + ":" + json;
    return *this;
}

JsonObject& JsonObject::Set(std::string_view key, std::nullptr_t) { return Raw(key, "null"); }
JsonObject& JsonObject::Set(std::string_view key, bool value) { return Raw(key, value ? "true" : "false"); }
JsonObject& JsonObject::Set(std::string_view key, long long value) { return Raw(key, std::to_string(value)); }
JsonObject& JsonObject::Set(std::string_view key, double value) { return Raw(key, JsonNumber(value)); }
JsonObject& JsonObject::Set(std::string_view key, float value) { return Raw(key, JsonNumber(value)); }
JsonObject& JsonObject::Set(std::string_view key, std::string_view value) { return Raw(key, JsonString(value)); }
JsonObject& JsonObject::Set(std::string_view key, const QString& value)
{
    return Raw(key, JsonString(value.toStdString()));
}
JsonObject& JsonObject::Set(std::string_view key, const JsonObject& value) { return Raw(key, value.Text()); }
JsonObject& JsonObject::Set(std::string_view key, const JsonArray& value) { return Raw(key, value.Text()); }

JsonArray& JsonArray::Raw(const std::string& json)
{
    if (!body_.empty())
        body_ += ',';
    body_ += json;
    return *this;
}

JsonArray& JsonArray::Add(std::nullptr_t) { return Raw("null"); }
JsonArray& JsonArray::Add(double value) { return Raw(JsonNumber(value)); }
JsonArray& JsonArray::Add(float value) { return Raw(JsonNumber(value)); }
JsonArray& JsonArray::Add(const std::string& value) { return Raw(JsonString(value)); }
JsonArray& JsonArray::Add(const JsonObject& value) { return Raw(value.Text()); }

}  // namespace veltro::cli
