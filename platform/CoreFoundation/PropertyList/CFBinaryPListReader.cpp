// The binary property-list reader ("bplist00"). The trailer is validated before anything is
// indexed, every read is checked against the end of the object area, and the object graph is
// checked for cycles along the current path and for nesting deeper than kMaxDepth.
//
// As the real reader does: any "bplist0" version is read; the offset table must end where the
// trailer begins and objects must lie before it; an ASCII string (0x5_) is read as Latin 1;
// a UTF-16 string must be well formed and not empty; a UID (0x8_, 1 to 16 bytes) must fit 32
// bits; of duplicate dictionary keys the first wins; keys may be any scalar (the XML writer
// then refuses the dictionary), never a container; a count may be a 16-byte integer.
// Choices where the real reader is silent or lossy:
//  - a 16-byte integer is kept when its high half is zero (as an unsigned value) or the sign
//    extension of a negative low half; any other is refused instead of truncated;
//  - a UID is the dictionary {"CF$UID": n}, which is how the XML writer prints a UID anyway;
//    null (0x00) is kCFNull, which no writer accepts;
//  - a set (0xC_) is a CFSet, which the XML writer refuses as the real one does; fill bytes
//    and other markers are refused;
//  - objects are shared, not copied, where they are referenced several times, except mutable
//    ones (a mutable container or leaf is made afresh for every reference, so changing one
//    place changes no other); that expansion is bounded so a small file cannot make an
//    exponential tree.
#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/CFObject.h"
#include "platform/CoreFoundation/PropertyList/CFPropertyListInternal.h"

namespace cf::plist {
namespace {

constexpr size_t kHeaderSize = 8;
constexpr size_t kTrailerSize = 32;

uint64_t ReadBigEndian(const uint8_t* p, size_t size) {
    // Offsets and references are 1, 2, 4 or 8 bytes wide in practice: one load each.
    switch (size) {
        case 1:
            return p[0];
        case 2:
            return uint64_t{p[0]} << 8 | p[1];
        case 4: {
            uint32_t v;
            std::memcpy(&v, p, 4);
            return std::endian::native == std::endian::little ? __builtin_bswap32(v) : v;
        }
        case 8: {
            uint64_t v;
            std::memcpy(&v, p, 8);
            return std::endian::native == std::endian::little ? __builtin_bswap64(v) : v;
        }
        default: {
            uint64_t value = 0;
            for (size_t i = 0; i < size; ++i) value = (value << 8) | p[i];
            return value;
        }
    }
}

// A big-endian integer of any width; UINT64_MAX when it does not fit 64 bits.
uint64_t ReadWideBigEndian(const uint8_t* p, size_t size) {
    if (size <= 8) return ReadBigEndian(p, size);
    for (; size > 8; ++p, --size)
        if (*p != 0) return UINT64_MAX;
    return ReadBigEndian(p, size);
}

bool IsASCII(const uint8_t* p, size_t n) {
    uint8_t any = 0;
    for (size_t i = 0; i < n; ++i) any |= p[i];
    return any < 0x80;
}

// The object's kind without a call: keys and values are checked by kind for every pair.
CFTypeID KindOf(CFTypeRef object) {
    return ObjectOf(object)->TypeID();
}

bool IsWellFormedUTF16(std::u16string_view units) {
    for (size_t i = 0; i < units.size(); ++i) {
        char16_t u = units[i];
        if (u >= 0xDC00 && u <= 0xDFFF) return false;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 == units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF)
                return false;
            ++i;
        }
    }
    return true;
}

