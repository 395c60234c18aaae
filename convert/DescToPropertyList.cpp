#include "convert/DescToPropertyList.h"

#include <Carbon/Carbon.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "convert/PropertyListToDesc.h"
#include "convert/WideInteger.h"
#include "desc/CAEDesc.h"
#include "desc/CFRef.h"
#include "shell/Exceptions.h"

namespace {

// CFArrayAppendValue and CFDictionarySetValue report nothing: a value that did not go in (no
// memory for it) must fail the conversion, not leave a shorter array or dictionary.
void Append(CFMutableArrayRef array, CFTypeRef value) {
    const CFIndex before = CFArrayGetCount(array);
    CFArrayAppendValue(array, value);
    if (CFArrayGetCount(array) != before + 1) ThrowStatus(memFullErr);
}

// Sets the pairs of one new dictionary, each checked.
class DictionaryFiller {
public:
    explicit DictionaryFiller(CFMutableDictionaryRef dict) : mDict(dict) {}
    void Set(CFTypeRef key, CFTypeRef value) {
        CFDictionarySetValue(mDict, key, value);
        // A new key shows in the count; only a key that was there before needs looking up.
        const CFIndex count = CFDictionaryGetCount(mDict);
        const bool added = count == mCount + 1;
        mCount = count;
        if (!added && CFDictionaryGetValue(mDict, key) != value) ThrowStatus(memFullErr);
    }

private:
    CFMutableDictionaryRef mDict;
    CFIndex mCount = 0;  // made empty
};

// Nested lists and records are the only recursion; each one is a level, and so is the
// dictionary a raw descriptor becomes, which the property-list reader counts like any other.
void EnterLevel(int depth) {
    if (depth > kMaxPropertyListDepth) ThrowStatus(errOSAStackOverflow);
}

template <class T>
T CreatedOrThrow(T object) {
    if (!object) ThrowStatus(memFullErr);
    return object;
}

// The descriptor's own bytes (the flat form for a list or record). Zero bytes are not fetched:
// a 'null' descriptor has no storage to copy from.
std::vector<UInt8> CopyDescData(const AEDesc& desc) {
    std::vector<UInt8> bytes(static_cast<size_t>(AEGetDescDataSize(&desc)), 0);
    if (!bytes.empty())
        ThrowIfError(AEGetDescData(&desc, bytes.data(), static_cast<Size>(bytes.size())));
    return bytes;
}

CFDataRef CreateDataOfDesc(const AEDesc& desc) {
    std::vector<UInt8> bytes = CopyDescData(desc);
    return CreatedOrThrow(
        CFDataCreate(kCFAllocatorDefault, bytes.data(), static_cast<CFIndex>(bytes.size())));
}

// Four bytes of a code in reading order, the most significant first.
void CodeBytes(FourCharCode code, char out[4]) {
    out[0] = static_cast<char>(code >> 24);
    out[1] = static_cast<char>(code >> 16);
    out[2] = static_cast<char>(code >> 8);
    out[3] = static_cast<char>(code);
}

CFMutableDictionaryRef CreateRawDescDictionary(const AEDesc& desc, int depth) {
    EnterLevel(depth);
    CFRef<CFMutableDictionaryRef> dict(CFDictionaryCreateMutable(
        kCFAllocatorDefault, 2, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    if (!dict) ThrowStatus(coreFoundationUnknownErr);
    char code[4];
    CodeBytes(desc.descriptorType, code);
    char text[5];
    // "%.4s" ends the text at a zero byte inside the code.
    std::snprintf(text, sizeof text, "%.4s", code);
    CFRef<CFStringRef> type(CreatedOrThrow(
        CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingMacRoman)));
    CFRef<CFDataRef> data;
    // An enumerator is kept in reading order; 'enum' data of another size is kept as it is.
    if (desc.descriptorType == typeEnumerated && AEGetDescDataSize(&desc) == 4) {
        char enumerator[4];
        CodeBytes(CAEDescReader(&desc).GetEnum(), enumerator);
        data.Reset(CreatedOrThrow(CFDataCreate(
            kCFAllocatorDefault, reinterpret_cast<const UInt8*>(enumerator), sizeof enumerator)));
    } else {
        data.Reset(CreateDataOfDesc(desc));
    }
    DictionaryFiller filler(dict.Get());
    filler.Set(CFSTR("AEDescType"), type.Get());
    filler.Set(CFSTR("AEDescData"), data.Get());
    return dict.Detach();
}

// The integer a 'ucom' holds when it lies above the signed 64-bit range: what an integer above
// INT64_MAX in a property list loads as, so it must go back to the file as the same integer.
// NULL for any other 'ucom', which is stored as a raw descriptor.
CFNumberRef CreateNumberAboveInt64(const AEDesc& desc) {
    uint64_t value = 0;
    if (AEGetDescDataSize(&desc) != static_cast<Size>(sizeof value)) return nullptr;
    ThrowIfError(AEGetDescData(&desc, &value, static_cast<Size>(sizeof value)));
    if (value <= static_cast<uint64_t>(INT64_MAX)) return nullptr;
    WideInteger wide{0, value};
    return CreatedOrThrow(CFNumberCreate(kCFAllocatorDefault, kWideIntegerNumberType, &wide));
}

// A 'magn' read as 'long' through the coercion GetSInt32 makes. A value above 2^31 - 1 that
// coercion refuses is stored whole as a 64-bit integer rather than failing the store.
CFNumberRef CreateMagnitudeNumber(const AEDesc& desc) {
    SInt32 value = 0;
    try {
        value = CAEDescReader(&desc).GetSInt32();
    } catch (int32_t) {
        uint32_t magnitude = 0;
        if (AEGetDescDataSize(&desc) != static_cast<Size>(sizeof magnitude) ||
            AEGetDescData(&desc, &magnitude, static_cast<Size>(sizeof magnitude)) != noErr ||
            magnitude <= static_cast<uint32_t>(INT32_MAX))
            throw;
        SInt64 whole = magnitude;
        return CreatedOrThrow(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt64Type, &whole));
    }
    return CreatedOrThrow(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &value));
}

