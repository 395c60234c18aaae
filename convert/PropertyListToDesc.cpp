#include "convert/PropertyListToDesc.h"

#include <Carbon/Carbon.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "common/FourCharCode.h"
#include "convert/WideInteger.h"
#include "shell/Exceptions.h"

namespace {

constexpr DescType kTypeUndefined = 0x756E6466;  // 'undf'

// State of the conversion running on this thread. The appliers' context is fixed by their
// CoreFoundation signature, so this cannot travel as an argument. Each conversion has its own:
// PropertyListToDesc saves the caller's and restores it on the way out.
struct ConversionState {
    int depth = 0;
    // A failure an applier caught but must not drop (too deep a nesting, no memory): a
    // truncated tree must not pass for a whole one. Kept as a status or a flag, so keeping it
    // needs no memory.
    int32_t fatalStatus = 0;
    bool fatalBadAlloc = false;
    // Whether a coercion handler may answer for a key's 'utxt' → 'utf8' (see IsKeywordKey).
    bool keyCoercionHandled = true;
    // Elements the applier of the innermost container has been called for so far.
    CFIndex visits = 0;
};
thread_local ConversionState tState;

bool HasFatal() {
    return tState.fatalStatus != 0 || tState.fatalBadAlloc;
}

void ThrowIfFatal() {
    if (tState.fatalBadAlloc) throw std::bad_alloc();
    if (tState.fatalStatus) ThrowStatus(tState.fatalStatus);
}

// Called from an applier's catch block: keeps the failure being handled when it must reach the
// caller, lets every other be dropped.
void KeepIfFatal() noexcept {
    try {
        throw;
    } catch (int32_t status) {
        if (status == errOSAStackOverflow || status == memFullErr) tState.fatalStatus = status;
    } catch (const std::bad_alloc&) {
        tState.fatalBadAlloc = true;
    } catch (...) {
    }
}

class DepthGuard {
public:
    DepthGuard() {
        if (tState.depth >= kMaxPropertyListDepth) ThrowStatus(errOSAStackOverflow);
        ++tState.depth;
    }
    ~DepthGuard() { --tState.depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
};

// Counts the applier calls of one container, keeping the enclosing container's count.
class VisitCount {
public:
    VisitCount() : mOuter(std::exchange(tState.visits, 0)) {}
    ~VisitCount() { tState.visits = mOuter; }
    VisitCount(const VisitCount&) = delete;
    VisitCount& operator=(const VisitCount&) = delete;
    // After an apply function: rethrows a kept failure, and refuses a container whose elements
    // were not all offered to the applier (the apply function failed without saying so).
    void Check(CFIndex expected) const {
        if (tState.visits != expected && !HasFatal()) tState.fatalStatus = coreFoundationUnknownErr;
        ThrowIfFatal();
    }

private:
    CFIndex mOuter;
};

void CreateDesc(DescType type, const void* bytes, Size size, CAEDesc& target) {
    ThrowIfError(AECreateDesc(type, bytes, size, target.Out()));
}

// One converted value: a scalar's type and bytes, put into its list or record as they are
// (AEPutPtr, no descriptor made and disposed per value), or a descriptor in `desc` for
// containers, raw descriptors and text whose characters are not at hand.
class Element {
public:
    explicit Element(CAEDesc& desc) : desc(desc) {}
    Element(const Element&) = delete;
    Element& operator=(const Element&) = delete;
    // Bytes that outlive the element (a string's characters, a data object's bytes).
    void Refer(DescType itemType, const void* itemBytes, Size itemSize) {
        direct = true, type = itemType, bytes = itemBytes, size = itemSize;
    }
    // A value of at most 8 bytes, copied.
    template <class T>
    void Copy(DescType itemType, const T& value) {
        static_assert(sizeof(T) <= sizeof mStorage);
        std::memcpy(mStorage, &value, sizeof value);
        Refer(itemType, mStorage, sizeof value);
    }
    // A descriptor of its own for the value, for the rare path that reads it back.
    void MakeDesc(CAEDesc& target) const { CreateDesc(type, bytes, size, target); }
    OSErr AppendTo(AEDescList& list) const {
        return direct ? AEPutPtr(&list, 0, type, bytes, size) : AEPutDesc(&list, 0, &desc.mDesc);
    }
    OSErr PutInto(AERecord& record, AEKeyword keyword) const {
        return direct ? AEPutParamPtr(&record, keyword, type, bytes, size)
                      : AEPutParamDesc(&record, keyword, &desc.mDesc);
    }

