// The notation printer: one pass over the descriptor tree into one growing string, or into a
// stream a buffer at a time.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>
#include <string_view>
#include <vector>

#include "notation/DescNotation.h"
#include "notation/NotationForms.h"
#include "notation/NotationText.h"

using namespace notation;

namespace {

class Printer {
public:
    explicit Printer(std::string& out, std::FILE* sink = nullptr) : mOut(out), mSink(sink) {}
    OSStatus Print(const AEDesc& desc, int depth);
    // Writes what is printed so far to the sink and empties the text; false when it cannot.
    bool Flush();

private:
    OSStatus PrintContainer(const AEDesc& desc, long count, int depth);
    OSStatus PrintItem(const AEDesc& container, long index, bool isRecord, int depth);
    OSStatus PrintBytes(const AEDesc& desc);
    void PrintValue(DescType type, std::string_view data);
    bool PrintTypedValue(DescType type, std::string_view data);
    bool PrintFixedWidth(const TypedForm& form, std::string_view data);
    bool PrintText(const TypedForm& form, std::string_view data);
    void PrintHex(DescType type, std::string_view data);
    bool MightBeContainer(DescType type, std::string_view head);
    void LearnContainerPrefix();
    OSStatus PrintContainerItem(const AEDesc& container, long index, DescType type, size_t size,
                                int depth);
    bool PrintFlat(DescType type, std::string_view flat, int depth);
    class FlatCursor;
    bool PrintFlatContainer(DescType type, FlatCursor& cursor, int depth);
    bool PrintFlatItems(bool isRecord, uint32_t count, FlatCursor& cursor, int depth);

    // The bytes of the value being printed, kept in UTF-16 units so that a 'utxt' value is
    // printed from where it was fetched, without a copy to align it.
    class ValueBytes {
    public:
        char* Data() { return reinterpret_cast<char*>(mUnits.data()); }
        size_t Size() const { return mUnits.size() * 2; }
        void Reserve(size_t bytes) {
            if (Size() < bytes) mUnits.resize((bytes + 1) / 2);
        }
        // The units of `bytes` when they are these bytes (from the start), else NULL.
        const char16_t* UnitsOf(std::string_view bytes) const {
            return bytes.data() == reinterpret_cast<const char*>(mUnits.data()) ? mUnits.data()
                                                                                : nullptr;
        }

    private:
        std::u16string mUnits;
    };

