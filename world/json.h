// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#pragma once
// Reads the world table's answers: small JSON objects. Only what a client
// needs: objects, arrays, strings, numbers, true, false and null; anything
// malformed reads as null, never as half a value.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bopatron::world {

class Json {
public:
    enum class Type { Null, Boolean, Number, String, Array, Object };

    // The whole text as one value, or null when it is not JSON.
    static Json parse(std::string_view text);

    Type type() const { return type_; }
    bool isNumber() const { return type_ == Type::Number; }
    bool isString() const { return type_ == Type::String; }
    // A member of an object (null when there is none, or this is no object).
    const Json& operator[](const std::string& key) const;
    bool has(const std::string& key) const { return type_ == Type::Object && members_.count(key) > 0; }
    // An item of an array (null when there is none, or this is no array), and how many it holds.
    const Json& at(std::size_t i) const;
    std::size_t size() const { return items_.size(); }
    bool boolean() const { return type_ == Type::Boolean && boolean_; }
    double number() const { return type_ == Type::Number ? number_ : 0; }
    // A whole number within long long, or nullopt.
    std::optional<long long> integer() const;
    const std::string& text() const { return text_; }

private:
    friend class JsonReader;
    Type type_ = Type::Null;
    bool boolean_ = false;
    double number_ = 0;
    std::string text_;
    std::map<std::string, Json> members_;
    std::vector<Json> items_;
};

// Text as a JSON string, quoted and escaped.
std::string jsonString(std::string_view text);

}  // namespace bopatron::world
