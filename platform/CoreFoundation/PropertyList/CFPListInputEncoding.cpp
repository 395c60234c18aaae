// Encoding detection and one-shot transcoding to UTF-8 for the property-list text readers.
#include "platform/CoreFoundation/PropertyList/CFPListInputEncoding.h"

#include "platform/CoreFoundation/CFStringEncodingInternal.h"
#include "platform/CoreFoundation/PropertyList/CFXMLPListReaderTables.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace cf::plist {
namespace {

enum class Encoding {
    kUTF8,
    kUTF16BE,
    kUTF16LE,
    kUTF32BE,
    kUTF32LE,
    kLatin1,
    kCP1252,
    kASCII,
    kMacRoman
};

// Windows-1252 0x80..0x9F. The five unassigned bytes keep their C1 code points, so nothing
// is refused or lost.
constexpr char16_t kCP1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

struct NamedEncoding {
    std::string_view name;
    Encoding encoding;
};

// Declaration names we honour (compared without regard to case). The 16/32-bit names are
// listed so that a declaration naming them in an 8-bit document is refused as a mismatch.
constexpr NamedEncoding kNames[] = {
    {"utf-8", Encoding::kUTF8},           {"utf8", Encoding::kUTF8},
    {"utf-16", Encoding::kUTF16BE},       {"utf-16be", Encoding::kUTF16BE},
    {"utf-16le", Encoding::kUTF16LE},     {"ucs-2", Encoding::kUTF16BE},
    {"utf-32", Encoding::kUTF32BE},       {"utf-32be", Encoding::kUTF32BE},
    {"utf-32le", Encoding::kUTF32LE},     {"iso-8859-1", Encoding::kLatin1},
    {"iso_8859-1", Encoding::kLatin1},    {"iso8859-1", Encoding::kLatin1},
    {"latin1", Encoding::kLatin1},        {"l1", Encoding::kLatin1},
    {"iso-ir-100", Encoding::kLatin1},    {"cp819", Encoding::kLatin1},
    {"windows-1252", Encoding::kCP1252},  {"cp1252", Encoding::kCP1252},
    {"us-ascii", Encoding::kASCII},       {"ascii", Encoding::kASCII},
    {"iso646-us", Encoding::kASCII},      {"ansi_x3.4-1968", Encoding::kASCII},
    {"macintosh", Encoding::kMacRoman},   {"macroman", Encoding::kMacRoman},
    {"x-mac-roman", Encoding::kMacRoman}, {"mac", Encoding::kMacRoman},
};

// What a wide input's output reserves before its first significant character is known: a
// document that starts well grows the rest by doubling.
constexpr size_t kEarlyReserve = size_t{1} << 16;

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// BOM or zero-byte detection; BOM-less UTF-32 is taken for UTF-16, as the real reader does, and
// so refused. Sets `skip` to the BOM length. False when the bytes look 8-bit.
bool DetectWideOrBOM(const uint8_t* b, size_t n, Encoding& enc, size_t& skip) {
    skip = 0;
    if (n >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF) {
        enc = Encoding::kUTF32BE, skip = 4;
    } else if (n >= 4 && b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0) {
        enc = Encoding::kUTF32LE, skip = 4;
    } else if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        enc = Encoding::kUTF8, skip = 3;
    } else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
        enc = Encoding::kUTF16BE, skip = 2;
    } else if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        enc = Encoding::kUTF16LE, skip = 2;
    } else if (n >= 2 && b[0] == 0) {
        enc = Encoding::kUTF16BE;
    } else if (n >= 2 && b[1] == 0) {
        enc = Encoding::kUTF16LE;
    } else {
        return false;
    }
    return true;
}

// How a reader's documents begin: the characters it skips first, and those it can go on from.
struct DocumentStart {
    bool (*isSpace)(uint32_t cp);
    bool (*canStart)(uint32_t cp);
};

// XML: text before the first '<' is refused.
constexpr DocumentStart kXMLStart = {
    [](uint32_t cp) { return cp < 0x80 && Is(static_cast<uint8_t>(cp), kXMLSpace); },
    [](uint32_t cp) { return cp == '<'; }};

// Old-style text: a comment, a container, data, or a quoted or unquoted string.
constexpr DocumentStart kOldStyleStart = {
    [](uint32_t cp) { return cp < 0x80 && Is(static_cast<uint8_t>(cp), kOldSpace); },
    [](uint32_t cp) {
        return cp == '{' || cp == '(' || cp == '<' || cp == '"' || cp == '\'' ||
               (cp < 0x80 && Is(static_cast<uint8_t>(cp), kUnquoted));
    }};