    std::string& mOut;
    std::FILE* mSink;  // NULL: everything stays in mOut
    // Scratch buffers reused for every value, so printing a large tree allocates little.
    ValueBytes mData;
    std::u16string mUnits;
    std::string mFlat;   // a container item's flat form
    std::string mValue;  // a number's digits
    // The bytes every list's and record's data begin with (learnt from an empty one of each),
    // so an item whose data does not begin so is a plain value, printed from its bytes alone.
    std::string mContainerPrefix;
    bool mPrefixLearnt = false;
};

// Items are fetched into this much reused buffer first; larger values are fetched again. A
// plain value copies only its own bytes, so the size costs nothing but lets most lists and
// records (a dictionary's record and its fields) come whole in the first fetch.
constexpr size_t kItemBuffer = size_t{4} << 10;
// A list or record item up to this size is fetched whole, as its flat form, and printed from
// it without a platform call per item; a larger one is walked item by item.
constexpr size_t kFlatLimit = size_t{64} << 10;
// A streamed print is written out in pieces of about this size.
constexpr size_t kFlushAt = size_t{1} << 16;

template <class T>
T Load(std::string_view data) {
    T value;
    std::memcpy(&value, data.data(), sizeof value);
    return value;
}

// The bits the parser makes for "nan"; any other NaN prints as hex to keep its payload.
template <class Real>
bool IsCanonicalReal(Real value) {
    if (!std::isnan(value)) return true;
    const Real canonical = std::numeric_limits<Real>::quiet_NaN();
    return std::memcmp(&value, &canonical, sizeof value) == 0;
}

OSStatus Printer::Print(const AEDesc& desc, int depth) {
    if (desc.descriptorType == typeNull) {
        mOut += "'null'()";
        return noErr;
    }
    long count = 0;
    if (AECountItems(&desc, &count) == noErr) {
        const bool isRecord = AECheckIsRecord(&desc);
        // A list of a type other than 'list' has no bracket form; its flat bytes rebuild it.
        if (depth < kMaxDepth && (isRecord || desc.descriptorType == typeAEList))
            return PrintContainer(desc, count, depth);
    }
    return PrintBytes(desc);
}

bool Printer::Flush() {
    const bool written = std::fwrite(mOut.data(), 1, mOut.size(), mSink) == mOut.size();
    mOut.clear();
    return written;
}

OSStatus Printer::PrintContainer(const AEDesc& desc, long count, int depth) {
    const bool isRecord = desc.descriptorType != typeAEList;
    if (isRecord && desc.descriptorType != typeAERecord) AppendCode(desc.descriptorType, mOut);
    mOut.push_back(isRecord ? '{' : '[');
    for (long i = 1; i <= count; ++i) {
        if (i > 1) mOut += ", ";
        if (OSStatus err = PrintItem(desc, i, isRecord, depth)) return err;
        if (mSink && mOut.size() >= kFlushAt && !Flush()) return ioErr;
    }
    mOut.push_back(isRecord ? '}' : ']');
    return noErr;
}

// A plain item is copied straight into the reused buffer: one platform call, no descriptor.
// Only an item that is or may be a list or record is fetched as a descriptor and printed in
// full.
OSStatus Printer::PrintItem(const AEDesc& container, long index, bool isRecord, int depth) {
    mData.Reserve(kItemBuffer);
    AEKeyword keyword = typeWildCard;
    DescType type = typeNull;
    Size size = 0;
    if (OSErr err = AEGetNthPtr(&container, index, typeWildCard, &keyword, &type, mData.Data(),
                                static_cast<Size>(mData.Size()), &size))
        return err;
    if (isRecord) {
        AppendCode(keyword, mOut);
        mOut.push_back(':');
    }
    const size_t length = static_cast<size_t>(size);
    if (MightBeContainer(type, std::string_view(mData.Data(), std::min(length, mData.Size()))))
        return PrintContainerItem(container, index, type, length, depth);
    if (type == typeNull) {
        mOut += "'null'()";
        return noErr;
    }
    if (length > mData.Size()) {
        mData.Reserve(length);
        if (OSErr err = AEGetNthPtr(&container, index, typeWildCard, nullptr, &type, mData.Data(),
                                    size, &size))
            return err;
    }
    PrintValue(type, std::string_view(mData.Data(), length));
    return noErr;
}

// An item that is or may be a list or record: printed from its flat form when that is small
// and reads as expected, else fetched as a descriptor and printed in full.
OSStatus Printer::PrintContainerItem(const AEDesc& container, long index, DescType type,
                                     size_t size, int depth) {
    if (size <= mData.Size() && PrintFlat(type, std::string_view(mData.Data(), size), depth + 1))
        return noErr;
    if (size > mData.Size() && size <= kFlatLimit) {
        mFlat.resize(size);
        Size fetched = 0;
        if (AEGetNthPtr(&container, index, typeWildCard, nullptr, &type, mFlat.data(),
                        static_cast<Size>(size), &fetched) == noErr &&
            static_cast<size_t>(fetched) == size && PrintFlat(type, mFlat, depth + 1))
            return noErr;
    }
    OwnedDesc item;
    if (OSErr err = AEGetNthDesc(&container, index, typeWildCard, nullptr, item.Out())) return err;
    return Print(item.Get(), depth + 1);
}

// Reads the flat form of lists and records (see the Apple Event Manager's AEGetDescData):
//   "AEfl" shape:u8 (0 list, 1 record) count:u32, then per item key:u32 type:u32 and
//   tag:u8 0 with length:u32 bytes, or tag:u8 1 with a nested shape, count and items.
// Every read is checked against the end.
class Printer::FlatCursor {
public:
    explicit FlatCursor(std::string_view bytes)
        : mAt(bytes.data()), mEnd(bytes.data() + bytes.size()) {}
    bool AtEnd() const { return mAt == mEnd; }
    template <class T>
    bool Read(T& value) {
        if (static_cast<size_t>(mEnd - mAt) < sizeof value) return false;
        std::memcpy(&value, mAt, sizeof value);
        mAt += sizeof value;
        return true;
    }
    bool Bytes(size_t length, std::string_view& out) {
        if (static_cast<size_t>(mEnd - mAt) < length) return false;
        out = std::string_view(mAt, length);
        mAt += length;
        return true;
    }

private:
    const char* mAt;
    const char* mEnd;
};

// Prints what Print would for the container whose flat form this is; false, with nothing
// printed, for anything it does not read as expected (an event, nesting at the limit, a
// list-shaped value of another type), which then takes the descriptor route.
bool Printer::PrintFlat(DescType type, std::string_view flat, int depth) {
    const size_t mark = mOut.size();
    FlatCursor cursor(flat);
    uint32_t magic = 0;
    if (cursor.Read(magic) && std::memcmp(&magic, "AEfl", 4) == 0 &&
        PrintFlatContainer(type, cursor, depth) && cursor.AtEnd())
        return true;
    mOut.resize(mark);
    return false;
}

bool Printer::PrintFlatContainer(DescType type, FlatCursor& cursor, int depth) {
    uint8_t shape = 0;
    uint32_t count = 0;
    if (depth >= kMaxDepth || !cursor.Read(shape) || !cursor.Read(count)) return false;
    const bool isRecord = shape == 1;
    if (shape > 1 || isRecord == (type == typeAEList)) return false;
    if (isRecord && type != typeAERecord) AppendCode(type, mOut);
    mOut.push_back(isRecord ? '{' : '[');
    if (!PrintFlatItems(isRecord, count, cursor, depth)) return false;
    mOut.push_back(isRecord ? '}' : ']');
    return true;
}

bool Printer::PrintFlatItems(bool isRecord, uint32_t count, FlatCursor& cursor, int depth) {
    for (uint32_t i = 0; i < count; ++i) {
        if (i > 0) mOut += ", ";
        AEKeyword keyword = 0;
        DescType type = 0;
        uint8_t tag = 0;
        if (!cursor.Read(keyword) || !cursor.Read(type) || !cursor.Read(tag)) return false;
        if (isRecord) {
            AppendCode(keyword, mOut);
            mOut.push_back(':');
        }
        if (tag == 1) {
            if (!PrintFlatContainer(type, cursor, depth + 1)) return false;
            continue;
        }
        uint32_t length = 0;
        std::string_view bytes;
        if (tag != 0 || !cursor.Read(length) || !cursor.Bytes(length, bytes)) return false;
        if (type == typeAEList || type == typeAERecord || type == typeAppleEvent) return false;
        // Bytes that are not a container print from themselves, as the descriptor route does.
        PrintValue(type, bytes);
    }
    return true;
}

bool Printer::MightBeContainer(DescType type, std::string_view head) {
    if (type == typeAEList || type == typeAERecord || type == typeAppleEvent) return true;
    if (!mPrefixLearnt) LearnContainerPrefix();
    // Inline: most plain values differ at the first byte.
    if (head.size() < mContainerPrefix.size()) return false;
    for (size_t i = 0; i < mContainerPrefix.size(); ++i)
        if (head[i] != mContainerPrefix[i]) return false;
    return true;
}

// When this cannot be learnt the prefix stays empty: every item then takes the descriptor
// route, slower but printing the same.
void Printer::LearnContainerPrefix() {
    mPrefixLearnt = true;
    std::string data[2];
    for (int isRecord = 0; isRecord < 2; ++isRecord) {
        OwnedDesc empty;
        if (AECreateList(nullptr, 0, isRecord != 0, empty.Out()) != noErr) return;
        data[isRecord].resize(static_cast<size_t>(AEGetDescDataSize(&empty.Get())));
        if (AEGetDescData(&empty.Get(), data[isRecord].data(),
                          static_cast<Size>(data[isRecord].size())) != noErr)
            return;
    }
    const auto mismatch =
        std::mismatch(data[0].begin(), data[0].end(), data[1].begin(), data[1].end());
    // No longer than the part of an item fetched first (a shorter prefix only sends more
    // items the descriptor route).
    const auto common = static_cast<size_t>(mismatch.first - data[0].begin());
    mContainerPrefix.assign(data[0], 0, std::min(common, kItemBuffer));
}

OSStatus Printer::PrintBytes(const AEDesc& desc) {
    const auto size = static_cast<size_t>(AEGetDescDataSize(&desc));
    mData.Reserve(size);
    if (size != 0) {
        if (OSErr err = AEGetDescData(&desc, mData.Data(), static_cast<Size>(size))) return err;
    }
    PrintValue(desc.descriptorType, std::string_view(mData.Data(), size));
    return noErr;
}

void Printer::PrintValue(DescType type, std::string_view data) {
    if (!PrintTypedValue(type, data)) PrintHex(type, data);
}

// The bare and typed value forms; false when the bytes are not exactly a value's encoding.
bool Printer::PrintTypedValue(DescType type, std::string_view data) {
    const TypedForm* form = FindTypedForm(type);
    if (type == typeBoolean && data.size() == 1 && static_cast<uint8_t>(data[0]) <= 1) {
        mOut += data[0] ? "true" : "false";
        return true;
    }
    if (form == nullptr) return false;
    if (form->width != 0) return data.size() == form->width && PrintFixedWidth(*form, data);
    return PrintText(*form, data);
}

bool Printer::PrintFixedWidth(const TypedForm& form, std::string_view data) {
    const DescType type = form.type;
    // 'long', 'doub' and 'type' are the bare forms; 'comp' is bare only outside 32 bits.
    const bool bare = type == typeSInt32 || type == typeIEEE64BitFloatingPoint ||
                      type == typeType ||
                      (type == typeSInt64 &&
                       (Load<int64_t>(data) < INT32_MIN || Load<int64_t>(data) > INT32_MAX));
    std::string& value = mValue;
    value.clear();
    switch (form.form) {
        case Form::Integer: {
            int64_t v = 0;
            if (form.width == 2) v = Load<int16_t>(data);
            if (form.width == 4 && form.isSigned) v = Load<int32_t>(data);
            if (form.width == 4 && !form.isSigned) v = Load<uint32_t>(data);
            if (form.width == 8) v = Load<int64_t>(data);
            char digits[24];
            const auto written = form.width == 8 && !form.isSigned
                                     ? std::to_chars(digits, std::end(digits), Load<uint64_t>(data))
                                     : std::to_chars(digits, std::end(digits), v);
            if (bare) {  // straight to the output: most numbers are bare
                mOut.append(digits, written.ptr);
                return true;
            }
            value.append(digits, written.ptr);
            break;
        }
        case Form::Real:
            if (form.width == 4) {
                if (!IsCanonicalReal(Load<float>(data))) return false;
                AppendReal(Load<float>(data), value);
            } else {
                if (!IsCanonicalReal(Load<double>(data))) return false;
                AppendReal(Load<double>(data), value);
            }
            break;
        case Form::Fixed:
            AppendReal(Load<int32_t>(data) / 65536.0, value);
            break;
        case Form::Code:
            AppendCode(Load<FourCharCode>(data), value);
            break;
        default:
            return false;
    }
    if (bare) {
        mOut += value;
    } else {
        AppendCode(type, mOut);
        mOut.push_back('(');
        mOut += value;
        mOut.push_back(')');
    }
    return true;
}

bool Printer::PrintText(const TypedForm& form, std::string_view data) {
    std::u16string& units = mUnits;
    units.clear();
    switch (form.form) {
        case Form::UTF16: {
            if (data.size() % 2 != 0) return false;
            if (const char16_t* fetched = mData.UnitsOf(data)) {
                AppendQuoted(std::u16string_view(fetched, data.size() / 2), mOut);
                return true;
            }
            units.resize(data.size() / 2);
            if (!data.empty()) std::memcpy(units.data(), data.data(), data.size());
            AppendQuoted(units, mOut);
            return true;
        }
        case Form::UTF8:
            if (!UTF8ToUTF16(data, units)) return false;
            break;
        case Form::MacRoman:
            MacRomanToUTF16(data, units);
            break;
        default:
            return false;
    }
    AppendCode(form.type, mOut);
    mOut.push_back('(');
    AppendQuoted(units, mOut);
    mOut.push_back(')');
    return true;
}

void Printer::PrintHex(DescType type, std::string_view data) {
    AppendCode(type, mOut);
    if (data.empty()) {
        mOut += "()";
        return;
    }
    mOut += "(\u00AB";
    AppendHex(reinterpret_cast<const uint8_t*>(data.data()), data.size(), mOut);
    mOut += "\u00BB)";
}

}  // namespace

OSStatus PrintDesc(const AEDesc& desc, std::string& out) {
    Printer printer(out);
    return printer.Print(desc, 0);
}

OSStatus PrintDesc(const AEDesc& desc, std::FILE* to) {
    std::string pending;
    Printer printer(pending, to);
    if (OSStatus err = printer.Print(desc, 0)) return err;
    return printer.Flush() ? OSStatus{noErr} : OSStatus{ioErr};
}
