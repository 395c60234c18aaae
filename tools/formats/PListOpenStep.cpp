// Old-style (OpenStep) text output, in the form the platform's old-style reader takes back.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/formats/PListTextFormats.h"
#include "tools/formats/TextFormatSupport.h"

namespace plisttext {
namespace {

constexpr int kMaxDepth = 512;  // as the platform's readers

// Characters an unquoted string may hold. '/' is left out: "//" and "/*" open comments.
bool IsUnquoted(char16_t u) {
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' ||
           u == '$' || u == ':' || u == '.' || u == '-';
}

class OpenStepWriter {
public:
    OpenStepWriter(std::string& out, const OpenStepStyle& style) : mOut(out), mStyle(style) {}
    bool Write(CFTypeRef value, int level);
    std::string mPath;
    std::string mWhat;

private:
    bool Fail(std::string what) {
        mWhat = std::move(what);
        return false;
    }
    void Indent(int level) { mOut.append(static_cast<size_t>(level), '\t'); }
    bool WriteString(std::u16string_view units);
    void WriteData(CFDataRef data);
    bool WriteArray(CFArrayRef array, int level);
    bool WriteDictionary(CFDictionaryRef dictionary, int level);

    std::string& mOut;
    OpenStepStyle mStyle;
    ContainerVisits mVisits;
};

bool OpenStepWriter::Write(CFTypeRef value, int level) {
    const CFTypeID type = CFGetTypeID(value);
    if (type == CFStringGetTypeID()) {
        std::u16string scratch;
        return WriteString(Units(static_cast<CFStringRef>(value), scratch));
    }
    if (type == CFNumberGetTypeID()) {
        std::string text = NumberText(static_cast<CFNumberRef>(value));
        return WriteString(std::u16string(text.begin(), text.end()));
    }
    if (type == CFDataGetTypeID()) {
        WriteData(static_cast<CFDataRef>(value));
        return true;
    }
    if (type == CFBooleanGetTypeID()) return Fail("a Boolean, which has no old-style form");
    if (type == CFDateGetTypeID()) return Fail("a date, which has no old-style form");
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

// Unquoted when it can be; else quoted with C escapes, other controls in octal and every
// non-ASCII unit as \U and four hex digits (a pair as two), so the output is plain ASCII. A
// string starting "bplist" is quoted: at the start of a file it would be read as a binary list.
bool OpenStepWriter::WriteString(std::u16string_view units) {
    bool plain = !mStyle.quoteAll && !units.empty() && !units.starts_with(u"bplist");
    for (char16_t u : units) plain = plain && IsUnquoted(u);
    if (plain) {
        for (char16_t u : units) mOut.push_back(static_cast<char>(u));
        return true;
    }
    mOut.push_back('"');
    for (size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        char text[16];
        if (u >= 0xD800 && u < 0xE000) {
            const bool paired = u < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
                                units[i + 1] < 0xE000;
            if (!paired)
                return Fail("a string with an unpaired surrogate, which has no old-style form");
            if (!mStyle.escapeNonASCII) {
                AppendUTF8(units.substr(i++, 2), mOut);
                continue;
            }
            std::snprintf(text, sizeof text, "\\U%04X\\U%04X", static_cast<unsigned>(u),
                          static_cast<unsigned>(units[++i]));
            mOut += text;
            continue;
        }
        if (u == '"' || u == '\\') {
            mOut.push_back('\\');
            mOut.push_back(static_cast<char>(u));
        } else if (u == '\n') {
            mOut += "\\n";
        } else if (u == '\t') {
            mOut += "\\t";
        } else if (u < 0x20 || u == 0x7F) {
            std::snprintf(text, sizeof text, "\\%03o", static_cast<unsigned>(u));
            mOut += text;
        } else if (u < 0x80) {
            mOut.push_back(static_cast<char>(u));
        } else if (!mStyle.escapeNonASCII) {
            AppendUTF8(units.substr(i, 1), mOut);
        } else {
            std::snprintf(text, sizeof text, "\\U%04X", static_cast<unsigned>(u));
            mOut += text;
        }
    }
    mOut.push_back('"');
    return true;
}

void OpenStepWriter::WriteData(CFDataRef data) {
    static const char kHex[] = "0123456789abcdef";
    const UInt8* bytes = CFDataGetBytePtr(data);
    const auto length = static_cast<size_t>(CFDataGetLength(data));
    mOut.push_back('<');
    for (size_t i = 0; i < length; ++i) {
        if (i && i % 4 == 0) mOut.push_back(' ');
        mOut.push_back(kHex[bytes[i] >> 4]);
        mOut.push_back(kHex[bytes[i] & 15]);
    }
    mOut.push_back('>');
}

bool OpenStepWriter::WriteArray(CFArrayRef array, int level) {
    const CFIndex count = CFArrayGetCount(array);
    if (count == 0) {
        mOut += "()";
        return true;
    }
    mOut += "(\n";
    for (CFIndex i = 0; i < count; ++i) {
        Indent(level + 1);
        if (!Write(CFArrayGetValueAtIndex(array, i), level + 1)) {
            PrependSegment(mPath, std::to_string(i));
            return false;
        }
        mOut += i + 1 < count ? ",\n" : "\n";
    }
    Indent(level);
    mOut.push_back(')');
    return true;
}

bool OpenStepWriter::WriteDictionary(CFDictionaryRef dictionary, int level) {
    std::vector<std::pair<CFTypeRef, CFTypeRef>> pairs;
    if (!SortedPairs(dictionary, pairs))
        return Fail("a dictionary with a key that is not a string");
    if (pairs.empty()) {
        mOut += "{}";
        return true;
    }
    mOut += "{\n";
    for (const auto& [key, value] : pairs) {
        Indent(level + 1);
        std::u16string scratch;
        std::u16string_view keyUnits = Units(static_cast<CFStringRef>(key), scratch);
        bool ok = WriteString(keyUnits);
        if (ok) {
            mOut += " = ";
            ok = Write(value, level + 1);
        }
        if (!ok) {
            std::string name;
            if (!AppendUTF8(keyUnits, name)) name.assign(1, '?');
            PrependSegment(mPath, name);
            return false;
        }
        mOut += ";\n";
    }
    Indent(level);
    mOut.push_back('}');
    return true;
}

}  // namespace

bool WriteOpenStep(CFPropertyListRef plist, std::string& out, std::string& error,
                   const OpenStepStyle& style, std::string_view at) {
    out.clear();
    OpenStepWriter writer(out, style);
    if (!writer.Write(plist, 0)) {
        error = Where(at, writer.mPath) + " is " + writer.mWhat;
        out.clear();
        return false;
    }
    out.push_back('\n');
    return true;
}

}  // namespace plisttext
