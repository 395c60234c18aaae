// The notation printer: one pass over the descriptor tree into one growing buffer, or into a
// stream a buffer at a time.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>

#include "notation/DescNotation.h"
#include "notation/NotationForms.h"
#include "notation/NotationOutput.h"
#include "notation/NotationText.h"

using namespace notation;

namespace {

// Items are fetched into this much reused buffer first; larger values are fetched again. A
// plain value copies only its own bytes, so the size costs nothing but lets most lists and
// records (a dictionary's record and its fields) come whole in the first fetch.
constexpr size_t kItemBuffer = size_t{4} << 10;
// A list or record item up to this size is fetched whole, as its flat form, and printed from
// it without a platform call per item; a larger one is walked item by item.
constexpr size_t kFlatLimit = size_t{64} << 10;
// A streamed print is written out in pieces of about this size.
constexpr size_t kFlushAt = size_t{1} << 16;
// Room for a value apart from its bytes: a code, parentheses and a number (at most 24
// characters, a real included) or the marks around hex. Hex needs two bytes a byte besides;
// text asks for its own room.
constexpr size_t kValueRoom = 64;
// Room for what comes before an item: ", ", a keyword and ':'.
constexpr size_t kItemStartRoom = 3 + kMaxCodeBytes;

class Printer {
public:
    // Writes after what `storage` holds; with a sink, writes out the text every so often.
    explicit Printer(std::string& storage, std::FILE* sink = nullptr)
        : mOut(storage, TextBuffer::Growth::kDoubling), mSink(sink) {}
    OSStatus Print(const AEDesc& desc, int depth);
    // Writes what is printed so far to the sink and empties the text; false when it cannot.
    bool Flush();
    // Cuts the storage to the text.
    void Finish() { mOut.Finish(); }

private:
    OSStatus PrintContainer(const AEDesc& desc, long count, int depth);
    OSStatus PrintItem(const AEDesc& container, long index, bool isRecord, int depth);
    OSStatus PrintBytes(const AEDesc& desc);
    void PrintValue(DescType type, std::string_view data);
    [[gnu::always_inline]] bool PrintCommonValue(DescType type, std::string_view data);
    [[gnu::noinline]] void PrintOtherValue(DescType type, std::string_view data);
    bool PrintTypedValue(DescType type, std::string_view data);
    bool PrintText(const TypedForm& form, std::string_view data);
    void PrintHex(DescType type, std::string_view data);
    void Put(std::string_view text);
    void PutOpening(DescType type, bool isRecord);
    void PutItemStart(bool first, bool isRecord, AEKeyword keyword);
    bool MightBeContainer(DescType type, std::string_view head);
    void LearnContainerPrefix();
    OSStatus PrintContainerItem(const AEDesc& container, long index, DescType type, size_t size,
                                int depth);
    bool PrintFlat(DescType type, std::string_view flat, int depth);
    class FlatCursor;
    bool PrintFlatContainer(DescType type, FlatCursor& cursor, int depth);
    bool PrintFlatItems(bool isRecord, uint32_t count, FlatCursor& cursor, int depth);
    char* DataRoom(size_t bytes) {
        if (mData.size() < bytes) mData.resize(bytes);
        return mData.data();
    }

