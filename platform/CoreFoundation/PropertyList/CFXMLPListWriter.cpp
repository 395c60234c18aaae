// The XML property-list writer: the real framework's output byte for byte, except that an
// unpaired surrogate becomes U+FFFD (instead of silently dropping the text around it), so a
// dictionary two of whose keys would then be one is refused, and a date never shows second 60.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/CFObject.h"
#include "platform/CoreFoundation/PropertyList/Base64.h"
#include "platform/CoreFoundation/PropertyList/CFPListWriterSupport.h"
#include "platform/CoreFoundation/PropertyList/CFPropertyListInternal.h"

namespace cf::plist {
namespace {

constexpr char kPrologue[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n";

// The type without a call: the writer asks it for every value.
inline CFTypeID KindOf(CFTypeRef value) {
    return value ? ObjectOf(value)->TypeID() : 0;
}

class XMLWriter {
public:
    bool Write(CFTypeRef plist) {
        mOut.Literal(kPrologue);
        if (!WriteValue(plist, 0)) return false;
        mOut.Literal("</plist>\n");
        return true;
    }
    CFDataRef CreateData() { return mOut.CreateData(); }

private:
    bool WriteValue(CFTypeRef value, size_t level);
    bool WriteArray(CFArrayRef array, size_t level);
    bool WriteDictionary(CFDictionaryRef dictionary, size_t level);
    uint64_t SortEntries(size_t first, size_t count);
    void WriteKey(CFTypeRef key, size_t position, uint64_t keySet);
    void WriteEscaped(std::u16string_view units);
    void WriteNumber(CFNumberRef number);
    bool WriteDate(CFDateRef date);
    void WriteData(CFDataRef data, size_t level);

    OutputBuffer mOut;
    ContainerVisits mVisits;
    // Stacks of every open dictionary's keys and values, each dictionary's in sorted order.
    std::vector<CFTypeRef> mKeys;
    std::vector<CFTypeRef> mValues;
    // The last sort: its key objects in enumeration order and the order it found. Dictionaries
    // from a reader share uniqued key objects, so a library's records usually reuse it.
    std::vector<CFTypeRef> mLastKeys;
    KeyOrder mLastOrder;
    std::vector<std::u16string_view> mKeyUnits;  // scratch of SortEntries
    // The "<key>…</key>\n" lines of the last key set in sorted order, made once that set is
    // met a second time; mKeySet changes whenever the last key set does.
    uint64_t mKeySet = 0;
    bool mKeyLinesReady = false;
    std::vector<uint8_t> mKeyLines;
    std::vector<size_t> mKeyLineEnds;
    // Set when WriteEscaped writes an unpaired surrogate as U+FFFD: a dictionary's keys are
    // checked for merging only then.
    bool mLoneSurrogate = false;
};

bool XMLWriter::WriteValue(CFTypeRef value, size_t level) {
    switch (KindOf(value)) {
        case kStringTypeID:
            mOut.Indent(level);
            mOut.Literal("<string>");
            WriteEscaped(StringUnits(static_cast<CFStringRef>(value)));
            mOut.Literal("</string>\n");
            return true;
        case kNumberTypeID:
            mOut.Indent(level);
            WriteNumber(static_cast<CFNumberRef>(value));
            return true;
        case kBooleanTypeID:
            mOut.Indent(level);
            if (value == kCFBooleanTrue)
                mOut.Literal("<true/>\n");
            else
                mOut.Literal("<false/>\n");
            return true;
        case kDateTypeID:
            mOut.Indent(level);
            return WriteDate(static_cast<CFDateRef>(value));
        case kDataTypeID:
            WriteData(static_cast<CFDataRef>(value), level);
            return true;
        case kArrayTypeID:
        case kDictionaryTypeID: {
            // As in the readers, an empty container may sit one past the limit.
            const bool holds = KindOf(value) == kArrayTypeID
                                   ? ArrayCount(static_cast<CFArrayRef>(value)) > 0
                                   : DictionaryCount(static_cast<CFDictionaryRef>(value)) > 0;
            if ((holds && level >= static_cast<size_t>(kMaxDepth)) ||
                level > static_cast<size_t>(kMaxDepth) || !mVisits.Enter(value))
                return false;
            bool ok = KindOf(value) == kArrayTypeID
                          ? WriteArray(static_cast<CFArrayRef>(value), level)
                          : WriteDictionary(static_cast<CFDictionaryRef>(value), level);
            mVisits.Leave(value);
            return ok;
        }
        default:
            return false;  // NULL, kCFNull, URLs and every other non-property-list object
    }
}

bool XMLWriter::WriteArray(CFArrayRef array, size_t level) {
    size_t count = ArrayCount(array);
    mOut.Indent(level);
    if (count == 0) {
        mOut.Literal("<array/>\n");
        return true;
    }
    mOut.Literal("<array>\n");
    for (size_t i = 0; i < count; ++i)
        if (!WriteValue(ArrayValue(array, i), level + 1)) return false;
    mOut.Indent(level);
    mOut.Literal("</array>\n");
    return true;
}

// Keys in CFStringCompare order without options: UTF-16 code units, a prefix first.
bool XMLWriter::WriteDictionary(CFDictionaryRef dictionary, size_t level) {
    size_t first = mKeys.size();
    size_t count = DictionaryCount(dictionary);
    mOut.Indent(level);
    if (count == 0) {
        mOut.Literal("<dict/>\n");
        return true;
    }
    mKeys.resize(first + count);
    mValues.resize(first + count);
    DictionaryGetKeysAndValues(dictionary, mKeys.data() + first, mValues.data() + first);
    for (size_t i = first; i < first + count; ++i)
        if (KindOf(mKeys[i]) != kStringTypeID) return false;
    uint64_t keySet = SortEntries(first, count);
    mOut.Literal("<dict>\n");
    // The value objects are scattered over the heap; asking for a few ahead overlaps their
    // cache misses with the writing of the entries before them.
    constexpr size_t kAhead = 4;
    for (size_t i = first; i < first + std::min(count, kAhead); ++i) __builtin_prefetch(mValues[i]);
    bool loneInKeys = false;
    for (size_t i = first; i < first + count; ++i) {
        if (i + kAhead < first + count) __builtin_prefetch(mValues[i + kAhead]);
        // Indices, not references: nested dictionaries push onto the same vectors.
        mOut.Indent(level + 1);
        mLoneSurrogate = false;
        WriteKey(mKeys[i], i - first, keySet);
        loneInKeys |= mLoneSurrogate;
        if (!WriteValue(mValues[i], level + 1)) return false;
    }
    // Key lines copied from the last key set are of the same key objects, checked then.
    if (loneInKeys && KeysMergeWhenWritten(mKeys.data() + first, count)) return false;
    mKeys.resize(first);
    mValues.resize(first);
    mOut.Indent(level);
    mOut.Literal("</dict>\n");
    return true;
}

// Sorts the `count` pairs at `first` by key. Records of one kind enumerate the same keys in the
// same order, so the last dictionary's order is tried first: kept outright when the key objects
// are the same (a reader uniques them), else kept when one pass shows it still sorts these keys.
// A key line, copied whole when this dictionary's keys are still the last key set (nested
// dictionaries with other keys replace it).
void XMLWriter::WriteKey(CFTypeRef key, size_t position, uint64_t keySet) {
    if (keySet == mKeySet && mKeyLinesReady) {
        size_t start = position ? mKeyLineEnds[position - 1] : 0;
        mOut.Append(mKeyLines.data() + start, mKeyLineEnds[position] - start);
        return;
    }
    mOut.Literal("<key>");
    WriteEscaped(StringUnits(static_cast<CFStringRef>(key)));
    mOut.Literal("</key>\n");
}

// Returns the key set's stamp (see mKeySet).
uint64_t XMLWriter::SortEntries(size_t first, size_t count) {
    const CFTypeRef* keys = mKeys.data() + first;
    bool sameObjects =
        count == mLastKeys.size() && std::equal(keys, keys + count, mLastKeys.begin());
    if (!sameObjects) {
        mKeyUnits.resize(count);
        for (size_t i = 0; i < count; ++i)
            mKeyUnits[i] = StringUnits(static_cast<CFStringRef>(keys[i]));
        const std::u16string_view* units = mKeyUnits.data();
        const std::vector<uint32_t>& order = mLastOrder.Positions();
        bool reuse = count == order.size();
        for (size_t i = 1; reuse && i < count; ++i) reuse = units[order[i - 1]] < units[order[i]];
        if (!reuse) mLastOrder.Sort(units, count);
        mLastKeys.assign(keys, keys + count);
        ++mKeySet;
        mKeyLinesReady = false;
    } else if (!mKeyLinesReady) {
        // Rendered through the output itself, then moved aside.
        size_t mark = mOut.Length();
        mKeyLineEnds.clear();
        for (size_t i = 0; i < count; ++i) {
            mOut.Literal("<key>");
            WriteEscaped(StringUnits(static_cast<CFStringRef>(keys[mLastOrder.Positions()[i]])));
            mOut.Literal("</key>\n");
            mKeyLineEnds.push_back(mOut.Length() - mark);
        }
        mKeyLines.assign(mOut.Bytes() + mark, mOut.Bytes() + mOut.Length());
        mOut.Truncate(mark);
        mKeyLinesReady = true;
    }
    mLastOrder.Apply(mKeys, first);
    mLastOrder.Apply(mValues, first);
    return mKeySet;
}

// How many leading units are plain ASCII text (below 0x80 and none of & < >), narrowed into
// `out` as they are; the writer's common case, taken eight units at a time where it can.
size_t NarrowPlainASCII(const char16_t* units, size_t count, uint8_t* out) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i amp = _mm_set1_epi16('&'), lt = _mm_set1_epi16('<'), gt = _mm_set1_epi16('>');
    for (; i + 8 <= count; i += 8) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
        __m128i stop = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi16(v, amp), _mm_cmpeq_epi16(v, lt)),
            _mm_or_si128(_mm_cmpeq_epi16(v, gt),
                         _mm_xor_si128(_mm_cmpeq_epi16(_mm_and_si128(v, high), _mm_setzero_si128()),
                                       _mm_set1_epi32(-1))));
        if (_mm_movemask_epi8(stop)) break;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(v, v));
    }