// Emits the code points of a wide input until its first significant character, which decides
// whether the rest is needed: a reader refuses an input at once when that character cannot
// start its documents, so transcoding stops there instead of making a copy of all of it.
class WideSink {
public:
    // `fullSize`: room for all of the output, taken once the rest is known to be needed.
    WideSink(const DocumentStart& start, size_t fullSize, std::string& out)
        : mStart(start), mFullSize(fullSize), mOut(out) {
        mOut.reserve(std::min(fullSize, kEarlyReserve));
    }
    // False when the input need go no further.
    bool Put(uint32_t cp) {
        AppendUTF8(cp, mOut);
        if (mDecided || mStart.isSpace(cp)) return true;
        mDecided = true;
        if (!mStart.canStart(cp)) return false;
        mOut.reserve(mFullSize);
        return true;
    }

private:
    const DocumentStart& mStart;
    size_t mFullSize;
    std::string& mOut;
    bool mDecided = false;
};

// A final odd byte is dropped, as the real reader drops it.
bool TranscodeUTF16(const uint8_t* b, size_t n, bool bigEndian, WideSink& sink) {
    n -= n % 2;
    auto unit = [&](size_t i) -> uint32_t {
        return bigEndian ? (uint32_t{b[i]} << 8 | b[i + 1]) : (uint32_t{b[i + 1]} << 8 | b[i]);
    };
    for (size_t i = 0; i < n; i += 2) {
        uint32_t u = unit(i);
        if (u >= 0xDC00 && u <= 0xDFFF) return false;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 4 > n) return false;
            uint32_t low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF) return false;
            u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        if (!sink.Put(u)) break;
    }
    return true;
}

bool TranscodeUTF32(const uint8_t* b, size_t n, bool bigEndian, WideSink& sink) {
    if (n % 4 != 0) return false;
    for (size_t i = 0; i < n; i += 4) {
        uint32_t u = bigEndian ? (uint32_t{b[i]} << 24 | uint32_t{b[i + 1]} << 16 |
                                  uint32_t{b[i + 2]} << 8 | b[i + 3])
                               : (uint32_t{b[i + 3]} << 24 | uint32_t{b[i + 2]} << 16 |
                                  uint32_t{b[i + 1]} << 8 | b[i]);
        if (u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) return false;
        if (!sink.Put(u)) break;
    }
    return true;
}

// ASCII declared over bytes above 0x7F reads them as Latin 1, as the real converter does.
bool TranscodeSingleByte(const uint8_t* b, size_t n, Encoding enc, std::string& out) {
    if (enc == Encoding::kMacRoman) {
        std::u16string units;
        cf::text::AppendUTF16FromMacRoman(b, n, units);
        cf::text::AppendUTF8FromUTF16(units.data(), units.size(), out);
        return true;
    }
    out.reserve(n + n / 4);
    for (size_t i = 0; i < n; ++i) {
        uint8_t c = b[i];
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (enc == Encoding::kCP1252 && c < 0xA0) {
            AppendUTF8(kCP1252High[c - 0x80], out);
        } else {
            AppendUTF8(c, out);
        }
    }
    return true;
}

// Transcodes [b, b+n) from `enc` into out.storage and points out at it. A wide input stops
// early where `start` shows that its reader will refuse it.
InputStatus Transcode(const uint8_t* b, size_t n, Encoding enc, const DocumentStart& start,
                      UTF8Input& out) {
    bool ok = false;
    switch (enc) {
        case Encoding::kUTF8:
            out.begin = b;
            out.end = b + n;
            return InputStatus::kOK;
        case Encoding::kUTF16BE:
        case Encoding::kUTF16LE: {
            WideSink sink(start, n + n / 2, out.storage);
            ok = TranscodeUTF16(b, n, enc == Encoding::kUTF16BE, sink);
            break;
        }
        case Encoding::kUTF32BE:
        case Encoding::kUTF32LE: {
            WideSink sink(start, n, out.storage);
            ok = TranscodeUTF32(b, n, enc == Encoding::kUTF32BE, sink);
            break;
        }
        default:
            ok = TranscodeSingleByte(b, n, enc, out.storage);
            break;
    }
    if (!ok) return InputStatus::kBadBytes;
    out.begin = reinterpret_cast<const uint8_t*>(out.storage.data());
    out.end = out.begin + out.storage.size();
    return InputStatus::kOK;
}