class BinaryReader {
public:
    BinaryReader(const uint8_t* bytes, size_t length, CFOptionFlags mutability)
        : mBytes(bytes),
          mLength(length),
          mMutableContainers(mutability != kCFPropertyListImmutable),
          mMutableLeaves(mutability == kCFPropertyListMutableContainersAndLeaves) {}
    BinaryReader(const BinaryReader&) = delete;
    BinaryReader& operator=(const BinaryReader&) = delete;
    ~BinaryReader() {
        for (CFTypeRef object : mSpared) Release(object);
        // Pairs of dictionaries left unfinished by a failure.
        for (CFTypeRef object : mKeys) Release(object);
        for (CFTypeRef object : mValues) Release(object);
        for (const Interned& entry : mInterned) Release(entry.key);
    }

    CFPropertyListRef Read(CFStringRef* error);
    // What the value read expands to; its root is set by the caller.
    const PBBinaryReadMeasure& Measure() const { return mMeasure; }

private:
    bool ReadTrailer();
    CFTypeRef CreateObject(uint64_t index, size_t depth);
    CFTypeRef CreateAt(uint64_t offset, size_t depth, bool& cacheable, uint8_t& shareCost);
    CFTypeRef CreateScalar(uint64_t offset, uint8_t marker);
    CFTypeRef CreateString(uint64_t offset, uint8_t marker, uint8_t& shareCost);
    void MeasureShared(CFTypeRef object);
    CFTypeRef CreateUID(uint64_t offset, uint8_t marker, size_t depth);
    CFTypeRef CreateArray(uint64_t offset, uint8_t marker, size_t depth);
    CFTypeRef CreateDictionary(uint64_t offset, uint8_t marker, size_t depth);
    bool ReadCount(uint64_t offset, uint8_t marker, uint64_t& count, uint64_t& start);
    uint32_t KeyClass(uint64_t index, CFTypeRef key);
    uint32_t Intern(CFTypeRef key);
    // `count` references at `depth`; the file's length bounds both sums.
    void CountReferences(uint64_t count, size_t depth) {
        mMeasure.references += count;
        mMeasure.depths += count * depth;
    }
    size_t DropRepeatedKeys(size_t keyBase, size_t valueBase);
    bool Available(uint64_t start, uint64_t count, uint64_t unit) const {
        return start <= mEnd && count <= (mEnd - start) / unit;
    }
    uint64_t RefAt(uint64_t start, uint64_t i) const {
        return ReadWideBigEndian(mBytes + start + i * mRefSize, mRefSize);
    }
    // Records the first error only; returns NULL for the caller's convenience.
    CFTypeRef Fail(const char* what, uint64_t offset) {
        if (!mError) {
            mError = what;
            mErrorOffset = offset;
        }
        return nullptr;
    }

    const uint8_t* mBytes;
    size_t mLength;
    uint64_t mEnd = 0;  // objects lie in [kHeaderSize, mEnd): before the offset table
    bool mMutableContainers;
    bool mMutableLeaves;
    size_t mOffsetSize = 0;
    size_t mRefSize = 0;
    uint64_t mObjectCount = 0;
    uint64_t mTopObject = 0;
    uint64_t mTableOffset = 0;
    // Finished shareable objects by index, borrowed: the tree being built holds each one, and
    // a failure ends the read before the cache is looked at again. An object the tree lets go
    // while it is built (a repeated key, a set's duplicate) is kept alive in mSpared.
    std::vector<CFTypeRef> mCache;
    std::vector<CFTypeRef> mSpared;  // +1 each
    // By object index: kOnPath while it is being built (the cycle check); once made, what a
    // further reference to it adds to the measure: its string units or data bytes, or
    // kMeasureObject when they are too many for a byte or it is a container.
    static constexpr uint8_t kOnPath = 0x80, kMeasureObject = 0x7F;
    std::vector<uint8_t> mStates;
    std::u16string mUnits;  // a string's units on their way into it
    // The open dictionaries' pairs (+1 each) and the class of each key: equal keys, and only
    // those, have one class. A key object's class is found once per object index, so telling
    // a dictionary's repeated keys apart costs no hash look-up per key.
    std::vector<CFTypeRef> mKeys, mValues;
    std::vector<uint32_t> mKeyClasses;
    std::vector<uint32_t> mClassOfIndex;  // by object index; 0 while unknown
    std::vector<uint32_t> mClassStamps;   // by class: the last dictionary that held one
    uint32_t mDictionarySerial = 0;
    struct Interned {
        CFHashCode hash;
        CFTypeRef key;  // +1; NULL for an empty slot
        uint32_t keyClass;
    };
    std::vector<Interned> mInterned;  // one key of each class, open-addressed by hash
    uint64_t mBudget = 0;             // object creations still allowed
    PBBinaryReadMeasure mMeasure{};   // counted at every reference
    const char* mError = nullptr;
    uint64_t mErrorOffset = 0;
};