#endif
    for (; i < count; ++i) {
        char16_t u = units[i];
        if (u >= 0x80 || u == '&' || u == '<' || u == '>') break;
        out[i] = static_cast<uint8_t>(u);
    }
    return i;
}

// UTF-8 with only & < > escaped, written straight into the output a chunk at a time (room
// for 5 bytes a unit at worst, for "&amp;").
void XMLWriter::WriteEscaped(std::u16string_view units) {
    constexpr size_t kChunk = 4096;
    size_t i = 0;
    while (i < units.size()) {
        size_t stop = std::min(units.size(), i + kChunk);
        // +4: a surrogate pair may straddle the chunk end and is read whole.
        uint8_t* p = mOut.Reserve((stop - i) * 5 + 4);
        while (i < stop) {
            size_t plain = NarrowPlainASCII(units.data() + i, stop - i, p);
            p += plain;
            i += plain;
            if (i == stop) break;
            char32_t u = units[i++];
            if (u < 0x80) {
                if (u == '&')
                    p = static_cast<uint8_t*>(std::memcpy(p, "&amp;", 5)) + 5;
                else if (u == '<')
                    p = static_cast<uint8_t*>(std::memcpy(p, "&lt;", 4)) + 4;
                else
                    p = static_cast<uint8_t*>(std::memcpy(p, "&gt;", 4)) + 4;
                continue;
            }
            if (u < 0x800) {
                *p++ = static_cast<uint8_t>(0xC0 | (u >> 6));
                *p++ = static_cast<uint8_t>(0x80 | (u & 0x3F));
                continue;
            }
            if (u >= 0xD800 && u < 0xE000) {
                if (u < 0xDC00 && i < units.size() && units[i] >= 0xDC00 && units[i] < 0xE000) {
                    char32_t c = 0x10000 + ((u - 0xD800) << 10) + (units[i++] - 0xDC00);
                    *p++ = static_cast<uint8_t>(0xF0 | (c >> 18));
                    *p++ = static_cast<uint8_t>(0x80 | ((c >> 12) & 0x3F));
                    *p++ = static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F));
                    *p++ = static_cast<uint8_t>(0x80 | (c & 0x3F));
                    continue;
                }
                u = 0xFFFD;  // unpaired: costs only itself
                mLoneSurrogate = true;
            }
            *p++ = static_cast<uint8_t>(0xE0 | (u >> 12));
            *p++ = static_cast<uint8_t>(0x80 | ((u >> 6) & 0x3F));
            *p++ = static_cast<uint8_t>(0x80 | (u & 0x3F));
        }
        mOut.Commit(p);
    }
}