    TextBuffer mOut;
    std::FILE* mSink;  // NULL: everything stays in the storage
    // Scratch buffers reused for every value, so printing a large tree allocates little.
    std::string mData;  // the bytes of the value being printed
    std::u16string mUnits;
    std::string mFlat;  // a container item's flat form
    // The bytes every list's and record's data begin with (learnt from an empty one of each),
    // so an item whose data does not begin so is a plain value, printed from its bytes alone.
    std::string mContainerPrefix;
    bool mPrefixLearnt = false;
};

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

// Writes an integer form's value at `to`, which has room for 21 bytes; through 32 bits where the
// value fits, which takes half the steps.
char* WriteInteger(const TypedForm& form, std::string_view data, char* to) {
    constexpr size_t kDigits = 20;  // UINT64_MAX; INT64_MIN takes a sign besides
    if (form.width == 8 && !form.isSigned) {
        const auto value = Load<uint64_t>(data);
        return value <= UINT32_MAX
                   ? std::to_chars(to, to + kDigits, static_cast<uint32_t>(value)).ptr
                   : std::to_chars(to, to + kDigits, value).ptr;
    }
    int64_t value;
    switch (form.width) {
        case 2:
            value = Load<int16_t>(data);
            break;
        case 4:
            value = form.isSigned ? int64_t{Load<int32_t>(data)} : int64_t{Load<uint32_t>(data)};
            break;
        default:
            value = Load<int64_t>(data);
    }
    if (value >= 0 && value <= UINT32_MAX)
        return std::to_chars(to, to + kDigits, static_cast<uint32_t>(value)).ptr;
    if (value < 0 && value >= INT32_MIN)
        return std::to_chars(to, to + kDigits, static_cast<int32_t>(value)).ptr;
    return std::to_chars(to, to + kDigits + 1, value).ptr;
}

char* WriteRealForm(const TypedForm& form, std::string_view data, char* to) {
    if (form.form == Form::Fixed) return WriteReal(Load<int32_t>(data) / 65536.0, to);
    if (form.width == 4)
        return IsCanonicalReal(Load<float>(data)) ? WriteReal(Load<float>(data), to) : nullptr;
    return IsCanonicalReal(Load<double>(data)) ? WriteReal(Load<double>(data), to) : nullptr;
}

// Writes a fixed-width value at `to`, which has kValueRoom; NULL when its bytes have no value
// form.
char* WriteFixedWidth(const TypedForm& form, std::string_view data, char* to) {
    const DescType type = form.type;
    // 'long', 'doub' and 'type' are the bare forms; 'comp' is bare only outside 32 bits.
    const bool bare = type == typeSInt32 || type == typeIEEE64BitFloatingPoint ||
                      type == typeType ||
                      (type == typeSInt64 &&
                       (Load<int64_t>(data) < INT32_MIN || Load<int64_t>(data) > INT32_MAX));
    if (!bare) {
        to = WriteCode(type, to);
        *to++ = '(';
    }
    switch (form.form) {
        case Form::Integer:
            to = WriteInteger(form, data, to);
            break;
        case Form::Real:
        case Form::Fixed:
            to = WriteRealForm(form, data, to);
            if (to == nullptr) return nullptr;
            break;
        case Form::Code:
            to = WriteCode(Load<FourCharCode>(data), to);
            break;
        default:
            return nullptr;
    }
    if (!bare) *to++ = ')';
    return to;
}

OSStatus Printer::Print(const AEDesc& desc, int depth) {
    if (desc.descriptorType == typeNull) {
        Put("'null'()");
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
    const size_t length = mOut.Length();
    const bool written = std::fwrite(mOut.Data(), 1, length, mSink) == length;
    mOut.Truncate(0);
    return written;
}

void Printer::Put(std::string_view text) {
    char* to = mOut.Room(text.size());
    std::memcpy(to, text.data(), text.size());
    mOut.Commit(to + text.size());
}

// "[", "{" or "'code'{" for a record of another type.
void Printer::PutOpening(DescType type, bool isRecord) {
    char* to = mOut.Room(kMaxCodeBytes + 1);
    if (isRecord && type != typeAERecord) to = WriteCode(type, to);
    *to++ = isRecord ? '{' : '[';
    mOut.Commit(to);
}

inline void Printer::PutItemStart(bool first, bool isRecord, AEKeyword keyword) {
    char* to = mOut.Room(kItemStartRoom);
    if (!first) {
        to[0] = ',';
        to[1] = ' ';
        to += 2;
    }
    if (isRecord) {
        to = WriteCode(keyword, to);
        *to++ = ':';
    }
    mOut.Commit(to);
}

OSStatus Printer::PrintContainer(const AEDesc& desc, long count, int depth) {
    const bool isRecord = desc.descriptorType != typeAEList;
    PutOpening(desc.descriptorType, isRecord);
    for (long i = 1; i <= count; ++i) {
        if (OSStatus err = PrintItem(desc, i, isRecord, depth)) return err;
        if (mSink && mOut.Length() >= kFlushAt && !Flush()) return ioErr;
    }
    Put(isRecord ? "}" : "]");
    return noErr;
}

// A plain item is copied straight into the reused buffer: one platform call, no descriptor.
// Only an item that is or may be a list or record is fetched as a descriptor and printed in
// full.
OSStatus Printer::PrintItem(const AEDesc& container, long index, bool isRecord, int depth) {
    char* data = DataRoom(kItemBuffer);
    AEKeyword keyword = typeWildCard;
    DescType type = typeNull;
    Size size = 0;
    if (OSErr err = AEGetNthPtr(&container, index, typeWildCard, &keyword, &type, data,
                                static_cast<Size>(mData.size()), &size))
        return err;
    PutItemStart(index == 1, isRecord, keyword);
    const size_t length = static_cast<size_t>(size);
    if (MightBeContainer(type, std::string_view(data, std::min(length, mData.size()))))
        return PrintContainerItem(container, index, type, length, depth);
    if (type == typeNull) {
        Put("'null'()");
        return noErr;
    }
    if (length > mData.size()) {
        data = DataRoom(length);
        if (OSErr err =
                AEGetNthPtr(&container, index, typeWildCard, nullptr, &type, data, size, &size))
            return err;
    }
    PrintValue(type, std::string_view(data, length));
    return noErr;
}

// An item that is or may be a list or record: printed from its flat form when that is small
// and reads as expected, else fetched as a descriptor and printed in full.
OSStatus Printer::PrintContainerItem(const AEDesc& container, long index, DescType type,
                                     size_t size, int depth) {
    if (size <= mData.size() && PrintFlat(type, std::string_view(mData.data(), size), depth + 1))
        return noErr;
    if (size > mData.size() && size <= kFlatLimit) {
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
    // An item: its keyword and type, and either its data or (nested) the shape, count and
    // items of a list or record that follow.
    struct Item {
        AEKeyword keyword;
        DescType type;
        bool nested;
        std::string_view data;
    };
    // The head of every item is read with one check: a plain one's keyword, type, tag and
    // length take 13 bytes, a nested one's keyword, type, tag, shape and count 14.
    bool ReadItem(Item& item) {
        constexpr size_t kHead = 9;
        constexpr size_t kLength = 4;
        if (static_cast<size_t>(mEnd - mAt) < kHead + kLength) return false;
        std::memcpy(&item.keyword, mAt, 4);
        std::memcpy(&item.type, mAt + 4, 4);
        const auto tag = static_cast<uint8_t>(mAt[8]);
        item.nested = tag == 1;
        if (item.nested) {
            mAt += kHead;
            return true;
        }
        uint32_t length;
        std::memcpy(&length, mAt + kHead, kLength);
        const char* data = mAt + kHead + kLength;
        if (tag != 0 || static_cast<size_t>(mEnd - data) < length) return false;
        item.data = std::string_view(data, length);
        mAt = data + length;
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
    const size_t mark = mOut.Length();
    FlatCursor cursor(flat);
    uint32_t magic = 0;
    if (cursor.Read(magic) && std::memcmp(&magic, "AEfl", 4) == 0 &&
        PrintFlatContainer(type, cursor, depth) && cursor.AtEnd())
        return true;
    mOut.Truncate(mark);
    return false;
}

bool Printer::PrintFlatContainer(DescType type, FlatCursor& cursor, int depth) {
    uint8_t shape = 0;
    uint32_t count = 0;
    if (depth >= kMaxDepth || !cursor.Read(shape) || !cursor.Read(count)) return false;
    const bool isRecord = shape == 1;
    if (shape > 1 || isRecord == (type == typeAEList)) return false;
    PutOpening(type, isRecord);
    if (!PrintFlatItems(isRecord, count, cursor, depth)) return false;
    Put(isRecord ? "}" : "]");
    return true;
}

bool Printer::PrintFlatItems(bool isRecord, uint32_t count, FlatCursor& cursor, int depth) {
    for (uint32_t i = 0; i < count; ++i) {
        FlatCursor::Item item;
        if (!cursor.ReadItem(item)) return false;
        PutItemStart(i == 0, isRecord, item.keyword);
        if (item.nested) {
            if (!PrintFlatContainer(item.type, cursor, depth + 1)) return false;
            continue;
        }
        if (PrintCommonValue(item.type, item.data)) continue;
        if (item.type == typeAEList || item.type == typeAERecord || item.type == typeAppleEvent)
            return false;
        // Bytes that are not a container print from themselves, as the descriptor route does.
        PrintOtherValue(item.type, item.data);
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
    char* data = DataRoom(size);
    if (size != 0) {
        if (OSErr err = AEGetDescData(&desc, data, static_cast<Size>(size))) return err;
    }
    PrintValue(desc.descriptorType, std::string_view(data, size));
    return noErr;
}

void Printer::PrintValue(DescType type, std::string_view data) {
    if (!PrintCommonValue(type, data)) PrintOtherValue(type, data);
}

// Text and 'long', the most common values, inline: printing them costs little more than their
// text. False, with nothing printed, for any other value.
inline bool Printer::PrintCommonValue(DescType type, std::string_view data) {
    if (type == typeUnicodeText && data.size() % 2 == 0) {
        mOut.PutQuoted(data.data(), data.size() / 2);
        return true;
    }
    if (type == typeSInt32 && data.size() == 4) {
        char* to = mOut.Room(kValueRoom);
        mOut.Commit(std::to_chars(to, to + kValueRoom, Load<int32_t>(data)).ptr);
        return true;
    }
    return false;
}

// Every other value, through its form, out of line.
void Printer::PrintOtherValue(DescType type, std::string_view data) {
    if (!PrintTypedValue(type, data)) PrintHex(type, data);
}

// The bare and typed value forms; false when the bytes are not exactly a value's encoding.
bool Printer::PrintTypedValue(DescType type, std::string_view data) {
    if (type == typeBoolean && data.size() == 1 && static_cast<uint8_t>(data[0]) <= 1) {
        Put(data[0] ? "true" : "false");
        return true;
    }
    const TypedForm* form = FindTypedForm(type);
    if (form == nullptr) return false;
    if (form->width == 0) return PrintText(*form, data);
    if (data.size() != form->width) return false;
    char* end = WriteFixedWidth(*form, data, mOut.Room(kValueRoom));
    if (end == nullptr) return false;
    mOut.Commit(end);
    return true;
}

bool Printer::PrintText(const TypedForm& form, std::string_view data) {
    mUnits.clear();
    switch (form.form) {
        case Form::UTF16:
            if (data.size() % 2 != 0) return false;
            mOut.PutQuoted(data.data(), data.size() / 2);
            return true;
        case Form::UTF8:
            if (!UTF8ToUTF16(data, mUnits)) return false;
            break;
        case Form::MacRoman:
            MacRomanToUTF16(data, mUnits);
            break;
        default:
            return false;
    }
    char* to = mOut.Room(kMaxCodeBytes + 1);
    to = WriteCode(form.type, to);
    *to++ = '(';
    mOut.Commit(to);
    mOut.PutQuoted(reinterpret_cast<const char*>(mUnits.data()), mUnits.size());
    Put(")");
    return true;
}

void Printer::PrintHex(DescType type, std::string_view data) {
    char* to = WriteCode(type, mOut.Room(kValueRoom + 2 * data.size()));
    if (data.empty()) {
        std::memcpy(to, "()", 2);
        mOut.Commit(to + 2);
        return;
    }
    std::memcpy(to, "(\u00AB", 3);
    to = WriteHex(reinterpret_cast<const uint8_t*>(data.data()), data.size(), to + 3);
    std::memcpy(to, "\u00BB)", 3);
    mOut.Commit(to + 3);
}

}  // namespace

OSStatus PrintDesc(const AEDesc& desc, std::string& out) {
    Printer printer(out);
    const OSStatus status = printer.Print(desc, 0);
    printer.Finish();
    return status;
}

OSStatus PrintDesc(const AEDesc& desc, std::FILE* to) {
    std::string pending;
    Printer printer(pending, to);
    if (OSStatus err = printer.Print(desc, 0)) return err;
    return printer.Flush() ? OSStatus{noErr} : OSStatus{ioErr};
}
