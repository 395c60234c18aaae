// Writing and validating the flat form of containers.
#include "AE/AEFlat.h"

#include <cstring>
#include <vector>

namespace ae {
namespace {

constexpr uint8_t kMagic[4] = {'A', 'E', 'f', 'l'};
constexpr uint8_t kTagBytes = 0;
constexpr uint8_t kTagContainer = 1;
// key + type + tag + length: the least an item can take, used to bound counts before
// anything is reserved.
constexpr size_t kMinItemSize = 13;

size_t ItemsSize(const std::vector<Item>& items);

size_t ContainerSize(const Container& c) {
    size_t size = 1 + 4 + ItemsSize(c.Items());
    if (c.GetShape() == Shape::Event) {
        size += 4;
        if (const Container* attrs = c.Attributes()) size += ItemsSize(attrs->Items());
    }
    return size;
}

size_t ItemsSize(const std::vector<Item>& items) {
    size_t size = 0;
    for (const Item& item : items) {
        size += 4 + 4 + 1;
        const Container* node = item.value.Node();
        size += node ? ContainerSize(*node) : 4 + item.value.Size();
    }
    return size;
}

class Writer {
public:
    explicit Writer(uint8_t* out) : mCur(out) {}
    void Bytes(const void* p, size_t n) {
        if (n) std::memcpy(mCur, p, n);
        mCur += n;
    }
    void U32(uint32_t v) { Bytes(&v, 4); }
    void U8(uint8_t v) { *mCur++ = v; }

    void Items(const std::vector<Item>& items) {
        U32(static_cast<uint32_t>(items.size()));
        for (const Item& item : items) {
            U32(item.key);
            U32(item.type);
            if (const Container* node = item.value.Node()) {
                U8(kTagContainer);
                Write(*node);
            } else {
                U8(kTagBytes);
                U32(static_cast<uint32_t>(item.value.Size()));
                Bytes(item.value.Bytes(), item.value.Size());
            }
        }
    }

    void Write(const Container& c) {
        U8(static_cast<uint8_t>(c.GetShape()));
        Items(c.Items());
        if (c.GetShape() == Shape::Event) {
            static const std::vector<Item> none;
            Items(c.Attributes() ? c.Attributes()->Items() : none);
        }
    }

private:
    uint8_t* mCur;
};

// Reads a flat form; every read checked against the end, the first failure sticks.
class Reader {
public:
    Reader(const uint8_t* begin, size_t size) : mCur(begin), mEnd(begin + size) {}

    bool U32(uint32_t& v) {
        if (mEnd - mCur < 4) return Fail();
        std::memcpy(&v, mCur, 4);
        mCur += 4;
        return true;
    }
    bool U8(uint8_t& v) {
        if (mCur == mEnd) return Fail();
        v = *mCur++;
        return true;
    }
    bool Magic() {
        if (mEnd - mCur < 4 || std::memcmp(mCur, kMagic, 4) != 0) return Fail();
        mCur += 4;
        return true;
    }
    bool AtEnd() const { return mCur == mEnd; }

    bool Container(Shape expected, unsigned depth, NodeRef& out);

private:
    bool Fail() { return false; }
    bool Items(ae::Container& into, unsigned depth);
    bool ItemValue(DescType type, unsigned depth, Payload& value);

    const uint8_t* mCur;
    const uint8_t* mEnd;
};

bool Reader::Container(Shape expected, unsigned depth, NodeRef& out) {
    uint8_t shape;
    if (depth > kMaxDepth || !U8(shape) || shape != static_cast<uint8_t>(expected)) return false;
    NodeRef node(new ae::Container(expected));
    if (!Items(*node.Get(), depth)) return false;
    if (expected == Shape::Event) {
        auto& attrs = node.Get()->MutableAttributes();
        if (!Items(attrs, depth)) return false;
        node.Get()->NoteDepth(attrs.Depth());
    }
    out = std::move(node);
    return true;
}

bool Reader::Items(ae::Container& into, unsigned depth) {
    uint32_t count;
    if (!U32(count)) return false;
    if (count > static_cast<size_t>(mEnd - mCur) / kMinItemSize) return false;
    into.Reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        Item item;
        if (!U32(item.key) || !U32(item.type)) return false;
        if (!into.IsKeyed() && item.key != typeWildCard) return false;
        if (!ItemValue(item.type, depth, item.value)) return false;
        if (into.IsKeyed()) {
            if (into.Find(item.key) >= 0) return false;  // a keyword appears once
        }
        into.Append(std::move(item));
    }
    return true;
}

bool Reader::ItemValue(DescType type, unsigned depth, Payload& value) {
    uint8_t tag;
    if (!U8(tag)) return false;
    if (tag == kTagBytes) {
        uint32_t length;
        if (!U32(length) || length > static_cast<size_t>(mEnd - mCur)) return false;
        if (IsContainerType(type) || (type == typeNull && length != 0)) return false;
        value = Payload::FromBytes(mCur, length);
        mCur += length;
        return true;
    }
    if (tag != kTagContainer || type == typeNull) return false;
    NodeRef node;
    if (!Container(ShapeForType(type), depth + 1, node)) return false;
    value = Payload::FromNode(std::move(node));
    return true;
}

}  // namespace

Shape ShapeForType(DescType type) {
    if (type == typeAEList) return Shape::List;
    if (type == typeAppleEvent) return Shape::Event;
    return Shape::Record;
}

size_t DataSize(const Payload& value) {
    const Container* node = value.Node();
    return node ? sizeof kMagic + ContainerSize(*node) : value.Size();
}

void CopyData(const Payload& value, uint8_t* out, size_t maximum) {
    const Container* node = value.Node();
    if (!node) {
        size_t n = std::min(maximum, value.Size());
        if (n) std::memcpy(out, value.Bytes(), n);
        return;
    }
    size_t full = DataSize(value);
    if (maximum >= full) {
        std::memcpy(out, kMagic, sizeof kMagic);
        Writer(out + sizeof kMagic).Write(*node);
        return;
    }
    std::vector<uint8_t> scratch(full);
    CopyData(value, scratch.data(), full);
    if (maximum) std::memcpy(out, scratch.data(), maximum);
}

OSErr ValueFromBytes(DescType type, const void* bytes, size_t size, Payload& out) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    bool must = IsContainerType(type);
    if (type != typeNull && size >= sizeof kMagic && p && std::memcmp(p, kMagic, 4) == 0) {
        Reader reader(p, size);
        NodeRef node;
        if (reader.Magic() && reader.Container(ShapeForType(type), 1, node) && reader.AtEnd()) {
            out = Payload::FromNode(std::move(node));
            return noErr;
        }
    }
    if (must) return errAECorruptData;
    out = Payload::FromBytes(p, size);
    return noErr;
}

}  // namespace ae