CFDateRef ConvertDate(LongDateTime local) {
    CFAbsoluteTime when = 0;
    ThrowIfStatus(UCConvertLongDateTimeToCFAbsoluteTime(local, &when));
    return CreatedOrThrow(CFDateCreate(kCFAllocatorDefault, when));
}

// "'abcd'", cut at a zero byte. ASCII where it can be; a byte of 0x80 or above has no ASCII
// character, so such a key is spelled in Mac OS Roman rather than lost.
CFStringRef CreateKeywordKey(AEKeyword keyword) {
    char code[4];
    CodeBytes(keyword, code);
    char text[7];
    std::snprintf(text, sizeof text, "'%.4s'", code);
    bool ascii = true;
    for (const char* c = text; *c; ++c) ascii = ascii && static_cast<unsigned char>(*c) < 0x80;
    return CreatedOrThrow(CFStringCreateWithCString(
        kCFAllocatorDefault, text, ascii ? kCFStringEncodingASCII : kCFStringEncodingMacRoman));
}

// Dictionary keys recur in every record of a list: a library's thousands of tracks share some
// forty. One conversion therefore makes each short key once and shares it, which saves
// creating, hashing and releasing most of the strings of a large value. The table is bounded,
// so a dictionary of unique keys costs no more than before.
class KeyStrings {
public:
    // The key last made at one place: records of a list give their keys in the same order, so
    // the key at the same depth and position in the previous record is compared first, which
    // spares the hash and the probe.
    struct Recent {
        std::u16string units;
        CFRef<CFStringRef> string;  // NULL: nothing to predict
    };

    // The places of the keys of a record at `depth` with `keys` keys, in order; NULL for a record
    // deeper or wider than places are kept for, which bounds the memory a value can make them
    // take.
    Recent* Places(int depth, long keys) {
        const auto level = static_cast<size_t>(depth);
        if (level >= kMaxPlaceDepth || keys <= 0 || static_cast<size_t>(keys) > kMaxPlaceKeys)
            return nullptr;
        // A record's values are deeper: converting them never resizes these places.
        std::vector<Recent>& places = mRecent[level];
        if (places.size() < static_cast<size_t>(keys)) places.resize(static_cast<size_t>(keys));
        return places.data();
    }

