// CFString: UTF-16 units in one buffer; constant strings interned and immortal.
#include <CoreFoundation/CFString.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>

#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/CFObject.h"
#include "platform/CoreFoundation/CFStringEncodingInternal.h"
#include "platform/CoreFoundation/CFStringSharedUnits.h"
#include "platform/Testing/PTInternal.h"

struct __CFString;
namespace cf {
void ForgetRecentString(const __CFString* dying);
}

// Every string keeps its contents right after the object, in the same allocation: an immutable
// (or constant) one its units, a mutable one the growable buffer that holds them. A long
// immutable string instead keeps there the address of a shared block of units (see
// CFStringSharedUnits.h). Units() is the one view of all three.
struct __CFString final : cf::Object {
    // Immutable, with room for `count` trailing units the caller fills in before use.
    explicit __CFString(size_t count, bool immortal = false)
        : Object(cf::kStringTypeID, false, immortal), mLength(static_cast<uint32_t>(count)) {}
    // Immutable, its `count` units in `shared`, whose reference it takes over.
    __CFString(size_t count, char16_t* shared) : __CFString(count) {
        mShared = true;
        ::new (static_cast<void*>(this + 1)) char16_t*(shared);
    }
    // Immutable, units copied into the `count` trailing units the allocation made room for.
    __CFString(const char16_t* units, size_t count, bool immortal = false)
        : __CFString(count, immortal) {
        if (count) std::memcpy(Trailing(), units, count * sizeof(char16_t));
    }
    // Mutable, in a trailing buffer of sizeof(std::u16string).
    explicit __CFString(std::u16string&& units) : Object(cf::kStringTypeID, true) {
        ::new (static_cast<void*>(this + 1)) std::u16string(std::move(units));
    }
    ~__CFString() override {
        if (IsMutableObject()) std::destroy_at(&Buffer());
        if (mShared) cf::ReleaseSharedUnits(SharedUnits());
    }

    std::u16string_view Units() const {
        if (IsMutableObject()) return Buffer();
        if (mShared) return {SharedUnits(), mLength};
        return {reinterpret_cast<const char16_t*>(this + 1), mLength};
    }

    bool EqualTo(const Object& other) const override {
        return Units() == static_cast<const __CFString&>(other).Units();
    }
    CFHashCode HashValue() const override {
        if (mHashed) return mHash;
        const CFHashCode result = HashOf(Units());
        if (!IsMutableObject()) mHash = result, mHashed = true;  // mutable strings may change
        return result;
    }
    static CFHashCode HashOf(std::u16string_view units) {
        uint64_t h = 0xcbf29ce484222325ULL ^ units.size();
        size_t i = 0;
        for (; i + 4 <= units.size(); i += 4) {  // four units per multiply
            uint64_t word;
            std::memcpy(&word, units.data() + i, sizeof word);
            h = (h ^ word) * 0x9E3779B97F4A7C15ULL;
            h ^= h >> 29;
        }
        for (; i < units.size(); ++i) h = (h ^ units[i]) * 0x100000001b3ULL;
        return cf::MixHash(h);
    }
    // An immutable string's hash, known already.
    void NoteHash(CFHashCode hash) { mHash = hash, mHashed = true; }
    void Describe(std::string& out) const override {
        std::u16string_view units = Units();
        cf::text::AppendUTF8FromUTF16(units.data(), units.size(), out);
    }
    void Forget() const override { cf::ForgetRecentString(this); }
    bool IsASCII() const {
        if (mASCII < 0 || IsMutableObject()) {
            bool ascii = true;
            for (char16_t u : Units())
                if (u >= 0x80) {
                    ascii = false;
                    break;
                }
            mASCII = ascii ? 1 : 0;
        }
        return mASCII == 1;
    }

