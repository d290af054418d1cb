#pragma once
// The JSON that --json prints: one object per result, keys in the order they are set (so
// a line reads the same every time), numbers in their shortest exact form whatever the
// locale, a number that is not finite as null.

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veltro::cli {

class JsonArray;

class JsonObject {
public:
    JsonObject& Set(std::string_view key, std::nullptr_t);
    JsonObject& Set(std::string_view key, bool value);
    JsonObject& Set(std::string_view key, int value) { return Set(key, static_cast<long long>(value)); }
    JsonObject& Set(std::string_view key, uint32_t value) { return Set(key, static_cast<long long>(value)); }
    JsonObject& Set(std::string_view key, long long value);
    JsonObject& Set(std::string_view key, double value);
    JsonObject& Set(std::string_view key, float value);
    JsonObject& Set(std::string_view key, const char* value) { return Set(key, std::string_view(value)); }
    JsonObject& Set(std::string_view key, const std::string& value) { return Set(key, std::string_view(value)); }
    JsonObject& Set(std::string_view key, std::string_view value);
    JsonObject& Set(std::string_view key, const QString& value);
    JsonObject& Set(std::string_view key, const JsonObject& value);
    JsonObject& Set(std::string_view key, const JsonArray& value);
    // null when absent.
    template <typename T> JsonObject& Set(std::string_view key, const std::optional<T>& value)
    {
        return value ? Set(key, *value) : Set(key, nullptr);
    }

    std::string Text() const { return "{" + body_ + "}"; }

private:
    JsonObject& Raw(std::string_view key, const std::string& json);
    std::string body_;
};

class JsonArray {
public:
    JsonArray& Add(std::nullptr_t);
    JsonArray& Add(double value);
    JsonArray& Add(float value);
    JsonArray& Add(const std::string& value);
    JsonArray& Add(const JsonObject& value);

    std::string Text() const { return "[" + body_ + "]"; }

private:
    JsonArray& Raw(const std::string& json);
    std::string body_;
};

// A JSON string with its quotes, control characters escaped.
std::string JsonString(std::string_view text);
std::string JsonNumber(double value);
std::string JsonNumber(float value);

}  // namespace veltro::cli
