// The CoreFoundation stand-in's object model as its own code uses it: the property-list
// readers and writer, CFBundle, and the Apple Event Manager's helpers. Nothing here is counted
// or fault-injected by call, but every object creation goes through the one allocator, so an
// armed CF allocation failure (PTFailCFAllocations) makes a Create function below return NULL.
//
// Ownership follows the public rule: Create → +1 reference the caller releases (with
// cf::Release, or by holding it in cf::Ref), Get → borrowed. "Adopting" functions take over a
// +1 reference the caller passes in, also when they fail.
#ifndef PLATFORM_COREFOUNDATION_CFINTERNAL_H
#define PLATFORM_COREFOUNDATION_CFINTERNAL_H

#include <CoreFoundation/CoreFoundation.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cf {

// ---- Type IDs ---------------------------------------------------------------------------
// What CFGetTypeID returns and the <Type>GetTypeID functions report.
inline constexpr CFTypeID kAllocatorTypeID = 2;
inline constexpr CFTypeID kNullTypeID = 16;
inline constexpr CFTypeID kBooleanTypeID = 21;
inline constexpr CFTypeID kNumberTypeID = 22;
inline constexpr CFTypeID kDateTypeID = 42;
inline constexpr CFTypeID kDataTypeID = 20;
inline constexpr CFTypeID kStringTypeID = 7;
inline constexpr CFTypeID kArrayTypeID = 19;
inline constexpr CFTypeID kDictionaryTypeID = 18;
inline constexpr CFTypeID kSetTypeID = 17;
inline constexpr CFTypeID kURLTypeID = 29;
inline constexpr CFTypeID kBundleTypeID = 31;
inline constexpr CFTypeID kWriteStreamTypeID = 39;

// ---- Reference counting and identity (uncounted twins of the public calls) ---------------
CFTypeRef Retain(CFTypeRef object);  // NULL-tolerant, returns object
void Release(CFTypeRef object);      // NULL-tolerant; detects a double release
CFTypeID TypeOf(CFTypeRef object);   // 0 for NULL
bool Equal(CFTypeRef a, CFTypeRef b);
CFHashCode Hash(CFTypeRef object);
// True when the object can be changed by the mutating public calls.
bool IsMutable(CFTypeRef object);

inline bool IsString(CFTypeRef o) {
    return TypeOf(o) == kStringTypeID;
}
inline bool IsNumber(CFTypeRef o) {
    return TypeOf(o) == kNumberTypeID;
}
inline bool IsBoolean(CFTypeRef o) {
    return TypeOf(o) == kBooleanTypeID;
}
inline bool IsDate(CFTypeRef o) {
    return TypeOf(o) == kDateTypeID;
}
inline bool IsData(CFTypeRef o) {
    return TypeOf(o) == kDataTypeID;
}
inline bool IsArray(CFTypeRef o) {
    return TypeOf(o) == kArrayTypeID;
}
inline bool IsDictionary(CFTypeRef o) {
    return TypeOf(o) == kDictionaryTypeID;
}
inline bool IsURL(CFTypeRef o) {
    return TypeOf(o) == kURLTypeID;
}

// Move-only owner of one reference, for the stand-in's own code (bundle code uses CFRef).
template <class T>
class Ref {
public:
    Ref() = default;
    explicit Ref(T ref) : mRef(ref) {}  // adopts a +1 reference
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : mRef(other.Detach()) {}
    Ref& operator=(Ref&& other) noexcept {
        Reset(other.Detach());
        return *this;
    }
    ~Ref() { Reset(); }
    T Get() const { return mRef; }
    explicit operator bool() const { return mRef != nullptr; }
    void Reset(T ref = nullptr) {
        T old = std::exchange(mRef, ref);
        if (old) Release(old);
    }
    [[nodiscard]] T Detach() { return std::exchange(mRef, nullptr); }

private:
    T mRef = nullptr;
};

// ---- Strings ----------------------------------------------------------------------------
// `isMutable` makes a CFMutableStringRef (for kCFPropertyListMutableContainersAndLeaves).

// Valid UTF-8 → string; NULL for invalid UTF-8 (overlong forms, surrogates, truncation,
// values above U+10FFFF) or an allocation failure. Pure ASCII takes a fast path.
CFStringRef CreateStringFromUTF8(const uint8_t* bytes, size_t length, bool isMutable = false);
inline CFStringRef CreateStringFromUTF8(std::string_view text, bool isMutable = false) {
    return CreateStringFromUTF8(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                isMutable);
}
// UTF-16 units, copied as they are.
CFStringRef CreateStringFromUTF16(const char16_t* units, size_t count, bool isMutable = false);
// Takes over the buffer without copying.
CFStringRef CreateStringAdoptingUTF16(std::u16string&& units, bool isMutable = false);
// Bytes in any encoding CFStringCreateWithBytes accepts, same rules; NULL when invalid.
CFStringRef CreateStringWithEncoding(const uint8_t* bytes, size_t length, CFStringEncoding encoding,
                                     bool isExternalRepresentation, bool isMutable = false);

// The string's UTF-16 units (a valid pointer, possibly to an empty buffer, for any string;
// an empty view for NULL or a non-string). Valid while the string lives and is not mutated.
std::u16string_view StringUnits(CFStringRef string);
// Appends the string as UTF-8 (lone surrogates become U+FFFD).
void AppendUTF8(CFStringRef string, std::string& out);
// True when every unit is below 0x80 (cached; lets a writer copy units as bytes).
bool StringIsASCII(CFStringRef string);

