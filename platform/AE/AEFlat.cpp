// Writing and validating the flat form of containers.
#include "platform/AE/AEFlat.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace ae {
namespace {

constexpr uint8_t kTagBytes = 0;
constexpr uint8_t kTagContainer = 1;
// key + type + tag + length: the least an item can take, used to bound counts before
// anything is reserved.
constexpr size_t kMinItemSize = 13;

size_t ItemsSize(const Container& c);

size_t ContainerSize(const Container& c) {
    size_t size = Container::kFlatContainerHead + ItemsSize(c);
    if (c.GetShape() == Shape::Event) {
        size += 4;
        if (const Container* attrs = c.Attributes()) size += ItemsSize(*attrs);
    }
    return size;
}

size_t ItemsSize(const Container& c) {
    size_t size = c.CachedItemsSize();
    if (size != Container::kSizeUnknown) return size;
    size = 0;
    for (const Item& item : c.Items()) {
        size += Container::kFlatItemHead;
        const Container* node = item.value.Node();
        size += node ? ContainerSize(*node) : Container::kFlatLength + item.value.Size();
    }
    c.CacheItemsSize(size);
    return size;
}

// Writes the flat form, or its first `limit` bytes: a partial copy stops as soon as the
// limit is reached, so asking for a prefix of a large container costs the prefix only.
class Writer {
public:
    Writer(uint8_t* out, size_t limit) : mCur(out), mLeft(limit) {}
    bool Full() const { return mLeft == 0; }
    void Bytes(const void* p, size_t n) {
        n = std::min(n, mLeft);
        if (n) std::memcpy(mCur, p, n);
        mCur += n;
        mLeft -= n;
    }
    void U32(uint32_t v) { Bytes(&v, 4); }
    void U8(uint8_t v) { Bytes(&v, 1); }

    void Items(std::span<const Item> items) {
        U32(static_cast<uint32_t>(items.size()));
        for (const Item& item : items) {
            if (Full()) return;
            // key, type, tag and (for bytes) length, written in one step
            uint8_t head[13];
            std::memcpy(head, &item.key, 4);
            std::memcpy(head + 4, &item.type, 4);
            if (const Container* node = item.value.Node()) {
                head[8] = kTagContainer;
                Bytes(head, 9);
                Write(*node);
            } else {
                head[8] = kTagBytes;
                const auto size = static_cast<uint32_t>(item.value.Size());
                std::memcpy(head + 9, &size, 4);
                if (size <= 8 && mLeft >= 13 + 8) {
                    // Most items are numbers, codes and short text: eight bytes are moved
                    // whatever their size (an inline payload always has them), with no call.
                    std::memcpy(mCur, head, 13);
                    std::memcpy(mCur + 13, item.value.Bytes(), 8);
                    mCur += 13 + size;
                    mLeft -= 13 + size;
                    continue;
                }
                Bytes(head, 13);
                Bytes(item.value.Bytes(), size);
            }
        }
    }

    void Write(const Container& c) {
        U8(static_cast<uint8_t>(c.GetShape()));
        Items(c.Items());
        if (c.GetShape() == Shape::Event && !Full()) {
            Items(c.Attributes() ? c.Attributes()->Items() : std::span<const Item>());
        }
    }

private:
    uint8_t* mCur;
    size_t mLeft;
};

// Reads a flat form; every read checked against the end, the first failure sticks. Nested
// containers are followed with an explicit stack of open containers rather than recursion,
// so the deepest data allowed need no more machine stack than flat data.
class Reader {
public:
    Reader(const uint8_t* begin, size_t size) : mCur(begin), mEnd(begin + size) {}

    bool U32(uint32_t& v) {
        if (mEnd - mCur < 4) return false;
        std::memcpy(&v, mCur, 4);
        mCur += 4;
        return true;
    }
    bool U8(uint8_t& v) {
        if (mCur == mEnd) return false;
        v = *mCur++;
        return true;
    }
    bool Magic() {
        if (mEnd - mCur < 4 || std::memcmp(mCur, kMagic, 4) != 0) return false;
        mCur += 4;
        return true;
    }
    bool AtEnd() const { return mCur == mEnd; }

    // Reads a container of shape `expected` and everything in it. Throws std::bad_alloc.
    bool Container(Shape expected, NodeRef& out);

private:
    // A container being read: the items still to come into `into` (the container itself, or
    // an event's attributes once its parameters are done), and the item whose container
    // value is being read below it.
    struct Open {
        NodeRef node;
        ae::Container* into = nullptr;
        uint32_t left = 0;
        bool attributesNext = false;
        Item pending;
    };

