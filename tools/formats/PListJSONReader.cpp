// JSON text into a property list: a recursive-descent reader over UTF-8 bytes that builds CF
// objects as it goes and says on which line it stopped.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/formats/PListTextFormats.h"

namespace plisttext {
namespace {

constexpr int kMaxDepth = 512;  // as the platform's readers

class JSONReader {
public:
    // `anyValue`: one value of any kind, errors placed by column (a value on a command line).
    JSONReader(std::string_view text, bool anyValue)
        : mCur(text.data()), mEnd(text.data() + text.size()), mAnyValue(anyValue) {
        mBegin = mCur;
        if (text.substr(0, 3) == "\xEF\xBB\xBF") mCur += 3;
    }
    bool Read(CFRef<CFPropertyListRef>& out, std::string& error);

private:
    std::string Where() const;
    CFTypeRef Value(int depth);  // +1 or NULL
    CFTypeRef Object(int depth);
    CFTypeRef Array(int depth);
    CFTypeRef Number();
    // +1 number the XML reader makes of the text from `start` to here inside <element>.
    CFTypeRef ThroughXMLReader(const char* element, const char* start);
    bool String(std::u16string& units);
    bool Escape(std::u16string& units);
    bool Literal(std::string_view word);
    void SkipSpace() {
        while (mCur < mEnd && (*mCur == ' ' || *mCur == '\t' || *mCur == '\n' || *mCur == '\r'))
            ++mCur;
    }
    bool At(char c) const { return mCur < mEnd && *mCur == c; }
    std::nullptr_t Fail(std::string what) {
        if (mError.empty()) mError = std::move(what);
        return nullptr;
    }
    std::string Found() const {
        if (mCur >= mEnd) return "the end";
        const unsigned char c = static_cast<unsigned char>(*mCur);
        if (c >= 0x20 && c < 0x7F) return std::string("'") + *mCur + "'";
        char text[8];
        std::snprintf(text, sizeof text, "0x%02X", c);
        return text;
    }