    // The units of an immutable string, the buffer of a mutable one.
    char16_t* Trailing() { return mShared ? SharedUnits() : reinterpret_cast<char16_t*>(this + 1); }
    char16_t* SharedUnits() const {
        return *std::launder(reinterpret_cast<char16_t* const*>(this + 1));
    }
    std::u16string& Buffer() { return *std::launder(reinterpret_cast<std::u16string*>(this + 1)); }
    const std::u16string& Buffer() const {
        return *std::launder(reinterpret_cast<const std::u16string*>(this + 1));
    }
    // After every change to a mutable string's buffer.
    void Changed() { mHashed = false, mASCII = -1; }

    mutable CFHashCode mHash = 0;
    uint32_t mLength = 0;  // immutable strings only: longer ones are refused when made
    mutable bool mHashed = false;
    mutable int8_t mASCII = -1;
    bool mShared = false;  // the units are in a shared block
};
static_assert(sizeof(__CFString) % alignof(std::u16string) == 0);
static_assert(sizeof(__CFString) == sizeof(cf::Object) + 16);  // 40 bytes before the units

namespace cf {
namespace {

__CFString* AsString(CFTypeRef ref) {
    return As<__CFString>(ref, kStringTypeID);
}

__CFString* MutableString(CFMutableStringRef ref) {
    __CFString* s = AsString(ref);
    return s && s->IsMutableObject() ? s : nullptr;
}

// Immutable strings carry a 32-bit length.
constexpr size_t kMaxImmutableUnits = UINT32_MAX;

CFStringRef Make(const char16_t* units, size_t count, bool isMutable);

CFStringRef Make(std::u16string&& units, bool isMutable) {
    if (isMutable) return NewWithTrailing<__CFString>(sizeof(std::u16string), std::move(units));
    return Make(units.data(), units.size(), false);
}

// An immutable string of `count` units for the caller to fill in; nullptr when it cannot be
// made.
__CFString* MakeUninitialized(size_t count) {
    if (count > kMaxImmutableUnits) return nullptr;
    if (count < kSharedUnitsMin)
        return NewWithTrailing<__CFString>(count * sizeof(char16_t), count);
    char16_t* shared = NewSharedUnits(count);
    if (!shared) return nullptr;
    __CFString* s = NewWithTrailing<__CFString>(sizeof shared, count, shared);
    if (!s) ReleaseSharedUnits(shared);
    return s;
}

// Any string from units: short immutable ones in one allocation.
CFStringRef Make(const char16_t* units, size_t count, bool isMutable) {
    if (isMutable) return Make(std::u16string(units, count), true);
    if (count > kMaxImmutableUnits) return nullptr;
    if (count < kSharedUnitsMin)
        return NewWithTrailing<__CFString>(count * sizeof(char16_t), units, count);
    __CFString* s = MakeUninitialized(count);
    if (s) std::memcpy(s->Trailing(), units, count * sizeof(char16_t));
    return s;
}

// An immutable or mutable string of what `decoding` measured.
CFStringRef MakeDecoded(const text::Decoding& decoding, bool isMutable) {
    if (isMutable) {
        std::u16string units(decoding.units, u'\0');
        text::DecodeBytes(decoding, units.data());
        return Make(std::move(units), true);
    }
    __CFString* s = MakeUninitialized(decoding.units);
    if (s) text::DecodeBytes(decoding, s->Trailing());
    return s;
}

// Short immutable strings repeat: the keys of every dictionary in an array of dictionaries, and
// values such as a kind or a genre. The last ones made through the public calls are remembered
// by their contents, without a reference, and a new string equal to one still alive is that
// string, retained: a large property list then holds a repeated string once, and makes it once.
// Nobody can tell, as an immutable string never changes.
constexpr size_t kMaxRecentUnits = 32;
constinit RecentObjects<__CFString, 12> gRecentStrings;

// An immutable string of the units, the remembered one when it is short and alive. While an
// allocation fault is pending the string is always made, so the fault lands where it was meant.
CFStringRef MakeSharing(const char16_t* units, size_t count) {
    if (count == 0 || count > kMaxRecentUnits || pt::CFAllocationFaultPending())
        return Make(units, count, false);
    const std::u16string_view text(units, count);
    const CFHashCode hash = __CFString::HashOf(text);
    if (CFTypeRef kept =
            gRecentStrings.Share(hash, [&](const __CFString& s) { return s.Units() == text; }))
        return static_cast<CFStringRef>(kept);
    auto* made = const_cast<__CFString*>(Make(units, count, false));
    if (!made) return nullptr;
    made->NoteHash(hash);
    gRecentStrings.Remember(hash, made);
    return made;
}

// Bytes in any encoding as CreateStringWithEncoding reads them, made by MakeSharing when short.
CFStringRef MakeSharingFromBytes(const uint8_t* bytes, size_t length, CFStringEncoding encoding,
                                 bool isExternalRepresentation) {
    text::Decoding decoding;
    if (!text::MeasureBytes(bytes, length, encoding, isExternalRepresentation, decoding))
        return nullptr;
    if (decoding.units > kMaxRecentUnits) return MakeDecoded(decoding, false);
    char16_t units[kMaxRecentUnits];
    text::DecodeBytes(decoding, units);
    return MakeSharing(units, decoding.units);
}

// Interned CFSTR constants, looked up first by the literal's address (stable for the
// process) and then by content, so repeated CFSTR calls cost one hash lookup.
struct ConstantTable {
    std::mutex lock;
    std::unordered_map<const char*, CFStringRef> byAddress;
    std::unordered_map<std::string, CFStringRef> byContent;
};
ConstantTable& Constants() {
    static ConstantTable* table = new ConstantTable;  // never destroyed: used during exit
    return *table;
}

CFStringRef MakeConstant(const char* text) {
    size_t length = std::strlen(text);
    std::u16string units;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text);
    if (!text::AppendUTF16FromUTF8(bytes, length, units)) {
        units.clear();
        text::AppendUTF16FromMacRoman(bytes, length, units);
    }
    void* memory = AllocateImmortal(sizeof(__CFString) + units.size() * sizeof(char16_t));
    auto* s = ::new (memory) __CFString(units.data(), units.size(), true);
    RegisterImmortal(s);
    return s;
}

int CompareUnits(std::u16string_view a, std::u16string_view b, CFStringCompareFlags flags) {
    bool fold = flags & kCFCompareCaseInsensitive;
    bool numeric = flags & kCFCompareNumerically;
    auto isDigit = [](char16_t u) { return u >= '0' && u <= '9'; };
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        char16_t x = a[i], y = b[j];
        if (numeric && isDigit(x) && isDigit(y)) {
            // Compare digit runs by value: skip leading zeros, then longer run is larger.
            size_t si = i, sj = j;
            while (si < a.size() && a[si] == '0') ++si;
            while (sj < b.size() && b[sj] == '0') ++sj;
            size_t ei = si, ej = sj;
            while (ei < a.size() && isDigit(a[ei])) ++ei;
            while (ej < b.size() && isDigit(b[ej])) ++ej;
            if (ei - si != ej - sj) return ei - si < ej - sj ? -1 : 1;
            int c = a.substr(si, ei - si).compare(b.substr(sj, ej - sj));
            if (c != 0) return c < 0 ? -1 : 1;
            i = ei, j = ej;
            continue;
        }
        if (fold) {
            if (x >= 'A' && x <= 'Z') x = static_cast<char16_t>(x + 32);
            if (y >= 'A' && y <= 'Z') y = static_cast<char16_t>(y + 32);
        }
        if (x != y) return x < y ? -1 : 1;
        ++i, ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

}  // namespace

CFStringRef CreateStringFromUTF8(const uint8_t* bytes, size_t length, bool isMutable) {
    return CreateStringWithEncoding(bytes, length, kCFStringEncodingUTF8, false, isMutable);
}

CFStringRef CreateStringFromUTF16(const char16_t* units, size_t count, bool isMutable) {
    return Make(units, count, isMutable);
}

CFStringRef CreateStringAdoptingUTF16(std::u16string&& units, bool isMutable) {
    return isMutable ? Make(std::move(units), true) : Make(units.data(), units.size(), false);
}

CFStringRef CreateStringWithEncoding(const uint8_t* bytes, size_t length, CFStringEncoding encoding,
                                     bool isExternalRepresentation, bool isMutable) {
    // Measured first, so an immutable string decodes straight into its own storage.
    text::Decoding decoding;
    if (!text::MeasureBytes(bytes, length, encoding, isExternalRepresentation, decoding))
        return nullptr;
    return MakeDecoded(decoding, isMutable);
}

void ForgetRecentString(const __CFString* dying) {
    gRecentStrings.Forget(dying->HashValue(), dying);
}

std::u16string_view StringUnits(CFStringRef string) {
    const __CFString* s = AsString(string);
    return s ? s->Units() : std::u16string_view();
}

void AppendUTF8(CFStringRef string, std::string& out) {
    std::u16string_view units = StringUnits(string);
    text::AppendUTF8FromUTF16(units.data(), units.size(), out);
}

bool StringIsASCII(CFStringRef string) {
    const __CFString* s = AsString(string);
    return !s || s->IsASCII();
}

}  // namespace cf