    bool Begin(Shape expected, std::vector<Open>& open);
    bool Count(Open& frame);
    bool Add(Open& frame, Item item);
    bool Close(std::vector<Open>& open, NodeRef& out);
    bool NextItem(std::vector<Open>& open);

    const uint8_t* mCur;
    const uint8_t* mEnd;
};

// Starts a container: its shape byte and item count.
bool Reader::Begin(Shape expected, std::vector<Open>& open) {
    uint8_t shape;
    if (open.size() >= kMaxDepth || !U8(shape) || shape != static_cast<uint8_t>(expected))
        return false;
    Open frame;
    frame.node = NodeRef(new ae::Container(expected));
    frame.into = frame.node.Get();
    frame.attributesNext = expected == Shape::Event;
    if (!Count(frame)) return false;
    open.push_back(std::move(frame));
    return true;
}

bool Reader::Count(Open& frame) {
    if (!U32(frame.left)) return false;
    if (frame.left > static_cast<size_t>(mEnd - mCur) / kMinItemSize) return false;
    frame.into->Reserve(frame.left);
    return true;
}

bool Reader::Add(Open& frame, Item item) {
    if (frame.into->IsKeyed() && frame.into->Find(item.key) >= 0) return false;  // once each
    frame.into->Append(std::move(item));
    --frame.left;
    return true;
}

// Ends the innermost container: it becomes the pending item's value one level up, or `out`.
bool Reader::Close(std::vector<Open>& open, NodeRef& out) {
    Open& frame = open.back();
    if (frame.attributesNext) {
        frame.attributesNext = false;
        frame.into = &frame.node.Get()->MutableAttributes();
        return Count(frame);
    }
    if (frame.into != frame.node.Get()) frame.node.Get()->NoteDepth(frame.into->Depth());
    NodeRef done = std::move(frame.node);
    open.pop_back();
    if (open.empty()) {
        out = std::move(done);
        return true;
    }
    Item item = std::move(open.back().pending);
    item.value = Payload::FromNode(std::move(done));
    return Add(open.back(), std::move(item));
}

// Reads the next item of the innermost container; a container value opens a new level.
bool Reader::NextItem(std::vector<Open>& open) {
    Open& frame = open.back();
    Item item;
    uint8_t tag;
    if (!U32(item.key) || !U32(item.type) || !U8(tag)) return false;
    if (!frame.into->IsKeyed() && item.key != typeWildCard) return false;
    if (tag == kTagBytes) {
        uint32_t length;
        if (!U32(length) || length > static_cast<size_t>(mEnd - mCur)) return false;
        if (IsContainerType(item.type) || (item.type == typeNull && length != 0)) return false;
        item.value = Payload::FromBytes(mCur, length);
        mCur += length;
        return Add(frame, std::move(item));
    }
    if (tag != kTagContainer || item.type == typeNull) return false;
    const Shape shape = ShapeForType(item.type);
    frame.pending = std::move(item);
    return Begin(shape, open);
}

bool Reader::Container(Shape expected, NodeRef& out) {
    std::vector<Open> open;
    if (!Begin(expected, open)) return false;
    while (!open.empty()) {
        const bool ok = open.back().left == 0 ? Close(open, out) : NextItem(open);
        if (!ok) return false;
    }
    return true;
}

}  // namespace

Shape ShapeForType(DescType type) {
    if (type == typeAEList) return Shape::List;
    if (type == typeAppleEvent) return Shape::Event;
    return Shape::Record;
}

size_t FlatSize(const Container& node) {
    return sizeof kMagic + ContainerSize(node);
}

void CopyFlat(const Container& node, uint8_t* out, size_t maximum) {
    Writer writer(out, maximum);
    writer.Bytes(kMagic, sizeof kMagic);
    if (!writer.Full()) writer.Write(node);
}

OSErr ValueFromBytes(DescType type, const void* bytes, size_t size, Payload& out) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    bool must = IsContainerType(type);
    if (type != typeNull && size >= sizeof kMagic && p && HasMagic(p)) {
        Reader reader(p, size);
        NodeRef node;
        if (reader.Magic() && reader.Container(ShapeForType(type), node) && reader.AtEnd()) {
            out = Payload::FromNode(std::move(node));
            return noErr;
        }
    }
    if (must) return errAECorruptData;
    out = Payload::FromBytesSharingUnits(p, size);  // a long string's characters are shared
    return noErr;
}

}  // namespace ae