    // The string of `units`, shared with earlier keys of the same units. A short key with a
    // place (`recent`) is held there until the next record at that place, and the caller
    // borrows it (`borrowed`); the caller owns any other.
    CFStringRef Create(const UniChar* units, CFIndex count, Recent* recent, bool& borrowed) {
        const std::u16string_view text(reinterpret_cast<const char16_t*>(units),
                                       static_cast<size_t>(count));
        borrowed = false;
        if (text.size() > kMaxUnits)
            return CreatedOrThrow(CFStringCreateWithCharacters(kCFAllocatorDefault, units, count));
        if (recent && recent->string && recent->units.size() == text.size() &&
            std::memcmp(recent->units.data(), units, text.size() * sizeof(UniChar)) == 0) {
            borrowed = true;
            return recent->string.Get();
        }
        CFRef<CFStringRef> key(Shared(text));
        if (!key || !recent) return key.Detach();
        borrowed = true;
        return Hold(*recent, text, key);
    }

private:
    struct Entry {
        uint64_t hash = 0;
        std::u16string units;
        CFRef<CFStringRef> string;  // NULL for a free slot
    };
    static constexpr size_t kMaxUnits = 64;
    static constexpr size_t kMaxSlots = 4096;  // a power of two, at most half of it used
    static constexpr size_t kMaxPlaceDepth = 32;
    static constexpr size_t kMaxPlaceKeys = 256;

    // `key`, now held by its place `recent`.
    static CFStringRef Hold(Recent& recent, std::u16string_view text, CFRef<CFStringRef>& key) {
        recent.string.Reset();  // predicts nothing should the copy of the units fail
        recent.units.assign(text);
        recent.string.Reset(key.Detach());
        return recent.string.Get();
    }

    // The table's string of `text`, made when it is not there yet; owned by the caller.
    CFStringRef Shared(std::u16string_view text) {
        const auto* units = reinterpret_cast<const UniChar*>(text.data());
        const auto count = static_cast<CFIndex>(text.size());
        const uint64_t hash = HashOf(text);
        Entry* slot = Find(text, hash);
        if (slot && slot->string) return static_cast<CFStringRef>(CFRetain(slot->string.Get()));
        CFRef<CFStringRef> key(
            CreatedOrThrow(CFStringCreateWithCharacters(kCFAllocatorDefault, units, count)));
        if (slot) {
            slot->hash = hash;
            slot->units.assign(text);
            slot->string.Reset(static_cast<CFStringRef>(CFRetain(key.Get())));
            ++mUsed;
        }
        return key.Detach();
    }

    static uint64_t HashOf(std::u16string_view text) {
        uint64_t hash = 0xcbf29ce484222325ULL;
        for (char16_t unit : text) hash = (hash ^ unit) * 0x100000001b3ULL;
        return hash ^ (hash >> 29);
    }

    // The entry holding `text`, else the free slot it would go in; NULL when the table is full.
    Entry* Find(std::u16string_view text, uint64_t hash) {
        if (mUsed * 2 >= mSlots.size() && !Grow()) return Probe(text, hash, false);
        return Probe(text, hash, true);
    }

    Entry* Probe(std::u16string_view text, uint64_t hash, bool freeSlotWanted) {
        if (mSlots.empty()) return nullptr;
        const size_t mask = mSlots.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            Entry& entry = mSlots[i];
            if (!entry.string) return freeSlotWanted ? &entry : nullptr;
            if (entry.hash == hash && entry.units == text) return &entry;
        }
    }

    // Doubles the table (from 64 slots); false once it is as large as it may be.
    bool Grow() {
        if (mSlots.size() >= kMaxSlots) return false;
        std::vector<Entry> old(std::max<size_t>(64, mSlots.size() * 2));
        old.swap(mSlots);
        for (Entry& entry : old)
            if (entry.string) *Probe(entry.units, entry.hash, true) = std::move(entry);
        return true;
    }

    std::vector<Entry> mSlots;
    size_t mUsed = 0;
    std::array<std::vector<Recent>, kMaxPlaceDepth> mRecent;  // by depth, then position
};