using cf::AsString;

extern "C" {

CFStringRef __CFStringMakeConstantString(const char* cStr) {
    if (!cStr) return nullptr;
    cf::ConstantTable& table = cf::Constants();
    std::lock_guard<std::mutex> guard(table.lock);
    auto byAddress = table.byAddress.find(cStr);
    if (byAddress != table.byAddress.end()) return byAddress->second;
    CFStringRef& slot = table.byContent[cStr];
    if (!slot) slot = cf::MakeConstant(cStr);
    table.byAddress.emplace(cStr, slot);
    return slot;
}

CFTypeID CFStringGetTypeID(void) {
    int32_t injected;
    if (PT_ENTER("CFStringGetTypeID", injected)) return 0;
    return cf::kStringTypeID;
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean isExternalRepresentation) {
    int32_t injected;
    if (PT_ENTER("CFStringCreateWithBytes", injected)) return nullptr;
    if (numBytes < 0 || (!bytes && numBytes > 0)) return nullptr;
    return cf::MakeSharingFromBytes(bytes, static_cast<size_t>(numBytes), encoding,
                                    isExternalRepresentation);
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef, const UniChar* chars, CFIndex numChars) {
    int32_t injected;
    if (PT_ENTER("CFStringCreateWithCharacters", injected)) return nullptr;
    if (numChars < 0 || (!chars && numChars > 0)) return nullptr;
    return cf::MakeSharing(reinterpret_cast<const char16_t*>(chars), static_cast<size_t>(numChars));
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding) {
    int32_t injected;
    if (PT_ENTER("CFStringCreateWithCString", injected) || !cStr) return nullptr;
    return cf::MakeSharingFromBytes(reinterpret_cast<const uint8_t*>(cStr), std::strlen(cStr),
                                    encoding, false);
}

CFStringRef CFStringCreateFromExternalRepresentation(CFAllocatorRef, CFDataRef data,
                                                     CFStringEncoding encoding) {
    int32_t injected;
    if (PT_ENTER("CFStringCreateFromExternalRepresentation", injected) || !cf::IsData(data))
        return nullptr;
    return cf::CreateStringWithEncoding(cf::DataBytes(data), cf::DataLength(data), encoding, true);
}

CFDataRef CFStringCreateExternalRepresentation(CFAllocatorRef, CFStringRef theString,
                                               CFStringEncoding encoding, UInt8 lossByte) {
    int32_t injected;
    if (PT_ENTER("CFStringCreateExternalRepresentation", injected)) return nullptr;
    const __CFString* s = AsString(theString);
    if (!s) return nullptr;
    std::u16string_view units = s->Units();
    size_t needed = 0;
    size_t converted = cf::text::EncodeUnits(units.data(), units.size(), encoding, lossByte, true,
                                             nullptr, 0, needed);
    if (converted != units.size()) return nullptr;
    std::vector<uint8_t> bytes(needed);
    cf::text::EncodeUnits(units.data(), units.size(), encoding, lossByte, true, bytes.data(),
                          bytes.size(), needed);
    return cf::CreateDataAdopting(std::move(bytes));
}

CFStringRef CFStringCreateCopy(CFAllocatorRef, CFStringRef theString) {
    int32_t injected;
    if (PT_ENTER("CFStringCreateCopy", injected)) return nullptr;
    const __CFString* s = AsString(theString);
    if (!s) return nullptr;
    if (!s->IsMutableObject()) return static_cast<CFStringRef>(cf::Retain(theString));
    std::u16string_view units = s->Units();
    return cf::CreateStringFromUTF16(units.data(), units.size());
}

CFStringRef CFStringCreateWithSubstring(CFAllocatorRef, CFStringRef str, CFRange range) {
    int32_t injected;
    if (PT_ENTER("CFStringCreateWithSubstring", injected)) return nullptr;
    const __CFString* s = AsString(str);
    if (!s || !cf::RangeInside(range, s->Units().size())) return nullptr;
    return cf::CreateStringFromUTF16(s->Units().data() + range.location,
                                     static_cast<size_t>(range.length));
}

CFMutableStringRef CFStringCreateMutable(CFAllocatorRef, CFIndex) {
    int32_t injected;
    if (PT_ENTER("CFStringCreateMutable", injected)) return nullptr;
    return const_cast<CFMutableStringRef>(cf::Make(std::u16string(), true));
}

CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef, CFIndex, CFStringRef theString) {
    int32_t injected;
    if (PT_ENTER("CFStringCreateMutableCopy", injected)) return nullptr;
    std::u16string_view units = cf::StringUnits(theString);
    return const_cast<CFMutableStringRef>(
        cf::CreateStringFromUTF16(units.data(), units.size(), true));
}

