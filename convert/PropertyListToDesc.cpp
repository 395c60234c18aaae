#include "convert/PropertyListToDesc.h"

#include <CoreServices/CoreServices.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "common/FourCharCode.h"
#include "shell/Exceptions.h"

namespace {

constexpr DescType kTypeUndefined = 0x756E6466;  // 'undf'

// State of the conversion running on this thread. The appliers' context is fixed by their
// CoreFoundation signature, so this cannot travel as an argument.
struct ConversionState {
    int depth = 0;
    // A failure an applier caught but must not drop (too deep a nesting, no memory, the
    // budget): a truncated tree must not pass for a whole one. Kept as a status or a message,
    // so keeping it needs no memory.
    int32_t fatalStatus = 0;
    const char* fatalMessage = nullptr;
    // Elements the applier of the innermost container has been called for so far.
    CFIndex visits = 0;
    // Values still allowed while a ConversionBudget is in force.
    bool bounded = false;
    uint64_t remaining = 0;
};
thread_local ConversionState tState;

bool HasFatal() {
    return tState.fatalStatus != 0 || tState.fatalMessage != nullptr;
}

void ThrowIfFatal() {
    if (tState.fatalMessage) ThrowMessage(tState.fatalMessage);
    if (tState.fatalStatus) ThrowStatus(tState.fatalStatus);
}

// Called from an applier's catch block: keeps the failure being handled when it must reach the
// caller, lets every other be dropped.
void KeepIfFatal() noexcept {
    try {
        throw;
    } catch (int32_t status) {
        if (status == errOSAStackOverflow || status == memFullErr) tState.fatalStatus = status;
    } catch (const char* message) {
        if (message == kExpansionBudgetExceeded) tState.fatalMessage = message;
    } catch (const std::bad_alloc&) {
        tState.fatalStatus = memFullErr;
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

void SpendBudget() {
    if (!tState.bounded) return;
    if (tState.remaining == 0) ThrowMessage(kExpansionBudgetExceeded);
    --tState.remaining;
}

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
            // Above the signed range: 'ucom', rather than losing the value.
            CFSInt128Struct wide{0, 0};
            if (CFNumberGetValue(number, kCFNumberSInt128Type, &wide) && wide.high == 0 &&
                wide.low > static_cast<uint64_t>(INT64_MAX)) {
                target.Copy(typeUInt64, wide.low);
                return;
            }
            int64_t value = 0;
            if (!CFNumberGetValue(number, kCFNumberSInt64Type, &value))
                ThrowStatus(coreFoundationUnknownErr);
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

// A set (from a binary property list) loads as a list of its values rather than being lost.
void ConvertSet(CFSetRef set, CAEDesc& target) {
    DepthGuard depth;
    ThrowIfError(AECreateList(nullptr, 0, false, target.Out()));
    VisitCount visits;
    const CFIndex count = CFSetGetCount(set);
    CFSetApplyFunction(set, AppendListItem, &target);
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

// False when a string key cannot be a quoted keyword: that takes six UTF-8 bytes with an
// apostrophe first and last, so two to six UTF-16 units with apostrophes at both ends. Most keys
// are ruled out here without turning the key's descriptor into UTF-8.
bool CannotBeKeyword(CFStringRef key) {
    const CFIndex length = CFStringGetLength(key);
    return length < 2 || length > 6 || CFStringGetCharacterAtIndex(key, 0) != u'\'' ||
           CFStringGetCharacterAtIndex(key, length - 1) != u'\'';
}

// True, with the keyword, when the key reads as a quoted keyword ("'abcd'", six bytes of
// UTF-8). Throws when the key's text cannot be read; the entry is then dropped.
bool IsKeywordKey(const void* key, const Element& keyElement, AEKeyword& keyword) {
    if (CFGetTypeID(key) == CFStringGetTypeID() && CannotBeKeyword(static_cast<CFStringRef>(key)))
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
    SpendBudget();
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
    } else if (type == CFSetGetTypeID()) {
        ConvertSet(static_cast<CFSetRef>(plist), target.desc);
    } else {
        ThrowStatus(coreFoundationUnknownErr);
    }
}

}  // namespace

void PropertyListToDesc(CFPropertyListRef plist, CAEDesc& target) {
    if (tState.depth == 0) tState.fatalStatus = 0, tState.fatalMessage = nullptr;
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

ConversionBudget::ConversionBudget(size_t inputBytes)
    : mOuterBounded(tState.bounded), mOuterRemaining(tState.remaining) {
    tState.bounded = true;
    tState.remaining = kBudgetPerInputByte * static_cast<uint64_t>(inputBytes) + kBudgetFloor;
}

ConversionBudget::~ConversionBudget() {
    tState.bounded = mOuterBounded;
    tState.remaining = mOuterRemaining;
}