// Reals as C's "%.17g" (which std::to_chars with general format and precision 17 equals),
// with the framework's names for the special values and "0.0" for either zero.
void XMLWriter::WriteNumber(CFNumberRef number) {
    NumberValue value = GetNumberValue(number);
    char text[64];
    char* end = text;
    if (value.kind == NumberValue::kReal) {
        double d = value.d;
        mOut.Literal("<real>");
        if (std::isnan(d))
            mOut.Literal("nan");
        else if (std::isinf(d))
            d > 0 ? mOut.Literal("+infinity") : mOut.Literal("-infinity");
        else if (d == 0)
            mOut.Literal("0.0");
        else
            end = std::to_chars(text, text + sizeof text, d, std::chars_format::general, 17).ptr;
        mOut.Append(text, static_cast<size_t>(end - text));
        mOut.Literal("</real>\n");
        return;
    }
    end = value.kind == NumberValue::kUnsigned
              ? std::to_chars(text, text + sizeof text, value.u).ptr
              : std::to_chars(text, text + sizeof text, value.s).ptr;
    mOut.Literal("<integer>");
    mOut.Append(text, static_cast<size_t>(end - text));
    mOut.Literal("</integer>\n");
}

// Zero-padded decimal of at least `width` characters, the sign counted as in "%0*d".
char* PutPadded(char* p, int64_t value, int width) {
    uint64_t magnitude =
        value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    if (value < 0) {
        *p++ = '-';
        --width;
    }
    char digits[24];
    char* end = std::to_chars(digits, digits + sizeof digits, magnitude).ptr;
    for (long pad = width - (end - digits); pad > 0; --pad) *p++ = '0';
    return std::copy(digits, end, p);
}