template <class T>
T ValueOf(const void* bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// A scalar item of `type` from its `size` bytes, converted as Convert converts its descriptor;
// NULL for any other type or size (a size the readers refuse or coerce goes through them).
CFPropertyListRef ConvertScalar(DescType type, const void* bytes, Size size) {
    const auto sized = [size](size_t expected) { return size == static_cast<Size>(expected); };
    switch (type) {
        case typeSInt32:
        case typeSInt16: {
            if (!sized(type == typeSInt32 ? 4 : 2)) return nullptr;
            SInt32 value = type == typeSInt32 ? ValueOf<SInt32>(bytes) : ValueOf<SInt16>(bytes);
            return CreatedOrThrow(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &value));
        }
        case typeSInt64: {
            if (!sized(8)) return nullptr;
            SInt64 value = ValueOf<SInt64>(bytes);
            return CreatedOrThrow(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt64Type, &value));
        }
        case typeIEEE64BitFloatingPoint:
        case typeIEEE32BitFloatingPoint: {
            if (!sized(type == typeIEEE64BitFloatingPoint ? 8 : 4)) return nullptr;
            double value =
                type == typeIEEE64BitFloatingPoint ? ValueOf<double>(bytes) : ValueOf<float>(bytes);
            return CreatedOrThrow(CFNumberCreate(kCFAllocatorDefault, kCFNumberDoubleType, &value));
        }
        case typeLongDateTime:
            return sized(8) ? ConvertDate(ValueOf<LongDateTime>(bytes)) : nullptr;
        case typeBoolean:
            if (!sized(1)) return nullptr;
            return ValueOf<uint8_t>(bytes) != 0 ? kCFBooleanTrue : kCFBooleanFalse;
        case typeTrue:
            return kCFBooleanTrue;
        case typeFalse:
            return kCFBooleanFalse;
        case typeWildCard:
            return CreatedOrThrow(CFDataCreate(
                kCFAllocatorDefault, static_cast<const UInt8*>(bytes), static_cast<CFIndex>(size)));
        default:
            return nullptr;
    }
}

// One conversion: the recursion over the descriptor, and the keys it shares.
class Converter {
public:
    CFPropertyListRef Convert(const AEDesc& desc, int depth);
    CFMutableDictionaryRef ConvertRecord(const AEDesc& record, int depth);

private:
    // A user-field key being read: its place among the keys, if it has one, and whether the
    // string came back borrowed from that place.
    struct KeyItem {
        KeyStrings::Recent* place;
        bool borrowed = false;
    };
    CFPropertyListRef ConvertPlainItem(const AEDescList& list, long index, KeyItem* key);
    CFStringRef ConvertLongText(const AEDescList& list, long index, Size size, KeyItem* key);
    CFStringRef CreateText(const UniChar* units, CFIndex count, KeyItem* key);
    CFPropertyListRef ConvertNthItem(const AEDescList& list, long index, CAEDesc& item, int depth,
                                     KeyItem* key = nullptr);
    CFPropertyListRef ConvertNthValue(const AEDescList& list, long index, CAEDesc& item, int depth,
                                      bool& containers);
    CFPropertyListRef ConvertNthDesc(const AEDescList& list, long index, CAEDesc& item, int depth);
    CFMutableArrayRef ConvertList(const AEDesc& list, int depth);
    long UserFields(const AEDesc& record, CAEDesc& userFields);
    void AddUserFields(const AEDesc& userFields, long pairs, DictionaryFiller& dict, int depth);
    void AddKeywordFields(const AEDesc& record, long count, DictionaryFiller& dict, int depth);

    KeyStrings mKeys;
};

// Text, numbers, dates, Booleans and data, the bulk of a library, read straight out of their
// list with AEGetNthPtr: the same bytes that a copy of the item would give, without the copy.
// One read into a stack buffer gives the type and most items whole; only longer text is read
// again at its size. NULL for any other item, which goes through a descriptor of its own.
CFPropertyListRef Converter::ConvertPlainItem(const AEDescList& list, long index, KeyItem* key) {
    UniChar first[CUniCharBuffer::kStackUnits];  // only the bytes the read gives are used
    AEKeyword keyword = 0;
    DescType type = typeNull;
    Size size = 0;
    ThrowIfError(
        AEGetNthPtr(&list, index, typeWildCard, &keyword, &type, first, sizeof first, &size));
    if (type != typeUnicodeText)
        return size <= static_cast<Size>(sizeof first) ? ConvertScalar(type, first, size) : nullptr;
    if (size <= static_cast<Size>(sizeof first))
        return CreateText(first, static_cast<CFIndex>(size / 2), key);
    return ConvertLongText(list, index, size, key);
}