// Finds encoding="name" in the declaration that starts the document, the real reader's way:
// `encoding=` must be followed at once by a quote, and a declaration that ends (at '?' or '>')
// before it, an unquoted value or an unclosed quote all mean UTF-8 (`name` left empty). Only
// running out of bytes while still looking is an error.
InputStatus FindDeclaredName(const uint8_t* b, size_t n, std::string_view& name) {
    name = {};
    const uint8_t* end = b + n;
    const uint8_t* p = b + 5;
    for (;;) {
        if (p >= end) return InputStatus::kOK;
        uint8_t c = *p;
        if (c == '?' || c == '>') return InputStatus::kOK;
        ++p;
        if (end - p <= 8) return InputStatus::kNoEncodingName;
        if (c == 'e' && std::memcmp(p, "ncoding=", 8) == 0) {
            p += 8;
            break;
        }
    }
    uint8_t quote = *p;
    if (quote != '"' && quote != '\'') return InputStatus::kOK;
    const uint8_t* close =
        static_cast<const uint8_t*>(std::memchr(p + 1, quote, static_cast<size_t>(end - p - 1)));
    if (!close) return InputStatus::kOK;
    name =
        std::string_view(reinterpret_cast<const char*>(p + 1), static_cast<size_t>(close - p - 1));
    // The name is looked up as a C string: a NUL ends it.
    name = name.substr(0, name.find('\0'));
    return InputStatus::kOK;
}

// The name as the real framework compares it: without surrounding spaces.
std::string_view TrimSpaces(std::string_view name) {
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!name.empty() && space(name.front())) name.remove_prefix(1);
    while (!name.empty() && space(name.back())) name.remove_suffix(1);
    return name;
}

}  // namespace

void AppendUTF8(uint32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        char s[2] = {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
        out.append(s, 2);
    } else if (cp < 0x10000) {
        char s[3] = {static_cast<char>(0xE0 | (cp >> 12)),
                     static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                     static_cast<char>(0x80 | (cp & 0x3F))};
        out.append(s, 3);
    } else {
        char s[4] = {
            static_cast<char>(0xF0 | (cp >> 18)), static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
            static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
        out.append(s, 4);
    }
}

bool IsValidUTF8(const uint8_t* p, size_t length) {
    const uint8_t* end = p + length;
    while (p < end) {
        // Runs of ASCII go eight bytes at a time.
        while (end - p >= 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ull) break;
            p += 8;
        }
        if (p == end) break;
        uint8_t c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        size_t need;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF)
            need = 1, cp = c & 0x1F;
        else if (c >= 0xE0 && c <= 0xEF)
            need = 2, cp = c & 0x0F;
        else if (c >= 0xF0 && c <= 0xF4)
            need = 3, cp = c & 0x07;
        else
            return false;
        if (static_cast<size_t>(end - p) <= need) return false;
        for (size_t k = 1; k <= need; ++k) {
            if ((p[k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[k] & 0x3F);
        }
        if ((need == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (need == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        p += need + 1;
    }
    return true;
}

InputStatus DecodeXMLInput(const uint8_t* bytes, size_t length, UTF8Input& out, std::string* name) {
    Encoding enc = Encoding::kUTF8;
    size_t skip = 0;
    if (DetectWideOrBOM(bytes, length, enc, skip))
        return Transcode(bytes + skip, length - skip, enc, kXMLStart, out);
    if (length >= 5 && std::memcmp(bytes, "<?xml", 5) == 0) {
        std::string_view declared;
        InputStatus status = FindDeclaredName(bytes, length, declared);
        if (status != InputStatus::kOK) return status;
        if (!declared.empty()) {
            std::string_view trimmed = TrimSpaces(declared);
            const NamedEncoding* found = nullptr;
            for (const NamedEncoding& entry : kNames)
                if (EqualsIgnoringCase(trimmed, entry.name)) found = &entry;
            if (!found) {
                InputStatus status = TranscodeWithIconv(std::string(trimmed), bytes, length, out);
                if (status != InputStatus::kOK && name) name->assign(declared);
                return status;
            }
            enc = found->encoding;
            if (enc >= Encoding::kUTF16BE && enc <= Encoding::kUTF32LE) {
                if (name) name->assign(declared);
                return InputStatus::kMismatch;
            }
        }
    }
    return Transcode(bytes, length, enc, kXMLStart, out);
}

InputStatus DecodeTextInput(const uint8_t* bytes, size_t length, UTF8Input& out) {
    Encoding enc = Encoding::kUTF8;
    size_t skip = 0;
    DetectWideOrBOM(bytes, length, enc, skip);
    InputStatus status = Transcode(bytes + skip, length - skip, enc, kOldStyleStart, out);
    if (status == InputStatus::kOK && enc == Encoding::kUTF8 &&
        !IsValidUTF8(out.begin, static_cast<size_t>(out.end - out.begin)))
        return InputStatus::kBadBytes;
    return status;
}

}  // namespace cf::plist