    CAEDesc& desc;
    bool direct = false;
    DescType type = typeNull;
    const void* bytes = nullptr;
    Size size = 0;

private:
    alignas(8) unsigned char mStorage[8];
};

void ConvertDate(CFDateRef date, Element& target) {
    LongDateTime when = 0;
    OSStatus status = UCConvertCFAbsoluteTimeToLongDateTime(CFDateGetAbsoluteTime(date), &when);
    if (status != noErr) ThrowStatus(status);
    target.Copy(typeLongDateTime, when);
}

void ConvertNumber(CFNumberRef number, Element& target) {
    CFNumberType type = CFNumberGetType(number);
    switch (type) {
        case kCFNumberFloat32Type:
        case kCFNumberFloat64Type:
        case kCFNumberFloatType:
        case kCFNumberDoubleType: {
            double value = 0;
            if (!CFNumberGetValue(number, kCFNumberDoubleType, &value))
                ThrowStatus(coreFoundationUnknownErr);
            target.Copy(typeIEEE64BitFloatingPoint, value);
            return;
        }
        case kCFNumberSInt64Type:
        case kCFNumberLongLongType: {
            int64_t value = 0;
            if (!CFNumberGetValue(number, kCFNumberSInt64Type, &value)) {
                // Above the signed range: 'ucom', rather than refusing a value the file holds.
                WideInteger wide{0, 0};
                if (CFNumberGetValue(number, kWideIntegerNumberType, &wide) && wide.high == 0 &&
                    wide.low > static_cast<uint64_t>(INT64_MAX)) {
                    target.Copy(typeUInt64, wide.low);
                    return;
                }
                ThrowStatus(coreFoundationUnknownErr);
            }
            // INT32_MIN deliberately becomes 'comp', as the range is symmetric.
            if (value >= -2147483647 && value <= 2147483647) {
                int32_t narrow = static_cast<int32_t>(value);
                target.Copy(typeSInt32, narrow);
            } else {
                target.Copy(typeSInt64, value);
            }
            return;
        }
        default: {
            int32_t value = 0;
            if (!CFNumberGetValue(number, kCFNumberSInt32Type, &value))
                ThrowStatus(coreFoundationUnknownErr);
            target.Copy(typeSInt32, value);
            return;
        }
    }
}

void ConvertArray(CFArrayRef array, CAEDesc& target) {
    DepthGuard depth;
    ThrowIfError(AECreateList(nullptr, 0, false, target.Out()));
    VisitCount visits;
    const CFIndex count = CFArrayGetCount(array);
    CFArrayApplyFunction(array, CFRangeMake(0, count), AppendListItem, &target);
    visits.Check(count);
}

// The two values of a raw-descriptor dictionary, or NULLs when the dictionary is not one (its
// values are not a string and a data object: then it is an ordinary record).
struct RawDescParts {
    CFStringRef type = nullptr;
    CFDataRef data = nullptr;
};

RawDescParts FindRawDescParts(CFDictionaryRef dict) {
    RawDescParts parts;
    if (CFDictionaryGetCount(dict) != 2 || !CFDictionaryContainsKey(dict, CFSTR("AEDescType")) ||
        !CFDictionaryContainsKey(dict, CFSTR("AEDescData")))
        return parts;
    CFTypeRef type = CFDictionaryGetValue(dict, CFSTR("AEDescType"));
    CFTypeRef data = CFDictionaryGetValue(dict, CFSTR("AEDescData"));
    if (!type || !data || CFGetTypeID(type) != CFStringGetTypeID() ||
        CFGetTypeID(data) != CFDataGetTypeID())
        return parts;
    parts.type = static_cast<CFStringRef>(type);
    parts.data = static_cast<CFDataRef>(data);
    return parts;
}

void ConvertRawDesc(const RawDescParts& parts, CAEDesc& target) {
    // Characters the string lacks, or that Mac OS Roman cannot hold, stay '*'.
    UInt8 code[4] = {'*', '*', '*', '*'};
    CFIndex length = CFStringGetLength(parts.type);
    CFStringGetBytes(parts.type, CFRangeMake(0, length < 4 ? length : 4), kCFStringEncodingMacRoman,
                     0, false, code, sizeof code, nullptr);
    DescType type = FourCCFromBytes(code);
    const UInt8* bytes = CFDataGetBytePtr(parts.data);
    CFIndex size = CFDataGetLength(parts.data);
    if (size > 0 && !bytes) ThrowStatus(coreFoundationUnknownErr);
    if (type == typeEnumerated && size == 4) {
        DescType enumerator = FourCCFromBytes(bytes);
        CreateDesc(typeEnumerated, &enumerator, sizeof enumerator, target);
        return;
    }
    CreateDesc(type, bytes, size, target);
}

// Appends a key and its value to a user-field list, both or neither: a key left without its
// value would pair every later key with the wrong value. When the key cannot be taken back
// out, the list is wrong and the whole conversion fails.
void AppendUserField(AEDescList& userFields, const Element& key, const Element& value) {
    ThrowIfError(key.AppendTo(userFields));
    const OSErr err = value.AppendTo(userFields);
    if (err == noErr) return;
    long count = 0;
    if (AECountItems(&userFields, &count) != noErr || AEDeleteItem(&userFields, count) != noErr)
        tState.fatalStatus = err;
    ThrowIfError(err);
}

// True when a coercion handler is installed that could answer for 'utxt' → 'utf8', or when that
// cannot be told.
bool KeyCoercionHandled() {
    const DescType sources[] = {typeUnicodeText, typeWildCard};
    const DescType targets[] = {typeUTF8Text, typeWildCard};
    for (DescType from : sources) {
        for (DescType to : targets) {
            for (Boolean system : {false, true}) {
                AECoercionHandlerUPP handler = nullptr;
                SRefCon refcon = nullptr;
                Boolean fromDesc = false;
                if (AEGetCoercionHandler(from, to, &handler, &refcon, &fromDesc, system) !=
                    errAEHandlerNotFound)
                    return true;
            }
        }
    }
    return false;
}

// True when a string key cannot be a quoted keyword as the built-in coercion to 'utf8' sees it:
// six UTF-8 bytes with an apostrophe first and last take two to six UTF-16 units with
// apostrophes at both ends (an unpaired surrogate becomes three bytes). Most keys are ruled out
// here without the coercion, which gives the same answer when no handler stands in for it.
bool CannotBeKeyword(CFStringRef key) {
    const CFIndex length = CFStringGetLength(key);
    return length < 2 || length > 6 || CFStringGetCharacterAtIndex(key, 0) != u'\'' ||
           CFStringGetCharacterAtIndex(key, length - 1) != u'\'';
}

// True, with the keyword, when the key's text (GetString of its descriptor) reads as a quoted
// keyword ("'abcd'", six bytes). Throws when the key's text cannot be read; the entry is then
// dropped.
bool IsKeywordKey(const void* key, const Element& keyElement, AEKeyword& keyword) {
    if (!tState.keyCoercionHandled && CFGetTypeID(key) == CFStringGetTypeID() &&
        CannotBeKeyword(static_cast<CFStringRef>(key)))
        return false;
    CAEDesc made;
    if (keyElement.direct) keyElement.MakeDesc(made);
    std::string keyText;
    (keyElement.direct ? made : keyElement.desc).GetString(keyText);
    if (keyText.size() != 6 || keyText.front() != '\'' || keyText.back() != '\'') return false;
    keyword = FourCCFromBytes(keyText.data() + 1);
    return true;
}

void ConvertDictionary(CFDictionaryRef dict, CAEDesc& target) {
    DepthGuard depth;
    RawDescParts raw = FindRawDescParts(dict);
    if (raw.type) {
        ConvertRawDesc(raw, target);
        return;
    }
    ThrowIfError(AECreateList(nullptr, 0, true, target.Out()));
    CAEDesc userFields;
    ThrowIfError(AECreateList(nullptr, 0, false, &userFields.mDesc));
    RecordFieldsContext context{&target, &userFields};
    VisitCount visits;
    CFDictionaryApplyFunction(dict, AddRecordField, &context);
    visits.Check(CFDictionaryGetCount(dict));
    // Always present, even empty; replaces a 'usrf' an entry may have put there.
    ThrowIfError(AEPutParamDesc(&target.mDesc, keyASUserRecordFields, &userFields.mDesc));
}

// Converts one value into `target`: a scalar as its bytes, anything else as a descriptor.
void Convert(CFPropertyListRef plist, Element& target) {
    CFTypeID type = CFGetTypeID(plist);
    if (type == CFNullGetTypeID()) {
        target.Copy(typeType, kTypeUndefined);
    } else if (type == CFDataGetTypeID()) {
        CFDataRef data = static_cast<CFDataRef>(plist);
        target.Refer(typeWildCard, CFDataGetBytePtr(data), CFDataGetLength(data));
    } else if (type == CFDateGetTypeID()) {
        ConvertDate(static_cast<CFDateRef>(plist), target);
    } else if (type == CFStringGetTypeID()) {
        CFStringRef string = static_cast<CFStringRef>(plist);
        const CFIndex length = CFStringGetLength(string);
        if (const UniChar* direct = CFStringGetCharactersPtr(string)) {
            target.Refer(typeUnicodeText, direct, static_cast<Size>(length) * sizeof(UniChar));
        } else {
            target.desc.SetCFString(string);
        }
    } else if (type == CFBooleanGetTypeID()) {
        Boolean value = CFBooleanGetValue(static_cast<CFBooleanRef>(plist)) ? 1 : 0;
        target.Copy(typeBoolean, value);
    } else if (type == CFNumberGetTypeID()) {
        ConvertNumber(static_cast<CFNumberRef>(plist), target);
    } else if (type == CFArrayGetTypeID()) {
        ConvertArray(static_cast<CFArrayRef>(plist), target.desc);
    } else if (type == CFDictionaryGetTypeID()) {
        ConvertDictionary(static_cast<CFDictionaryRef>(plist), target.desc);
    } else {
        ThrowStatus(coreFoundationUnknownErr);
    }
}

// The descriptor bytes one value becomes, its item header included: 'utxt' takes two bytes a
// character, '****' the data's own bytes, a scalar at most eight.
uint64_t DescriptorBytes(CFTypeRef value) {
    const CFTypeID type = CFGetTypeID(value);
    uint64_t data = 8;
    if (type == CFStringGetTypeID()) {
        data = 2 * static_cast<uint64_t>(CFStringGetLength(static_cast<CFStringRef>(value)));
    } else if (type == CFDataGetTypeID()) {
        data = static_cast<uint64_t>(CFDataGetLength(static_cast<CFDataRef>(value)));
    }
    return data + kExpansionItemBytes;
}

// Counts the values and descriptor bytes a property list expands to, up to the bounds.
class ExpansionCount {
public:
    ExpansionCount(uint64_t valueBound, uint64_t byteBound)
        : mValuesLeft(valueBound), mBytesLeft(byteBound) {}
    bool Exceeded() const { return mExceeded; }