CFStringRef Converter::ConvertLongText(const AEDescList& list, long index, Size size,
                                       KeyItem* key) {
    CUniCharBuffer units((static_cast<std::size_t>(size) + 1) / 2);
    AEKeyword keyword = 0;
    DescType type = typeNull;
    ThrowIfError(
        AEGetNthPtr(&list, index, typeWildCard, &keyword, &type, units.Data(), size, &size));
    return CreateText(units.Data(), static_cast<CFIndex>(size / 2), key);
}

CFStringRef Converter::CreateText(const UniChar* units, CFIndex count, KeyItem* key) {
    if (!key)
        return CreatedOrThrow(CFStringCreateWithCharacters(kCFAllocatorDefault, units, count));
    return mKeys.Create(units, count, key->place, key->borrowed);
}

// Item `index` of a list converted; `item` is scratch for items that need a descriptor. Only a
// key (`key` given) may come back borrowed.
CFPropertyListRef Converter::ConvertNthItem(const AEDescList& list, long index, CAEDesc& item,
                                            int depth, KeyItem* key) {
    if (CFPropertyListRef plain = ConvertPlainItem(list, index, key)) return plain;
    return ConvertNthDesc(list, index, item, depth);
}

// Item `index` of a list, fetched into `item` as a descriptor and converted.
CFPropertyListRef Converter::ConvertNthDesc(const AEDescList& list, long index, CAEDesc& item,
                                            int depth) {
    item.Dispose();
    AEKeyword keyword = 0;
    ThrowIfError(AEGetNthDesc(&list, index, typeWildCard, &keyword, &item.mDesc));
    return Convert(item.mDesc, depth);
}

// Item `index` of a list of values, where a list or record most likely follows another (a
// library's tracks, a playlist's items): after one, the next item is fetched as a descriptor
// straight away, since reading it as a plain item would copy part of its flat form for
// nothing. `containers` says what the previous item was. The result is the same either way.
CFPropertyListRef Converter::ConvertNthValue(const AEDescList& list, long index, CAEDesc& item,
                                             int depth, bool& containers) {
    if (!containers) {
        if (CFPropertyListRef plain = ConvertPlainItem(list, index, nullptr)) return plain;
    }
    CFPropertyListRef value = ConvertNthDesc(list, index, item, depth);
    containers =
        item.mDesc.descriptorType == typeAEList || item.mDesc.descriptorType == typeAERecord;
    return value;
}

CFMutableArrayRef Converter::ConvertList(const AEDesc& list, int depth) {
    EnterLevel(depth);
    long count = 0;
    ThrowIfError(AECountItems(&list, &count));
    CFRef<CFMutableArrayRef> array(
        CFArrayCreateMutable(kCFAllocatorDefault, count, &kCFTypeArrayCallBacks));
    if (!array) ThrowStatus(coreFoundationUnknownErr);
    CAEDesc item;
    bool containers = false;
    for (long index = 1; index <= count; ++index) {
        CFRef<CFPropertyListRef> value(ConvertNthValue(list, index, item, depth + 1, containers));
        Append(array.Get(), value.Get());
    }
    return array.Detach();
}