// Two decimal digits of 0 ≤ value < 100.
char* PutTwoDigits(char* p, int64_t value) {
    p[0] = static_cast<char>('0' + value / 10);
    p[1] = static_cast<char>('0' + value % 10);
    return p + 2;
}

// Floor first, then split whole seconds, so nothing can round up to second 60. Times whose
// day count would not fit the calendar arithmetic (or are not finite) are refused: the real
// writer prints garbage for them, which reads back as another date.
bool XMLWriter::WriteDate(CFDateRef date) {
    double t = std::floor(DateTime(date));
    constexpr double kLimit = 4.0e18;  // keeps every step below in int64 range
    if (!(t >= -kLimit && t <= kLimit)) return false;
    auto seconds = static_cast<int64_t>(t);
    int64_t days = seconds / 86400 - (seconds % 86400 < 0);
    int64_t secondOfDay = seconds - days * 86400;
    // Civil date from days since 1970-01-01, proleptic Gregorian (era arithmetic).
    int64_t z = days + 11323 + 719468;  // 2001-01-01 is day 11323 after 1970-01-01
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int64_t day = doy - (153 * mp + 2) / 5 + 1;
    int64_t month = mp < 10 ? mp + 3 : mp - 9;
    int64_t year = yoe + era * 400 + (month <= 2);

    char text[64];
    char* p = text;
    if (year >= 0 && year <= 9999) {
        // The usual four-digit year: fixed digits, no conversion calls.
        p = PutTwoDigits(PutTwoDigits(p, year / 100), year % 100);
    } else {
        p = PutPadded(text, year, 4);
    }
    *p++ = '-';
    p = PutTwoDigits(p, month);
    *p++ = '-';
    p = PutTwoDigits(p, day);
    *p++ = 'T';
    p = PutTwoDigits(p, secondOfDay / 3600);
    *p++ = ':';
    p = PutTwoDigits(p, secondOfDay / 60 % 60);
    *p++ = ':';
    p = PutTwoDigits(p, secondOfDay % 60);
    mOut.Literal("<date>");
    mOut.Append(text, static_cast<size_t>(p - text));
    mOut.Literal("Z</date>\n");
    return true;
}

// Base64 lines get min(level, 8) tabs and 76 - 8 * that many characters; the tags get all.
void XMLWriter::WriteData(CFDataRef data, size_t level) {
    const uint8_t* bytes = DataBytes(data);
    size_t length = DataLength(data);
    size_t lineTabs = std::min<size_t>(level, 8);
    size_t lineBytes = (76 - 8 * lineTabs) / 4 * 3;
    mOut.Indent(level);
    mOut.Literal("<data>\n");
    for (size_t offset = 0; offset < length; offset += lineBytes) {
        size_t count = std::min(lineBytes, length - offset);
        mOut.Indent(lineTabs);
        char line[80];
        size_t chars = base64::EncodedLength(count);
        base64::Encode(bytes + offset, count, line);
        line[chars] = '\n';
        mOut.Append(line, chars + 1);
    }
    mOut.Indent(level);
    mOut.Literal("</data>\n");
}

}  // namespace

CFDataRef WriteXML(CFPropertyListRef plist) {
    return WriteWith<XMLWriter>(plist);
}

}  // namespace cf::plist