bool BinaryReader::ReadTrailer() {
    if (mLength < kHeaderSize || std::memcmp(mBytes, "bplist0", kHeaderSize - 1) != 0) {
        Fail("not a binary property list", 0);
        return false;
    }
    if (mLength < kMinBinaryLength) {
        Fail("the file ends early", mLength);
        return false;
    }
    const uint8_t* trailer = mBytes + mLength - kTrailerSize;
    mEnd = mLength - kTrailerSize;
    mOffsetSize = trailer[6];
    mRefSize = trailer[7];
    mObjectCount = ReadBigEndian(trailer + 8, 8);
    mTopObject = ReadBigEndian(trailer + 16, 8);
    mTableOffset = ReadBigEndian(trailer + 24, 8);
    const char* problem = nullptr;
    if (mOffsetSize < 1 || mOffsetSize > 8)
        problem = "offset size is not 1 to 8 bytes";
    else if (mRefSize < 1)
        problem = "object reference size is zero";
    else if (mObjectCount == 0)
        problem = "no objects";
    else if (mTopObject >= mObjectCount)
        problem = "top object out of range";
    else if (mTableOffset <= kHeaderSize || mTableOffset >= mEnd)
        problem = "offset table outside the file";
    else if (mObjectCount > (mEnd - mTableOffset) / mOffsetSize)
        problem = "offset table runs into the trailer";
    else if (mTableOffset + mObjectCount * mOffsetSize != mEnd)
        problem = "offset table does not end where the trailer begins";
    // A trailer starts with six zero bytes; without them, the end of the file is no trailer,
    // most likely because the file was cut short.
    static constexpr uint8_t kZeros[6] = {};
    if (problem && std::memcmp(trailer, kZeros, sizeof kZeros) != 0)
        problem = "the file ends early";
    if (problem) {
        Fail(problem, mLength - kTrailerSize);
        return false;
    }
    mEnd = mTableOffset;
    // Both sized by the object count, which the offset table bounds by the file length.
    mCache.assign(mObjectCount, nullptr);
    mStates.assign(mObjectCount, 0);
    mBudget = 4 * static_cast<uint64_t>(mLength) + 65536;
    return true;
}

CFPropertyListRef BinaryReader::Read(CFStringRef* error) {
    CFTypeRef result = nullptr;
    try {
        mMeasure.references = 1;  // the top; a container counts the references it holds
        if (ReadTrailer()) result = CreateObject(mTopObject, 0);
    } catch (const std::bad_alloc&) {
        result = Fail("out of memory", 0);
    }
    if (!result && error) {
        if (!mError) mError = "out of memory";
        std::string text = std::string("Invalid binary property list: ") + mError + " (byte " +
                           std::to_string(mErrorOffset) + ")";
        *error = CreateStringFromUTF8(text);
    }
    return result;
}