    void Add(CFTypeRef value, int depth) {
        if (mExceeded) return;
        const uint64_t bytes = DescriptorBytes(value);
        if (mValuesLeft == 0 || bytes > mBytesLeft) {
            mExceeded = true;
            return;
        }
        --mValuesLeft;
        mBytesLeft -= bytes;
        if (depth >= kMaxPropertyListDepth) return;
        Context context{this, depth + 1};
        const CFTypeID type = CFGetTypeID(value);
        if (type == CFArrayGetTypeID()) {
            const auto array = static_cast<CFArrayRef>(value);
            CFArrayApplyFunction(array, CFRangeMake(0, CFArrayGetCount(array)), AddElement,
                                 &context);
        } else if (type == CFDictionaryGetTypeID()) {
            CFDictionaryApplyFunction(static_cast<CFDictionaryRef>(value), AddEntry, &context);
        }
    }

private:
    struct Context {
        ExpansionCount* count;
        int depth;
    };
    static void AddElement(const void* value, void* context) {
        auto& c = *static_cast<Context*>(context);
        c.count->Add(value, c.depth);
    }
    static void AddEntry(const void* key, const void* value, void* context) {
        auto& c = *static_cast<Context*>(context);
        c.count->Add(key, c.depth);
        c.count->Add(value, c.depth);
    }