void CFStringAppend(CFMutableStringRef theString, CFStringRef appendedString) {
    int32_t injected;
    if (PT_ENTER("CFStringAppend", injected)) return;
    __CFString* s = cf::MutableString(theString);
    if (!s || !AsString(appendedString)) return;
    s->Buffer().append(cf::StringUnits(appendedString));  // safe when both are the same string
    s->Changed();
}

void CFStringAppendCharacters(CFMutableStringRef theString, const UniChar* chars,
                              CFIndex numChars) {
    int32_t injected;
    if (PT_ENTER("CFStringAppendCharacters", injected)) return;
    __CFString* s = cf::MutableString(theString);
    if (!s || numChars <= 0 || !chars) return;
    s->Buffer().append(reinterpret_cast<const char16_t*>(chars), static_cast<size_t>(numChars));
    s->Changed();
}

void CFStringAppendCString(CFMutableStringRef theString, const char* cStr,
                           CFStringEncoding encoding) {
    int32_t injected;
    if (PT_ENTER("CFStringAppendCString", injected)) return;
    __CFString* s = cf::MutableString(theString);
    if (!s || !cStr) return;
    std::u16string units;
    if (!cf::text::AppendUTF16FromBytes(reinterpret_cast<const uint8_t*>(cStr), std::strlen(cStr),
                                        encoding, false, units))
        return;
    s->Buffer() += units;
    s->Changed();
}