// +1 object number `index`, shared from the cache when it was made before.
CFTypeRef BinaryReader::CreateObject(uint64_t index, size_t depth) {
    if (index >= mObjectCount) return Fail("object reference out of range", mTableOffset);
    if (mCache[index]) {
        const uint8_t shareCost = mStates[index];
        if (shareCost != kMeasureObject)
            mMeasure.contentUnits += shareCost;
        else
            MeasureShared(mCache[index]);
        return Retain(mCache[index]);
    }
    if (mStates[index] & kOnPath) return Fail("object contains itself", mTableOffset);
    if (mBudget == 0) return Fail("object graph too large when expanded", mTableOffset);
    --mBudget;
    uint64_t offset = ReadBigEndian(mBytes + mTableOffset + index * mOffsetSize, mOffsetSize);
    if (offset < kHeaderSize || offset >= mEnd) return Fail("object offset out of range", offset);
    mStates[index] = kOnPath;
    bool cacheable = true;
    uint8_t shareCost = 0;
    CFTypeRef object = CreateAt(offset, depth, cacheable, shareCost);
    mStates[index] = shareCost;
    if (object && cacheable) mCache[index] = object;
    return object;
}

CFTypeRef BinaryReader::CreateAt(uint64_t offset, size_t depth, bool& cacheable,
                                 uint8_t& shareCost) {
    uint8_t marker = mBytes[offset];
    // A count in the low nibble, or one that follows (0x_F): a container not known empty.
    const uint8_t containerCost = (marker & 0x0F) != 0 ? kMeasureObject : 0;
    switch (marker >> 4) {
        case 0x0:
        case 0x1:
        case 0x2:
        case 0x3:
            return CreateScalar(offset, marker);
        case 0x4:
        case 0x5:
        case 0x6:
            cacheable = !mMutableLeaves;
            return CreateString(offset, marker, shareCost);
        case 0x8:
            cacheable = !mMutableContainers;
            shareCost = kMeasureObject;  // a dictionary of one
            return CreateUID(offset, marker, depth);
        case 0xA:
        case 0xC:
            cacheable = !mMutableContainers;
            shareCost = containerCost;
            return CreateArray(offset, marker, depth);
        case 0xD:
            cacheable = !mMutableContainers;
            shareCost = containerCost;
            return CreateDictionary(offset, marker, depth);
        default:
            return Fail("unknown object type", offset);
    }
}

// Null, Booleans, integers, reals and dates.
CFTypeRef BinaryReader::CreateScalar(uint64_t offset, uint8_t marker) {
    uint8_t info = marker & 0x0F;
    if (marker == 0x00) return Retain(kCFNull);
    if (marker == 0x08 || marker == 0x09) return BooleanFor(marker == 0x09);
    if (marker < 0x10) return Fail("fill byte or unknown marker where an object belongs", offset);
    size_t size = size_t{1} << (info & 0x7);
    if (info > 4 || (marker >> 4 != 1 && info != 2 && info != 3) || (marker >> 4 == 3 && info != 3))
        return Fail("number of unsupported size", offset);
    if (!Available(offset + 1, size, 1)) return Fail("number runs past the end", offset);
    const uint8_t* p = mBytes + offset + 1;
    CFTypeRef number = nullptr;
    if (marker >> 4 == 2 && size == 4) {
        float f = std::bit_cast<float>(static_cast<uint32_t>(ReadBigEndian(p, 4)));
        number = CreateNumber(kCFNumberFloat32Type, &f);
    } else if (marker >> 4 == 2) {
        number = CreateNumberFloat64(std::bit_cast<double>(ReadBigEndian(p, 8)));
    } else if (marker >> 4 == 3) {
        number = CreateDate(std::bit_cast<double>(ReadBigEndian(p, 8)));
    } else if (size < 8) {
        number = CreateNumberSInt64(static_cast<int64_t>(ReadBigEndian(p, size)));  // unsigned
    } else if (size == 8) {
        number = CreateNumberSInt64(static_cast<int64_t>(ReadBigEndian(p, 8)));
    } else {
        uint64_t high = ReadBigEndian(p, 8), low = ReadBigEndian(p + 8, 8);
        if (high == 0)
            number = CreateNumberUInt64(low);
        else if (high == ~uint64_t{0} && (low >> 63) != 0)
            number = CreateNumberSInt64(static_cast<int64_t>(low));
        else
            return Fail("integer beyond 64 bits", offset);
    }
    return number ? number : Fail("out of memory", offset);
}

