#include "support/TypedJSON.h"

namespace testjson {
namespace {

class Parser {
public:
    explicit Parser(std::string_view text) : mText(text) {}

    bool Document(Value& out, std::string& error) {
        if (!ParseValue(out, 0) || (SkipSpace(), mPos != mText.size())) {
            error = "JSON error at byte " + std::to_string(mPos);
            return false;
        }
        return true;
    }

private:
    void SkipSpace() {
        while (mPos < mText.size() && (mText[mPos] == ' ' || mText[mPos] == '\n' ||
                                       mText[mPos] == '\r' || mText[mPos] == '\t'))
            ++mPos;
    }
    bool Eat(char c) {
        SkipSpace();
        if (mPos < mText.size() && mText[mPos] == c) {
            ++mPos;
            return true;
        }
        return false;
    }
    bool Literal(std::string_view word) {
        if (mText.substr(mPos, word.size()) != word) return false;
        mPos += word.size();
        return true;
    }

    bool ParseValue(Value& out, int depth) {
        if (depth > 1000) return false;
        SkipSpace();
        if (mPos >= mText.size()) return false;
        char c = mText[mPos];
        if (c == '{') return ParseObject(out, depth);
        if (c == '[') return ParseArray(out, depth);
        if (c == '"') {
            out.kind = Value::kString;
            return ParseString(out.string);
        }
        if (Literal("true") || Literal("false")) {
            out.kind = Value::kBool;
            out.boolean = mText[mPos - 1] == 'e' && mText[mPos - 2] == 'u';
            return true;
        }
        if (Literal("null")) return true;
        size_t start = mPos;
        while (mPos < mText.size() &&
               std::string_view("+-.0123456789eE").find(mText[mPos]) != std::string_view::npos)
            ++mPos;
        out.kind = Value::kNumber;
        out.number = std::string(mText.substr(start, mPos - start));
        return mPos > start;
    }

    bool ParseObject(Value& out, int depth) {
        out.kind = Value::kObject;
        ++mPos;
        if (Eat('}')) return true;
        do {
            std::u16string name;
            SkipSpace();
            if (mPos >= mText.size() || mText[mPos] != '"' || !ParseString(name) || !Eat(':'))
                return false;
            Value nameValue;
            nameValue.string = std::move(name);
            out.object.emplace_back(nameValue.Utf8(), Value{});
            if (!ParseValue(out.object.back().second, depth + 1)) return false;
        } while (Eat(','));
        return Eat('}');
    }

    bool ParseArray(Value& out, int depth) {
        out.kind = Value::kArray;
        ++mPos;
        if (Eat(']')) return true;
        do {
            out.array.emplace_back();
            if (!ParseValue(out.array.back(), depth + 1)) return false;
        } while (Eat(','));
        return Eat(']');
    }

    bool Hex4(char16_t& unit) {
        if (mPos + 4 > mText.size()) return false;
        unsigned v = 0;
        for (int i = 0; i < 4; ++i) {
            char c = mText[mPos++];
            v <<= 4;
            if (c >= '0' && c <= '9')
                v |= unsigned(c - '0');
            else if (c >= 'a' && c <= 'f')
                v |= unsigned(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                v |= unsigned(c - 'A' + 10);
            else
                return false;
        }
        unit = static_cast<char16_t>(v);
        return true;
    }

    // UTF-8 of the JSON text to UTF-16 units; escapes give units as written.
    bool ParseString(std::u16string& out) {
        ++mPos;
        while (mPos < mText.size()) {
            unsigned char c = static_cast<unsigned char>(mText[mPos]);
            if (c == '"') {
                ++mPos;
                return true;
            }
            if (c == '\\') {
                if (++mPos >= mText.size()) return false;
                char e = mText[mPos++];
                char16_t unit = 0;
                switch (e) {
                    case 'n':
                        unit = u'\n';
                        break;
                    case 't':
                        unit = u'\t';
                        break;
                    case 'r':
                        unit = u'\r';
                        break;
                    case 'b':
                        unit = u'\b';
                        break;
                    case 'f':
                        unit = u'\f';
                        break;
                    case 'u':
                        if (!Hex4(unit)) return false;
                        break;
                    default:
                        unit = static_cast<char16_t>(e);
                }
                out.push_back(unit);
                continue;
            }
            int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
            char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
            ++mPos;
            for (int i = 0; i < extra; ++i) {
                if (mPos >= mText.size()) return false;
                cp = (cp << 6) | (static_cast<unsigned char>(mText[mPos++]) & 0x3F);
            }
            if (cp >= 0x10000) {
                cp -= 0x10000;
                out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
                out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
            } else {
                out.push_back(static_cast<char16_t>(cp));
            }
        }
        return false;
    }

    std::string_view mText;
    size_t mPos = 0;
};

void AppendUtf8(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

Value::Value() = default;
Value::Value(const Value&) = default;
Value::Value(Value&&) noexcept = default;
Value& Value::operator=(const Value&) = default;
Value& Value::operator=(Value&&) noexcept = default;
Value::~Value() = default;

std::string Value::Utf8() const {
    std::string out;
    for (size_t i = 0; i < string.size(); ++i) {
        char32_t u = string[i];
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < string.size() && string[i + 1] >= 0xDC00 &&
            string[i + 1] < 0xE000) {
            u = 0x10000 + ((u - 0xD800) << 10) + (string[++i] - 0xDC00);
        } else if (u >= 0xD800 && u < 0xE000) {
            u = 0xFFFD;
        }
        AppendUtf8(u, out);
    }
    return out;
}

bool Parse(std::string_view text, Value& out, std::string& error) {
    return Parser(text).Document(out, error);
}

}  // namespace testjson
