// JSON to and from property lists.
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tools/formats/PListTextFormats.h"
#include "tools/formats/TextFormatSupport.h"

namespace plisttext {

std::string Base64(const UInt8* bytes, size_t length) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((length + 2) / 3 * 4);
    for (size_t i = 0; i < length; i += 3) {
        uint32_t group = static_cast<uint32_t>(bytes[i]) << 16;
        if (i + 1 < length) group |= static_cast<uint32_t>(bytes[i + 1]) << 8;
        if (i + 2 < length) group |= bytes[i + 2];
        out.push_back(kAlphabet[group >> 18]);
        out.push_back(kAlphabet[(group >> 12) & 63]);
        out.push_back(i + 1 < length ? kAlphabet[(group >> 6) & 63] : '=');
        out.push_back(i + 2 < length ? kAlphabet[group & 63] : '=');
    }
    return out;
}

namespace {

constexpr int kMaxDepth = 512;  // as the platform's readers

class JSONWriter {
public:
    JSONWriter(bool strict, std::string& out) : mStrict(strict), mOut(out) {}
    bool Write(CFTypeRef value, int level);
    std::string mPath;
    std::string mWhat;

private:
    void Indent(int level) {
        mOut.push_back('\n');
        mOut.append(static_cast<size_t>(2 * level), ' ');
    }
    bool Fail(std::string what) {
        mWhat = std::move(what);
        return false;
    }
    bool WriteString(CFStringRef string);
    void WriteQuoted(std::string_view ascii);
    bool WriteArray(CFArrayRef array, int level);
    bool WriteDictionary(CFDictionaryRef dictionary, int level);

    bool mStrict;
    std::string& mOut;
    ContainerVisits mVisits;
};

bool JSONWriter::Write(CFTypeRef value, int level) {
    const CFTypeID type = CFGetTypeID(value);
    if (type == CFStringGetTypeID()) return WriteString(static_cast<CFStringRef>(value));
    if (type == CFBooleanGetTypeID()) {
        mOut += value == kCFBooleanTrue ? "true" : "false";
        return true;
    }
    if (type == CFNumberGetTypeID()) {
        std::string text = NumberText(static_cast<CFNumberRef>(value));
        if (text == "nan" || text == "inf" || text == "-inf")
            return Fail("a real " + text + ", which has no JSON form");
        mOut += text;
        return true;
    }
    if (type == CFDateGetTypeID()) {
        if (mStrict) return Fail("a date, refused by --strict");
        std::string text = DateText(static_cast<CFDateRef>(value));
        if (text.empty()) return Fail("a date too far from the present to write");
        WriteQuoted(text);
        return true;
    }
    if (type == CFDataGetTypeID()) {
        if (mStrict) return Fail("data, refused by --strict");
        CFDataRef data = static_cast<CFDataRef>(value);
        WriteQuoted(Base64(CFDataGetBytePtr(data), static_cast<size_t>(CFDataGetLength(data))));
        return true;
    }
    if (type == CFArrayGetTypeID() || type == CFDictionaryGetTypeID()) {
        if (level >= kMaxDepth) return Fail("nested deeper than 512 levels");
        if (!mVisits.Enter(value))
            return Fail("a container repeated more than 1536 times, which the writers refuse");
        return type == CFArrayGetTypeID()
                   ? WriteArray(static_cast<CFArrayRef>(value), level)
                   : WriteDictionary(static_cast<CFDictionaryRef>(value), level);
    }
    return Fail("a value of no property-list type (such as null)");
}

void JSONWriter::WriteQuoted(std::string_view ascii) {
    mOut.push_back('"');
    mOut += ascii;
    mOut.push_back('"');
}

// Escapes what JSON requires (quote, backslash, controls); an unpaired surrogate as its \u
// escape, so that the units survive; everything else as UTF-8.
bool JSONWriter::WriteString(CFStringRef string) {
    std::u16string scratch;
    std::u16string_view units = Units(string, scratch);
    mOut.push_back('"');
    for (size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        static const char kHex[] = "0123456789abcdef";
        auto escapeUnit = [&](char16_t unit) {
            mOut += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4) mOut.push_back(kHex[(unit >> shift) & 15]);
        };
        if (u == '"' || u == '\\') {
            mOut.push_back('\\');
            mOut.push_back(static_cast<char>(u));
        } else if (u < 0x20) {
            const char* named = u == '\n' ? "\\n" : u == '\t' ? "\\t" : u == '\r' ? "\\r" : nullptr;
            if (named)
                mOut += named;
            else
                escapeUnit(u);
        } else if (u < 0x80) {
            mOut.push_back(static_cast<char>(u));
        } else if (u >= 0xD800 && u < 0xE000) {
            const bool paired = u < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
                                units[i + 1] < 0xE000;
            if (!paired) {
                escapeUnit(u);
                continue;
            }
            AppendUTF8(units.substr(i, 2), mOut);
            ++i;
        } else {
            AppendUTF8(units.substr(i, 1), mOut);
        }
    }
    mOut.push_back('"');
    return true;
}