// Object count from the marker's low nibble, or from the integer that follows it (0x_F).
bool BinaryReader::ReadCount(uint64_t offset, uint8_t marker, uint64_t& count, uint64_t& start) {
    start = offset + 1;
    count = marker & 0x0F;
    if (count != 0x0F) return true;
    if (!Available(start, 1, 1)) return Fail("count runs past the end", offset), false;
    uint8_t intMarker = mBytes[start];
    if (intMarker >> 4 != 1 || (intMarker & 0x0F) > 4)
        return Fail("malformed count", offset), false;
    size_t size = size_t{1} << (intMarker & 0x0F);
    if (!Available(start + 1, size, 1)) return Fail("count runs past the end", offset), false;
    count = ReadWideBigEndian(mBytes + start + 1, size);
    start += 1 + size;
    return true;
}

// Data (0x4_), ASCII strings (0x5_) and UTF-16 big-endian strings (0x6_).
CFTypeRef BinaryReader::CreateString(uint64_t offset, uint8_t marker, uint8_t& shareCost) {
    uint64_t count, start;
    if (!ReadCount(offset, marker, count, start)) return nullptr;
    uint64_t unit = marker >> 4 == 6 ? 2 : 1;
    if (!Available(start, count, unit)) return Fail("object runs past the end", offset);
    const uint8_t* p = mBytes + start;
    mMeasure.contentUnits += count;
    shareCost = static_cast<uint8_t>(std::min<uint64_t>(count, kMeasureObject));
    CFTypeRef object = nullptr;
    if (marker >> 4 == 4) {
        object = CreateData(p, count, mMutableLeaves);
    } else if (marker >> 4 == 5) {
        if (IsASCII(p, count)) {  // most are: widened straight into the string
            object = CreateStringFromUTF8(p, count, mMutableLeaves);
        } else {
            mUnits.assign(p, p + count);  // Latin 1: each byte is its code point
            object = CreateStringFromUTF16(mUnits.data(), count, mMutableLeaves);
        }
    } else {
        // The real reader makes no empty string of this form.
        if (count == 0) return Fail("empty UTF-16 string", offset);
        mUnits.resize(count);
        for (uint64_t i = 0; i < count; ++i)
            mUnits[i] = static_cast<char16_t>((p[2 * i] << 8) | p[2 * i + 1]);
        if (!IsWellFormedUTF16(mUnits)) return Fail("unpaired surrogate in a string", offset);
        object = CreateStringFromUTF16(mUnits.data(), count, mMutableLeaves);
    }
    return object ? object : Fail("out of memory", offset);
}

CFTypeRef BinaryReader::CreateUID(uint64_t offset, uint8_t marker, size_t depth) {
    size_t size = (marker & 0x0F) + 1u;
    if (!Available(offset + 1, size, 1)) return Fail("UID runs past the end", offset);
    if (ReadWideBigEndian(mBytes + offset + 1, size) > UINT32_MAX)
        return Fail("UID beyond 32 bits", offset);
    // Written out, a UID is a dictionary of one key and an integer below it.
    CountReferences(2, depth + 1);
    mMeasure.contentUnits += 6;
    Ref<CFDictionaryRef> dict(cf::CreateDictionary(1, mMutableContainers));
    CFTypeRef key = CreateStringFromUTF8("CF$UID", mMutableLeaves);
    CFTypeRef value = CreateNumberUInt64(ReadWideBigEndian(mBytes + offset + 1, size));
    if (!dict || !key || !value) {
        Release(key);
        Release(value);
        return Fail("out of memory", offset);
    }
    if (!DictionarySetAdopting(dict.Get(), key, value)) return Fail("out of memory", offset);
    return dict.Detach();
}

