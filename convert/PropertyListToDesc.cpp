#include "convert/PropertyListToDesc.h"

#include <CoreServices/CoreServices.h>

#include <cstdint>
#include <string>

#include "common/FourCharCode.h"
#include "shell/Exceptions.h"

namespace {

constexpr DescType kTypeUndefined = 0x756E6466;  // 'undf'

// Nesting state of the conversion running on this thread. The appliers' context is fixed by
// their CoreFoundation signature, so it cannot travel as an argument. `overflow` carries a
// too-deep nesting past the appliers, which drop every other failure: a truncated tree must
// not pass for a whole one.
struct Nesting {
    int depth = 0;
    bool overflow = false;
};
thread_local Nesting tNesting;

class DepthGuard {
public:
    DepthGuard() {
        if (tNesting.depth >= kMaxPropertyListDepth) {
            tNesting.overflow = true;
            ThrowStatus(errOSAStackOverflow);
        }
        ++tNesting.depth;
    }
    ~DepthGuard() { --tNesting.depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
};

// Called by the appliers for the failure they drop. Nesting too deep for us or for the Apple
// Event Manager (which refuses deeper descriptors with the same status) must still reach the
// caller.
void NoteDroppedFailure(int32_t status) {
    if (status == errOSAStackOverflow) tNesting.overflow = true;
}

void ThrowIfNestedTooDeep() {
    if (tNesting.overflow) ThrowStatus(errOSAStackOverflow);
}

void CreateDesc(DescType type, const void* bytes, Size size, CAEDesc& target) {
    ThrowIfError(AECreateDesc(type, bytes, size, target.Out()));
}

void ConvertDate(CFDateRef date, CAEDesc& target) {
    LongDateTime when = 0;
    OSStatus status = UCConvertCFAbsoluteTimeToLongDateTime(CFDateGetAbsoluteTime(date), &when);
    if (status != noErr) ThrowStatus(status);
    CreateDesc(typeLongDateTime, &when, sizeof when, target);
}

void ConvertNumber(CFNumberRef number, CAEDesc& target) {
    CFNumberType type = CFNumberGetType(number);
    switch (type) {
        case kCFNumberFloat32Type:
        case kCFNumberFloat64Type:
        case kCFNumberFloatType:
        case kCFNumberDoubleType: {
            double value = 0;
            if (!CFNumberGetValue(number, kCFNumberDoubleType, &value))
                ThrowStatus(coreFoundationUnknownErr);
            CreateDesc(typeIEEE64BitFloatingPoint, &value, sizeof value, target);
            return;
        }
        case kCFNumberSInt64Type:
        case kCFNumberLongLongType: {
            int64_t value = 0;
            if (!CFNumberGetValue(number, kCFNumberSInt64Type, &value))
                ThrowStatus(coreFoundationUnknownErr);
            // INT32_MIN deliberately becomes 'comp', as the range is symmetric.
            if (value >= -2147483647 && value <= 2147483647) {
                int32_t narrow = static_cast<int32_t>(value);
                CreateDesc(typeSInt32, &narrow, sizeof narrow, target);
            } else {
                CreateDesc(typeSInt64, &value, sizeof value, target);
            }
            return;
        }
        default: {
            int32_t value = 0;
            if (!CFNumberGetValue(number, kCFNumberSInt32Type, &value))
                ThrowStatus(coreFoundationUnknownErr);
            CreateDesc(typeSInt32, &value, sizeof value, target);
            return;
        }
    }
}

void ConvertArray(CFArrayRef array, CAEDesc& target) {
    DepthGuard depth;
    ThrowIfError(AECreateList(nullptr, 0, false, target.Out()));
    CFArrayApplyFunction(array, CFRangeMake(0, CFArrayGetCount(array)), AppendListItem, &target);
    ThrowIfNestedTooDeep();
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
    CFDictionaryApplyFunction(dict, AddRecordField, &context);
    ThrowIfNestedTooDeep();
    // Always present, even empty; replaces a 'usrf' an entry may have put there.
    ThrowIfError(AEPutParamDesc(&target.mDesc, keyASUserRecordFields, &userFields.mDesc));
}

}  // namespace

void PropertyListToDesc(CFPropertyListRef plist, CAEDesc& target) {
    if (tNesting.depth == 0) tNesting.overflow = false;
    CFTypeID type = CFGetTypeID(plist);
    if (type == CFNullGetTypeID()) {
        DescType undefined = kTypeUndefined;
        CreateDesc(typeType, &undefined, sizeof undefined, target);
    } else if (type == CFDataGetTypeID()) {
        CFDataRef data = static_cast<CFDataRef>(plist);
        CreateDesc(typeWildCard, CFDataGetBytePtr(data), CFDataGetLength(data), target);
    } else if (type == CFDateGetTypeID()) {
        ConvertDate(static_cast<CFDateRef>(plist), target);
    } else if (type == CFStringGetTypeID()) {
        target.SetCFString(static_cast<CFStringRef>(plist));
    } else if (type == CFBooleanGetTypeID()) {
        Boolean value = CFBooleanGetValue(static_cast<CFBooleanRef>(plist)) ? 1 : 0;
        CreateDesc(typeBoolean, &value, sizeof value, target);
    } else if (type == CFNumberGetTypeID()) {
        ConvertNumber(static_cast<CFNumberRef>(plist), target);
    } else if (type == CFArrayGetTypeID()) {
        ConvertArray(static_cast<CFArrayRef>(plist), target);
    } else if (type == CFDictionaryGetTypeID()) {
        ConvertDictionary(static_cast<CFDictionaryRef>(plist), target);
    } else {
        ThrowStatus(coreFoundationUnknownErr);
    }
}

void AppendListItem(const void* value, void* context) {
    try {
        CAEDesc item;
        PropertyListToDesc(value, item);
        ThrowIfError(AEPutDesc(&static_cast<CAEDesc*>(context)->mDesc, 0, &item.mDesc));
    } catch (int32_t status) {
        NoteDroppedFailure(status);
    } catch (...) {
        // A failing element is left out; CoreFoundation must never see an exception.
    }
}

void AddRecordField(const void* key, const void* value, void* context) {
    try {
        auto& fields = *static_cast<RecordFieldsContext*>(context);
        CAEDesc keyDesc;
        CAEDesc valueDesc;
        PropertyListToDesc(key, keyDesc);
        PropertyListToDesc(value, valueDesc);
        std::string keyText;
        keyDesc.GetString(keyText);
        if (keyText.size() == 6 && keyText.front() == '\'' && keyText.back() == '\'') {
            AEKeyword keyword = FourCCFromBytes(keyText.data() + 1);
            ThrowIfError(AEPutParamDesc(&fields.mRecord->mDesc, keyword, &valueDesc.mDesc));
        } else {
            ThrowIfError(AEPutDesc(&fields.mUserFields->mDesc, 0, &keyDesc.mDesc));
            ThrowIfError(AEPutDesc(&fields.mUserFields->mDesc, 0, &valueDesc.mDesc));
        }
    } catch (int32_t status) {
        NoteDroppedFailure(status);
    } catch (...) {
        // A failing entry is left out; CoreFoundation must never see an exception.
    }
}