bool JSONWriter::WriteArray(CFArrayRef array, int level) {
    const CFIndex count = CFArrayGetCount(array);
    if (count == 0) {
        mOut += "[]";
        return true;
    }
    mOut.push_back('[');
    for (CFIndex i = 0; i < count; ++i) {
        if (i) mOut.push_back(',');
        Indent(level + 1);
        if (!Write(CFArrayGetValueAtIndex(array, i), level + 1)) {
            PrependSegment(mPath, std::to_string(i));
            return false;
        }
    }
    Indent(level);
    mOut.push_back(']');
    return true;
}

bool JSONWriter::WriteDictionary(CFDictionaryRef dictionary, int level) {
    std::vector<std::pair<CFTypeRef, CFTypeRef>> pairs;
    if (!SortedPairs(dictionary, pairs))
        return Fail("a dictionary with a key that is not a string");
    if (pairs.empty()) {
        mOut += "{}";
        return true;
    }
    mOut.push_back('{');
    for (size_t i = 0; i < pairs.size(); ++i) {
        if (i) mOut.push_back(',');
        Indent(level + 1);
        WriteString(static_cast<CFStringRef>(pairs[i].first));
        mOut += ": ";
        if (!Write(pairs[i].second, level + 1)) {
            std::string key;
            std::u16string scratch;
            if (!AppendUTF8(Units(static_cast<CFStringRef>(pairs[i].first), scratch), key))
                key.assign(1, '?');
            PrependSegment(mPath, key);
            return false;
        }
    }
    Indent(level);
    mOut.push_back('}');
    return true;
}

}  // namespace

bool WriteJSON(CFPropertyListRef plist, bool strict, std::string& out, std::string& error,
               bool scalarAtTop, std::string_view at) {
    out.clear();
    JSONWriter writer(strict, out);
    if (!writer.Write(plist, 0)) {
        error = Where(at, writer.mPath) + " is " + writer.mWhat;
        out.clear();
        return false;
    }
    // convert reads JSON only as an object or an array (a lone scalar is old-style text), so
    // anything else at the top would not read back.
    const CFTypeID top = CFGetTypeID(plist);
    if (!scalarAtTop && top != CFArrayGetTypeID() && top != CFDictionaryGetTypeID()) {
        error =
            Where(at, "") + " is not an array or a dictionary, which JSON output needs at the top";
        out.clear();
        return false;
    }
    out.push_back('\n');
    return true;
}

std::string DateText(CFDateRef date) {
    // The XML writer's own text, so that the two can never disagree.
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(kCFAllocatorDefault, date));
    if (!xml) return {};
    std::string_view text(reinterpret_cast<const char*>(CFDataGetBytePtr(xml.Get())),
                          static_cast<size_t>(CFDataGetLength(xml.Get())));
    const size_t open = text.find("<date>");
    const size_t close = text.find("</date>");
    if (open == std::string_view::npos || close == std::string_view::npos) return {};
    return std::string(text.substr(open + 6, close - open - 6));
}

}  // namespace plisttext