CFTypeRef BinaryReader::CreateArray(uint64_t offset, uint8_t marker, size_t depth) {
    uint64_t count, start;
    if (!ReadCount(offset, marker, count, start)) return nullptr;
    // The limit counts containers that hold something: an empty one at the limit is fine.
    if (count > 0 && depth >= static_cast<size_t>(kMaxDepth))
        return Fail("nested too deeply", offset);
    if (!Available(start, count, mRefSize)) return Fail("array runs past the end", offset);
    CountReferences(count, depth + 1);
    Ref<CFArrayRef> array(cf::CreateArray(count, mMutableContainers));
    if (!array) return Fail("out of memory", offset);
    for (uint64_t i = 0; i < count; ++i) {
        CFTypeRef item = CreateObject(RefAt(start, i), depth + 1);
        if (!item) return nullptr;
        if (!ArrayAppendAdopting(array.Get(), item)) return Fail("out of memory", offset);
    }
    if (marker >> 4 != 0xC) return array.Detach();
    std::vector<CFTypeRef> values;
    values.reserve(count);
    mSpared.reserve(mSpared.size() + count);
    for (uint64_t i = 0; i < count; ++i) {
        values.push_back(Retain(ArrayValue(array.Get(), i)));
        mSpared.push_back(Retain(values.back()));  // the set may drop it, the array goes
    }
    CFTypeRef set = CreateSetAdopting(std::move(values));
    return set ? set : Fail("out of memory", offset);
}

// The pairs are collected on mKeys and mValues (nested dictionaries push above them) and the
// dictionary is made from them at once. A failure leaves them there for the destructor.
CFTypeRef BinaryReader::CreateDictionary(uint64_t offset, uint8_t marker, size_t depth) {
    uint64_t count, start;
    if (!ReadCount(offset, marker, count, start)) return nullptr;
    if (count > 0 && depth >= static_cast<size_t>(kMaxDepth))
        return Fail("nested too deeply", offset);
    if (count > UINT64_MAX / 2 || !Available(start, 2 * count, mRefSize))
        return Fail("dictionary runs past the end", offset);
    CountReferences(2 * count, depth + 1);
    // A value's subtree pushes its own pairs while this dictionary's key waits for the value.
    const size_t keyBase = mKeys.size(), valueBase = mValues.size();
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t keyIndex = RefAt(start, i);
        Ref<CFTypeRef> key(CreateObject(keyIndex, depth + 1));
        if (!key) return nullptr;
        const CFTypeID kind = KindOf(key.Get());
        if (kind == kArrayTypeID || kind == kDictionaryTypeID || kind == kSetTypeID)
            return Fail("dictionary key is a container", offset);
        mKeyClasses.push_back(KeyClass(keyIndex, key.Get()));
        mKeys.push_back(key.Get());
        (void)key.Detach();  // only once the stack holds it: push_back may throw
        Ref<CFTypeRef> value(CreateObject(RefAt(start, count + i), depth + 1));
        if (!value) return nullptr;
        mValues.push_back(value.Get());
        (void)value.Detach();
    }
    const size_t distinct = DropRepeatedKeys(keyBase, valueBase);
    CFTypeRef dict = CreateDictionaryAdoptingDistinct(
        mKeys.data() + keyBase, mValues.data() + valueBase, distinct, mMutableContainers);
    mKeys.resize(keyBase);
    mValues.resize(valueBase);
    mKeyClasses.resize(keyBase);
    return dict ? dict : Fail("out of memory", offset);
}