// ---- Numbers, Booleans, dates -----------------------------------------------------------
CFNumberRef CreateNumber(CFNumberType type, const void* value);  // as CFNumberCreate
CFNumberRef CreateNumberSInt64(int64_t value);                   // kCFNumberSInt64Type
CFNumberRef CreateNumberFloat64(double value);                   // kCFNumberFloat64Type
// kCFNumberSInt64Type; a value above INT64_MAX is kept whole: it reads back exactly as
// kCFNumberSInt64Type only lossily, and NumberValue reports it as unsigned.
CFNumberRef CreateNumberUInt64(uint64_t value);

struct NumberValue {
    enum Kind { kSigned, kUnsigned, kReal } kind;
    int64_t s;   // valid for kSigned
    uint64_t u;  // valid for kUnsigned (only values above INT64_MAX are kUnsigned)
    double d;    // valid for kReal
};
// The number's stored value, for writers: print s, u or d by kind.
NumberValue GetNumberValue(CFNumberRef number);
CFNumberType NumberType(CFNumberRef number);

inline CFBooleanRef BooleanFor(bool value) {
    return value ? kCFBooleanTrue : kCFBooleanFalse;
}

CFDateRef CreateDate(CFAbsoluteTime at);
CFAbsoluteTime DateTime(CFDateRef date);

// ---- Data -------------------------------------------------------------------------------
CFDataRef CreateData(const uint8_t* bytes, size_t length, bool isMutable = false);
// Takes over the buffer without copying (a writer builds its output, then adopts it).
CFDataRef CreateDataAdopting(std::vector<uint8_t>&& bytes, bool isMutable = false);
// Immutable data that takes over a block from malloc/realloc (freed with free), also when
// it fails; `bytes` may be NULL only for length 0.
CFDataRef CreateDataAdoptingMalloc(uint8_t* bytes, size_t length);
const uint8_t* DataBytes(CFDataRef data);  // never NULL for a data object
size_t DataLength(CFDataRef data);

// ---- Arrays -----------------------------------------------------------------------------
// Arrays made here use kCFTypeArrayCallBacks.
CFArrayRef CreateArray(size_t capacity, bool isMutable);
// Adopts every +1 value in `values` (released if the array cannot be made).
CFArrayRef CreateArrayAdopting(std::vector<CFTypeRef>&& values, bool isMutable);
// Appends a +1 value, adopting it, also to an immutable array (for building). False (value
// released) when memory runs out.
bool ArrayAppendAdopting(CFArrayRef array, CFTypeRef value);
size_t ArrayCount(CFArrayRef array);
CFTypeRef ArrayValue(CFArrayRef array, size_t index);  // borrowed; NULL out of range
void ArrayApply(CFArrayRef array, CFArrayApplierFunction applier, void* context);

// ---- Sets -------------------------------------------------------------------------------
// +1 set of the distinct values, adopting every one (duplicates are released); NULL, with
// all of them released, on allocation failure.
CFSetRef CreateSetAdopting(std::vector<CFTypeRef>&& values);

// ---- Dictionaries -----------------------------------------------------------------------
// Dictionaries made here use kCFTypeDictionaryKeyCallBacks and kCFTypeDictionaryValueCallBacks.
CFDictionaryRef CreateDictionary(size_t capacity, bool isMutable);
// Sets key → value, adopting both +1 references, also in an immutable dictionary (for
// building). A key already present keeps its place and its original key object and gets the
// new value (last wins). False (both released) when memory runs out.
bool DictionarySetAdopting(CFDictionaryRef dictionary, CFTypeRef key, CFTypeRef value);
// A dictionary of the `count` pairs at keys and values, adopting every +1 reference (released
// on failure), duplicates as DictionarySetAdopting; NULL when memory runs out.
CFDictionaryRef CreateDictionaryAdopting(const CFTypeRef* keys, const CFTypeRef* values,
                                         size_t count, bool isMutable);
// The same for keys the caller knows to be pairwise unequal: no lookup per key.
CFDictionaryRef CreateDictionaryAdoptingDistinct(const CFTypeRef* keys, const CFTypeRef* values,
                                                 size_t count, bool isMutable);
size_t DictionaryCount(CFDictionaryRef dictionary);
// Borrowed keys and values in insertion order into arrays of DictionaryCount entries.
void DictionaryGetKeysAndValues(CFDictionaryRef dictionary, CFTypeRef* keys, CFTypeRef* values);
CFTypeRef DictionaryGetValue(CFDictionaryRef dictionary, CFTypeRef key);  // borrowed or NULL
// Pairs in insertion order.
void DictionaryApply(CFDictionaryRef dictionary, CFDictionaryApplierFunction applier,
                     void* context);

// ---- URLs and file paths ----------------------------------------------------------------
namespace url {

// True when every byte is a legal URL character (see CFURL.h).
bool IsLegalURLString(std::string_view text);
// Percent-escapes (upper-case hex) every byte of UTF-8 text that is not legal in a URL.
std::string EscapeIllegal(std::string_view utf8);
// "file://" + the escaped absolute POSIX path (made absolute against the current directory;
// a trailing '/' added when isDirectory).
std::string FileURLStringFromPath(std::string_view posixPath, bool isDirectory);
// The POSIX path of a file: URL string (host empty or localhost), escapes decoded; false for
// another scheme, a remote host, a relative string or invalid escapes.
bool PathFromFileURLString(std::string_view urlString, std::string& posixPath);
// The POSIX path of a URL object (resolved against its base); false as above.
bool PathFromURL(CFURLRef url, std::string& posixPath);
// +1 file: URL for a POSIX path, or NULL on allocation failure.
CFURLRef CreateFileURL(std::string_view posixPath, bool isDirectory);

}  // namespace url

// ---- Diagnostics ------------------------------------------------------------------------
// +1 description of any object (what CFCopyDescription returns).
CFStringRef CopyDescription(CFTypeRef object);

}  // namespace cf

#endif