    const char* mBegin;
    const char* mCur;
    const char* mEnd;
    bool mAnyValue;
    std::string mError;
};

bool JSONReader::Read(CFRef<CFPropertyListRef>& out, std::string& error) {
    SkipSpace();
    if (mAnyValue && mCur == mEnd) {
        Fail("no value");
    } else if (!mAnyValue && !At('{') && !At('[')) {
        Fail("expected a JSON object or array, found " + Found());
    } else {
        out.Reset(Value(0));
        SkipSpace();
        if (out && mCur < mEnd) {
            out.Reset();
            Fail("unexpected " + Found() + " after the top value");
        }
    }
    if (out) return true;
    error = mError + Where();
    return false;
}

// " on line 3" in a file; " at column 4" (" on line 2, column 4") in a value.
std::string JSONReader::Where() const {
    size_t line = 1;
    const char* lineStart = mBegin;
    for (const char* p = mBegin; p < mCur && p < mEnd; ++p)
        if (*p == '\n') {
            ++line;
            lineStart = p + 1;
        }
    if (!mAnyValue) return " on line " + std::to_string(line);
    size_t characters = 1;  // UTF-8 continuation bytes start no character
    for (const char* p = lineStart; p < mCur && p < mEnd; ++p)
        characters += (static_cast<unsigned char>(*p) & 0xC0) != 0x80;
    const std::string column = "column " + std::to_string(characters);
    return line == 1 ? " at " + column : " on line " + std::to_string(line) + ", " + column;
}

CFTypeRef JSONReader::Value(int depth) {
    SkipSpace();
    if (mCur >= mEnd) return Fail("unexpected end of the JSON text");
    switch (*mCur) {
        case '{':
            return Object(depth + 1);
        case '[':
            return Array(depth + 1);
        case '"': {
            std::u16string units;
            if (!String(units)) return nullptr;
            return CFStringCreateWithCharacters(kCFAllocatorDefault,
                                                reinterpret_cast<const UniChar*>(units.data()),
                                                static_cast<CFIndex>(units.size()));
        }
        case 't':
            return Literal("true") ? CFRetain(kCFBooleanTrue) : nullptr;
        case 'f':
            return Literal("false") ? CFRetain(kCFBooleanFalse) : nullptr;
        case 'n':
            return Fail("null has no property-list form");
        default:
            if (*mCur == '-' || (*mCur >= '0' && *mCur <= '9')) return Number();
            return Fail("unexpected " + Found());
    }
}

bool JSONReader::Literal(std::string_view word) {
    if (static_cast<size_t>(mEnd - mCur) < word.size() ||
        std::string_view(mCur, word.size()) != word)
        return Fail("unexpected " + Found()), false;
    mCur += word.size();
    return true;
}

CFTypeRef JSONReader::Object(int depth) {
    if (depth > kMaxDepth) return Fail("nested deeper than 512 levels");
    ++mCur;
    CFRef<CFMutableDictionaryRef> dictionary(CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    SkipSpace();
    if (At('}')) {
        ++mCur;
        return dictionary.Detach();
    }
    for (;;) {
        SkipSpace();
        if (!At('"')) return Fail("expected a string key, found " + Found());
        std::u16string units;
        if (!String(units)) return nullptr;
        CFRef<CFStringRef> key(CFStringCreateWithCharacters(
            kCFAllocatorDefault, reinterpret_cast<const UniChar*>(units.data()),
            static_cast<CFIndex>(units.size())));
        SkipSpace();
        if (!At(':')) return Fail("expected ':' after a key, found " + Found());
        ++mCur;
        CFRef<CFTypeRef> value(Value(depth));
        if (!value || !key) return Fail("out of memory");
        CFDictionarySetValue(dictionary.Get(), key.Get(), value.Get());  // the last one wins
        SkipSpace();
        if (At(',')) {
            ++mCur;
            continue;
        }
        if (At('}')) {
            ++mCur;
            return dictionary.Detach();
        }
        return Fail("expected ',' or '}', found " + Found());
    }
}

CFTypeRef JSONReader::Array(int depth) {
    if (depth > kMaxDepth) return Fail("nested deeper than 512 levels");
    ++mCur;
    CFRef<CFMutableArrayRef> array(
        CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks));
    SkipSpace();
    if (At(']')) {
        ++mCur;
        return array.Detach();
    }
    for (;;) {
        CFRef<CFTypeRef> value(Value(depth));
        if (!value) return Fail("out of memory");
        CFArrayAppendValue(array.Get(), value.Get());
        SkipSpace();
        if (At(',')) {
            ++mCur;
            continue;
        }
        if (At(']')) {
            ++mCur;
            return array.Detach();
        }
        return Fail("expected ',' or ']', found " + Found());
    }
}

// JSON's number grammar exactly; integers stay integers within the 64-bit ranges.
CFTypeRef JSONReader::Number() {
    const char* start = mCur;
    auto digits = [this] {
        const char* from = mCur;
        while (mCur < mEnd && *mCur >= '0' && *mCur <= '9') ++mCur;
        return mCur > from;
    };
    bool negative = At('-');
    if (negative) ++mCur;
    if (At('0')) {
        ++mCur;
    } else if (!digits()) {
        return Fail("a number without digits");
    }
    bool integral = true;
    if (At('.')) {
        ++mCur;
        integral = false;
        if (!digits()) return Fail("a number without digits after '.'");
    }
    if (At('e') || At('E')) {
        ++mCur;
        integral = false;
        if (At('+') || At('-')) ++mCur;
        if (!digits()) return Fail("a number without digits in its exponent");
    }
    if (integral) {
        int64_t value = 0;
        if (std::from_chars(start, mCur, value).ec == std::errc())
            return CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt64Type, &value);
        uint64_t big = 0;
        if (negative || std::from_chars(start, mCur, big).ec != std::errc()) {
            mCur = start;
            return Fail("an integer outside the 64-bit range");
        }
        // The public calls make no unsigned number; the XML reader keeps one whole.
        return ThroughXMLReader("integer", start);
    }
    double value = 0;
    auto [end, ec] = std::from_chars(start, mCur, value);
    // Beyond the double range: what the XML reader makes of the same text (0 or an infinity
    // with the sign), so that the two readers never disagree.
    if (ec == std::errc::result_out_of_range) return ThroughXMLReader("real", start);
    return CFNumberCreate(kCFAllocatorDefault, kCFNumberFloat64Type, &value);
}

CFTypeRef JSONReader::ThroughXMLReader(const char* element, const char* start) {
    const std::string xml =
        std::string("<") + element + ">" + std::string(start, mCur) + "</" + element + ">";
    CFRef<CFDataRef> data(CFDataCreate(kCFAllocatorDefault,
                                       reinterpret_cast<const UInt8*>(xml.data()),
                                       static_cast<CFIndex>(xml.size())));
    return CFPropertyListCreateFromXMLData(kCFAllocatorDefault, data.Get(),
                                           kCFPropertyListImmutable, nullptr);
}

// A string into UTF-16 units: escapes decoded (a \u surrogate pair joined, a lone one kept as
// its unit), UTF-8 checked, raw control characters refused as JSON demands.
bool JSONReader::String(std::u16string& units) {
    ++mCur;
    while (mCur < mEnd && *mCur != '"') {
        const auto c = static_cast<unsigned char>(*mCur);
        if (c == '\\') {
            if (!Escape(units)) return false;
            continue;
        }
        if (c < 0x20) return Fail("a control character inside a string"), false;
        if (c < 0x80) {
            units.push_back(c);
            ++mCur;
            continue;
        }
        const int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        if (length == 0 || mEnd - mCur < length || c > 0xF4)
            return Fail("text that is not UTF-8"), false;
        char32_t code = c & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(mCur[k]);
            if ((next & 0xC0) != 0x80) return Fail("text that is not UTF-8"), false;
            code = code << 6 | (next & 0x3F);
        }
        const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < minimum[length] || code > 0x10FFFF) return Fail("text that is not UTF-8"), false;
        if (code >= 0xD800 && code < 0xE000)
            return Fail("an unpaired surrogate, which UTF-8 cannot hold"), false;
        if (code >= 0x10000) {
            units.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(code));
        }
        mCur += length;
    }
    if (mCur >= mEnd) return Fail("an unterminated string"), false;
    ++mCur;
    return true;
}

