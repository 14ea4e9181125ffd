// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Bopatron authors
#include "world/json.h"

#include <charconv>
#include <cmath>

namespace bopatron::world {

// A recursive descent over the text; a failure anywhere makes the whole text null.
class JsonReader {
public:
    explicit JsonReader(std::string_view text) : text_(text) {}

    bool value(Json& out, int depth) {
        if (depth > 32) return false;  // answers are shallow; deeper is not one of them
        space();
        if (at_ >= text_.size()) return false;
        const char c = text_[at_];
        if (c == '{') return object(out, depth);
        if (c == '[') return array(out, depth);
        if (c == '"') {
            out.type_ = Json::Type::String;
            return string(out.text_);
        }
        if (word("true")) return out.type_ = Json::Type::Boolean, out.boolean_ = true, true;
        if (word("false")) return out.type_ = Json::Type::Boolean, out.boolean_ = false, true;
        if (word("null")) return out.type_ = Json::Type::Null, true;
        return number(out);
    }
    bool end() {
        space();
        return at_ == text_.size();
    }

private:
    void space() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\r' || text_[at_] == '\t'))
            ++at_;
    }
    bool word(std::string_view w) {
        if (text_.substr(at_, w.size()) != w) return false;
        at_ += w.size();
        return true;
    }
    bool object(Json& out, int depth) {
        out.type_ = Json::Type::Object;
        ++at_;
        space();
        if (word("}")) return true;
        for (;;) {
            space();
            std::string key;
            if (at_ >= text_.size() || text_[at_] != '"' || !string(key)) return false;
            space();
            if (!word(":")) return false;
            Json member;
            if (!value(member, depth + 1)) return false;
            out.members_[key] = std::move(member);
            space();
            if (word("}")) return true;
            if (!word(",")) return false;
        }
    }
    bool array(Json& out, int depth) {
        out.type_ = Json::Type::Array;
        ++at_;
        space();
        if (word("]")) return true;
        for (;;) {
            Json item;
            if (!value(item, depth + 1)) return false;
            out.items_.push_back(std::move(item));
            space();
            if (word("]")) return true;
            if (!word(",")) return false;
        }
    }
    static void utf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xc0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3f));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xe0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (code & 0x3f));
        } else {
            out += static_cast<char>(0xf0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3f));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (code & 0x3f));
        }
    }
    bool hex4(unsigned& code) {
        if (at_ + 4 > text_.size()) return false;
        const auto [end, ec] = std::from_chars(text_.data() + at_, text_.data() + at_ + 4, code, 16);
        if (ec != std::errc() || end != text_.data() + at_ + 4) return false;
        at_ += 4;
        return true;
    }
    bool string(std::string& out) {
        ++at_;  // the opening quote
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size()) return false;
            const char e = text_[at_++];
            switch (e) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case '/': out += '/'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    unsigned code = 0;
                    if (!hex4(code)) return false;
                    if (code >= 0xd800 && code < 0xdc00) {  // a surrogate pair
                        unsigned low = 0;
                        if (!word("\\u") || !hex4(low) || low < 0xdc00 || low >= 0xe000) return false;
                        code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
                    } else if (code >= 0xdc00 && code < 0xe000) {
                        return false;
                    }
                    utf8(out, code);
                    break;
                }
                default: return false;
            }
        }
        return false;
    }
    bool number(Json& out) {
        const std::size_t start = at_;
        if (at_ < text_.size() && text_[at_] == '-') ++at_;
        const auto digits = [&] {
            const std::size_t from = at_;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
            return at_ > from;
        };
        if (!digits()) return false;
        if (at_ < text_.size() && text_[at_] == '.' && (++at_, !digits())) return false;
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            ++at_;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
            if (!digits()) return false;
        }
        // By hand: strtod follows the locale's decimal point, and the browser's
        // library has no from_chars for doubles. The table's numbers are whole;
        // a fraction is read to within a rounding.
        double value = 0, scale = 1;
        int exponent = 0;
        bool fraction = false, negative = false;
        std::size_t i = start;
        if (text_[i] == '-') negative = true, ++i;
        for (; i < at_ && text_[i] != 'e' && text_[i] != 'E'; ++i) {
            if (text_[i] == '.') {
                fraction = true;
                continue;
            }
            value = value * 10 + (text_[i] - '0');
            if (fraction) scale *= 10;
        }
        if (i < at_) {
            int e = 0;
            const std::size_t from = i + 1 + (text_[i + 1] == '+' || text_[i + 1] == '-');
            std::from_chars(text_.data() + from, text_.data() + at_, e);
            exponent = text_[i + 1] == '-' ? -e : e;
        }
        out.type_ = Json::Type::Number;
        out.number_ = (negative ? -value : value) / scale * std::pow(10.0, exponent);
        return std::isfinite(out.number_);
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

Json Json::parse(std::string_view text) {
    JsonReader reader(text);
    Json out;
    if (!reader.value(out, 0) || !reader.end()) return Json{};
    return out;
}

const Json& Json::operator[](const std::string& key) const {
    static const Json none;
    if (type_ != Type::Object) return none;
    const auto found = members_.find(key);
    return found == members_.end() ? none : found->second;
}

const Json& Json::at(std::size_t i) const {
    static const Json none;
    return type_ == Type::Array && i < items_.size() ? items_[i] : none;
}

std::optional<long long> Json::integer() const {
    if (type_ != Type::Number || number_ != std::floor(number_) || std::fabs(number_) > 9.0e15) return std::nullopt;
    return static_cast<long long>(number_);
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            static constexpr char kDigits[] = "0123456789abcdef";
            out += "\\u00";
            out += kDigits[c >> 4];
            out += kDigits[c & 15];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace bopatron::world