CFPropertyListRef Converter::Convert(const AEDesc& desc, int depth) {
    CAEDescReader reader(&desc);
    switch (desc.descriptorType) {
        case typeUnicodeText:
        case typeUTF8Text:
        case typeChar:
        case typeStyledText:
        case typeStyledUnicodeText:
        case typeIntlText: {
            CFStringRef text = nullptr;
            reader.GetCFString(text);
            return text;
        }
        case typeBoolean:
            return reader.GetBoolean() ? kCFBooleanTrue : kCFBooleanFalse;
        case typeTrue:
            return kCFBooleanTrue;
        case typeFalse:
            return kCFBooleanFalse;
        case typeSInt16:
        case typeSInt32: {
            SInt32 value = reader.GetSInt32();
            return CreatedOrThrow(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &value));
        }
        case typeUInt32:
            return CreateMagnitudeNumber(desc);
        case typeUInt64:
            if (CFNumberRef number = CreateNumberAboveInt64(desc)) return number;
            return CreateRawDescDictionary(desc, depth);
        case typeSInt64: {
            SInt64 value = reader.GetSInt64();
            return CreatedOrThrow(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt64Type, &value));
        }
        case typeIEEE32BitFloatingPoint:
        case typeIEEE64BitFloatingPoint: {
            double value = reader.GetDouble();
            return CreatedOrThrow(CFNumberCreate(kCFAllocatorDefault, kCFNumberDoubleType, &value));
        }
        case typeLongDateTime:
            return ConvertDate(reader.GetLongDateTime());
        case typeAEList:
            return ConvertList(desc, depth);
        case typeAERecord:
            return ConvertRecord(desc, depth);
        case typeWildCard:
            return CreateDataOfDesc(desc);
        default:
            return CreateRawDescDictionary(desc, depth);
    }
}

// The record's user-field list and its number of pairs; 0 pairs when it has none, which is what
// any failure of the size probe means.
long Converter::UserFields(const AEDesc& record, CAEDesc& userFields) {
    DescType type = 0;
    Size size = 0;
    if (AESizeOfParam(&record, keyASUserRecordFields, &type, &size) != noErr) return 0;
    ThrowIfError(AEGetParamDesc(&record, keyASUserRecordFields, typeWildCard, &userFields.mDesc));
    long count = 0;
    ThrowIfError(AECountItems(&userFields.mDesc, &count));
    return count / 2;
}

void Converter::AddUserFields(const AEDesc& userFields, long pairs, DictionaryFiller& dict,
                              int depth) {
    CAEDesc key;
    CAEDesc value;
    KeyStrings::Recent* places = mKeys.Places(depth, pairs);
    bool containers = false;
    for (long pair = 1; pair <= pairs; ++pair) {
        KeyItem item{places ? places + (pair - 1) : nullptr};
        CFPropertyListRef keyObject =
            ConvertNthItem(userFields, 2 * pair - 1, key, depth + 1, &item);
        CFRef<CFPropertyListRef> ownedKey(item.borrowed ? nullptr : keyObject);
        CFRef<CFPropertyListRef> valueObject(
            ConvertNthValue(userFields, 2 * pair, value, depth + 1, containers));
        dict.Set(keyObject, valueObject.Get());
    }
}

void Converter::AddKeywordFields(const AEDesc& record, long count, DictionaryFiller& dict,
                                 int depth) {
    CAEDesc field;
    for (long index = 1; index <= count; ++index) {
        AEKeyword keyword = 0;
        DescType type = 0;
        Size size = 0;
        ThrowIfError(AEGetNthPtr(&record, index, typeWildCard, &keyword, &type, nullptr, 0, &size));
        if (keyword == keyASUserRecordFields) continue;
        field.Dispose();
        ThrowIfError(AEGetParamDesc(&record, keyword, typeWildCard, &field.mDesc));
        CFRef<CFStringRef> key(CreateKeywordKey(keyword));
        CFRef<CFPropertyListRef> value(Convert(field.mDesc, depth + 1));
        dict.Set(key.Get(), value.Get());
    }
}

CFMutableDictionaryRef Converter::ConvertRecord(const AEDesc& record, int depth) {
    EnterLevel(depth);
    CFRef<CFMutableDictionaryRef> dict(CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    if (!dict) ThrowStatus(coreFoundationUnknownErr);
    DictionaryFiller filler(dict.Get());
    CAEDesc userFields;
    const long pairs = UserFields(record, userFields);
    if (pairs > 0) AddUserFields(userFields.mDesc, pairs, filler, depth);
    long fields = 0;
    ThrowIfError(AECountItems(&record, &fields));
    AddKeywordFields(record, fields, filler, depth);
    return dict.Detach();
}

}  // namespace

CFPropertyListRef DescToPropertyList(const AEDesc& desc) {
    return Converter().Convert(desc, 1);
}

CFMutableDictionaryRef RecordToDictionary(const AEDesc& record) {
    return Converter().ConvertRecord(record, 1);
}