// Of the pairs from the bases on, keeps the first of each key class (the first one wins) in
// order, spares the others, and returns how many are kept.
size_t BinaryReader::DropRepeatedKeys(size_t keyBase, size_t valueBase) {
    mSpared.reserve(mSpared.size() + 2 * (mKeys.size() - keyBase));  // no push_back below throws
    if (++mDictionarySerial == 0) {  // wrapped: no stamp may look current
        std::fill(mClassStamps.begin(), mClassStamps.end(), 0);
        mDictionarySerial = 1;
    }
    size_t kept = 0;
    for (size_t i = 0; i < mKeys.size() - keyBase; ++i) {
        uint32_t& stamp = mClassStamps[mKeyClasses[keyBase + i]];
        if (stamp == mDictionarySerial) {
            mSpared.push_back(mKeys[keyBase + i]);
            mSpared.push_back(mValues[valueBase + i]);
            continue;
        }
        stamp = mDictionarySerial;
        mKeys[keyBase + kept] = mKeys[keyBase + i];
        mValues[valueBase + kept] = mValues[valueBase + i];
        ++kept;
    }
    return kept;
}

// A further reference to a long string or data, or to a container: the units or bytes count
// again; a container's whole subtree would, which only a walk of it can tell.
void BinaryReader::MeasureShared(CFTypeRef object) {
    switch (KindOf(object)) {
        case kStringTypeID:
            mMeasure.contentUnits += StringUnits(static_cast<CFStringRef>(object)).size();
            break;
        case kDataTypeID:
            mMeasure.contentUnits += DataLength(static_cast<CFDataRef>(object));
            break;
        case kArrayTypeID:
            if (ArrayCount(static_cast<CFArrayRef>(object)) != 0) mMeasure.sharedContainer = 1;
            break;
        case kSetTypeID:
            if (CFSetGetCount(static_cast<CFSetRef>(object)) != 0) mMeasure.sharedContainer = 1;
            break;
        default:  // a dictionary, a UID's among them
            if (DictionaryCount(static_cast<CFDictionaryRef>(object)) != 0)
                mMeasure.sharedContainer = 1;
            break;
    }
}

// The class of the key made from object `index`: the same object index always makes an equal
// key, so only an index's first key is looked up by its contents.
uint32_t BinaryReader::KeyClass(uint64_t index, CFTypeRef key) {
    if (mClassOfIndex.empty()) mClassOfIndex.assign(mObjectCount, 0);
    uint32_t& known = mClassOfIndex[index];
    if (!known) known = Intern(key);
    return known;
}

// The class of keys equal to `key` (CFEqual, as the dictionary compares keys), new if none.
uint32_t BinaryReader::Intern(CFTypeRef key) {
    if (mClassStamps.empty()) mClassStamps.push_back(0);  // class 0: unknown
    if (mClassStamps.size() * 2 >= mInterned.size()) {
        std::vector<Interned> larger(std::max<size_t>(64, mInterned.size() * 2));
        for (const Interned& entry : mInterned) {
            if (!entry.key) continue;
            size_t i = entry.hash & (larger.size() - 1);
            while (larger[i].key) i = (i + 1) & (larger.size() - 1);
            larger[i] = entry;
        }
        mInterned.swap(larger);
    }
    const CFHashCode hash = Hash(key);
    const size_t mask = mInterned.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        Interned& entry = mInterned[i];
        if (!entry.key) {
            const auto keyClass = static_cast<uint32_t>(mClassStamps.size());
            mClassStamps.push_back(0);
            entry = {hash, Retain(key), keyClass};
            return keyClass;
        }
        if (entry.hash == hash && Equal(entry.key, key)) return entry.keyClass;
    }
}

}  // namespace

CFPropertyListRef ReadBinary(const uint8_t* bytes, size_t length, CFOptionFlags mutability,
                             CFStringRef* error) {
    if (error) *error = nullptr;
    BinaryReader reader(bytes, length, mutability);
    CFPropertyListRef result = reader.Read(error);
    PBBinaryReadMeasure& measure = LastBinaryMeasure();
    measure = reader.Measure();
    measure.root = result;
    return result;
}

}  // namespace cf::plist