CFIndex CFStringGetLength(CFStringRef theString) {
    int32_t injected;
    if (PT_ENTER("CFStringGetLength", injected)) return 0;
    return static_cast<CFIndex>(cf::StringUnits(theString).size());
}

UniChar CFStringGetCharacterAtIndex(CFStringRef theString, CFIndex idx) {
    int32_t injected;
    if (PT_ENTER("CFStringGetCharacterAtIndex", injected)) return 0;
    std::u16string_view units = cf::StringUnits(theString);
    if (idx < 0 || static_cast<size_t>(idx) >= units.size()) return 0;
    return units[static_cast<size_t>(idx)];
}

void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer) {
    int32_t injected;
    if (PT_ENTER("CFStringGetCharacters", injected)) return;
    std::u16string_view units = cf::StringUnits(theString);
    if (!buffer || !cf::RangeInside(range, units.size())) return;
    std::memcpy(buffer, units.data() + range.location, static_cast<size_t>(range.length) * 2);
}

const UniChar* CFStringGetCharactersPtr(CFStringRef theString) {
    int32_t injected;
    if (PT_ENTER("CFStringGetCharactersPtr", injected)) return nullptr;
    const __CFString* s = AsString(theString);
    return s ? reinterpret_cast<const UniChar*>(s->Units().data()) : nullptr;
}