    uint64_t mValuesLeft;
    uint64_t mBytesLeft;
    bool mExceeded = false;
};

}  // namespace

void PropertyListToDesc(CFPropertyListRef plist, CAEDesc& target) {
    // A conversion may start inside another on this thread (a coercion handler of a key that
    // sends its own load plist): it starts clean, and hands the outer one its state back.
    const ConversionState outer = std::exchange(tState, ConversionState{});
    struct Restore {
        const ConversionState& outer;
        ~Restore() { tState = outer; }
    } restore{outer};
    tState.keyCoercionHandled = KeyCoercionHandled();
    Element element(target);
    Convert(plist, element);
    if (element.direct) element.MakeDesc(target);
}

void AppendListItem(const void* value, void* context) {
    ++tState.visits;
    if (HasFatal()) return;  // the whole conversion fails: the rest need not be converted
    try {
        CAEDesc item;
        Element element(item);
        Convert(value, element);
        ThrowIfError(element.AppendTo(static_cast<CAEDesc*>(context)->mDesc));
    } catch (...) {
        // A failing element is left out, unless the failure must reach the caller;
        // CoreFoundation must never see an exception.
        KeepIfFatal();
    }
}

void AddRecordField(const void* key, const void* value, void* context) {
    ++tState.visits;
    if (HasFatal()) return;
    try {
        auto& fields = *static_cast<RecordFieldsContext*>(context);
        CAEDesc keyDesc;
        CAEDesc valueDesc;
        Element keyElement(keyDesc);
        Element valueElement(valueDesc);
        Convert(key, keyElement);
        Convert(value, valueElement);
        AEKeyword keyword = 0;
        if (IsKeywordKey(key, keyElement, keyword)) {
            ThrowIfError(valueElement.PutInto(fields.mRecord->mDesc, keyword));
        } else {
            AppendUserField(fields.mUserFields->mDesc, keyElement, valueElement);
        }
    } catch (...) {
        KeepIfFatal();  // as in AppendListItem
    }
}

void CheckExpansion(CFPropertyListRef plist, size_t inputBytes) {
    ExpansionCount count(std::max(kExpansionFloor, kExpansionPerInputByte * inputBytes),
                         std::max(kExpansionByteFloor, kExpansionBytesPerInputByte * inputBytes));
    count.Add(plist, 0);
    if (count.Exceeded()) ThrowStatus(memFullErr);
}