bool JSONReader::Escape(std::u16string& units) {
    ++mCur;
    if (mCur >= mEnd) return Fail("an unterminated string"), false;
    const char c = *mCur++;
    static constexpr char kSimple[] = "\"\"\\\\//b\bf\fn\nr\rt\t";
    for (size_t i = 0; i + 1 < sizeof kSimple; i += 2) {
        if (c == kSimple[i]) {
            units.push_back(static_cast<char16_t>(kSimple[i + 1]));
            return true;
        }
    }
    if (c != 'u') {
        --mCur;
        return Fail("an unknown escape \\" + Found().substr(1, 1)), false;
    }
    if (mEnd - mCur < 4) return Fail("a \\u escape without four hex digits"), false;
    unsigned unit = 0;
    auto [end, ec] = std::from_chars(mCur, mCur + 4, unit, 16);
    if (ec != std::errc() || end != mCur + 4)
        return Fail("a \\u escape without four hex digits"), false;
    mCur += 4;
    units.push_back(static_cast<char16_t>(unit));  // a pair is two escapes in a row
    return true;
}

}  // namespace

bool ReadJSON(std::string_view text, CFRef<CFPropertyListRef>& out, std::string& error) {
    JSONReader reader(text, false);
    return reader.Read(out, error);
}

bool ReadJSONValue(std::string_view text, CFRef<CFPropertyListRef>& out, std::string& error) {
    JSONReader reader(text, true);
    return reader.Read(out, error);
}

}  // namespace plisttext