const char* CFStringGetCStringPtr(CFStringRef, CFStringEncoding) {
    int32_t injected;
    PT_ENTER("CFStringGetCStringPtr", injected);
    return nullptr;
}

Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding) {
    int32_t injected;
    if (PT_ENTER("CFStringGetCString", injected)) return false;
    const __CFString* s = AsString(theString);
    if (!s || !buffer || bufferSize <= 0) return false;
    size_t used = 0;
    std::u16string_view units = s->Units();
    size_t converted = cf::text::EncodeUnits(units.data(), units.size(), encoding, 0, false,
                                             reinterpret_cast<uint8_t*>(buffer),
                                             static_cast<size_t>(bufferSize - 1), used);
    buffer[used] = '\0';
    return converted == units.size();
}

CFIndex CFStringGetBytes(CFStringRef theString, CFRange range, CFStringEncoding encoding,
                         UInt8 lossByte, Boolean isExternalRepresentation, UInt8* buffer,
                         CFIndex maxBufLen, CFIndex* usedBufLen) {
    int32_t injected;
    if (usedBufLen) *usedBufLen = 0;
    if (PT_ENTER("CFStringGetBytes", injected)) return 0;
    std::u16string_view units = cf::StringUnits(theString);
    if (!AsString(theString) || !cf::RangeInside(range, units.size()) || (buffer && maxBufLen < 0))
        return 0;
    size_t used = 0;
    size_t converted = cf::text::EncodeUnits(
        units.data() + range.location, static_cast<size_t>(range.length), encoding, lossByte,
        isExternalRepresentation, buffer, buffer ? static_cast<size_t>(maxBufLen) : 0, used);
    if (usedBufLen) *usedBufLen = static_cast<CFIndex>(used);
    return static_cast<CFIndex>(converted);
}

CFComparisonResult CFStringCompare(CFStringRef theString1, CFStringRef theString2,
                                   CFStringCompareFlags compareOptions) {
    int32_t injected;
    if (PT_ENTER("CFStringCompare", injected)) return kCFCompareEqualTo;
    return static_cast<CFComparisonResult>(
        cf::CompareUnits(cf::StringUnits(theString1), cf::StringUnits(theString2), compareOptions));
}

Boolean CFStringHasPrefix(CFStringRef theString, CFStringRef prefix) {
    int32_t injected;
    if (PT_ENTER("CFStringHasPrefix", injected)) return false;
    return cf::StringUnits(theString).starts_with(cf::StringUnits(prefix));
}

Boolean CFStringHasSuffix(CFStringRef theString, CFStringRef suffix) {
    int32_t injected;
    if (PT_ENTER("CFStringHasSuffix", injected)) return false;
    return cf::StringUnits(theString).ends_with(cf::StringUnits(suffix));
}

}  // extern "C"
