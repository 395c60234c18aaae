// Keyed access: record fields, event parameters with read tracking, and event attributes.
#include <cstring>
#include <unordered_set>

#include "platform/AE/AEInternal.h"
#include "platform/Testing/PTInternal.h"

using namespace ae;

namespace {

// The keyed container of a record or event, or NULL with the status.
const Container* KeyedOf(const AEDesc* desc, const Storage** handle, OSErr& status) {
    const Storage* h = Resolve(desc, status);
    if (status != noErr) return nullptr;
    if (!h || !h->value.IsNode() || !h->value.Node()->IsKeyed()) {
        status = errAEWrongDataType;
        return nullptr;
    }
    if (handle) *handle = h;
    return h->value.Node();
}

const Item* FindKeyed(const AEDesc* desc, AEKeyword key, const Storage** handle, OSErr& status) {
    const Container* c = KeyedOf(desc, handle, status);
    if (!c) return nullptr;
    long at = c->Find(key);
    if (at < 0) {
        status = errAEDescNotFound;
        return nullptr;
    }
    return &c->At(static_cast<size_t>(at));
}

OSErr PutKeyed(AEDesc* desc, AEKeyword key, Item item) {
    OSErr status;
    if (!KeyedOf(desc, nullptr, status)) return status;
    if (!ItemFits(item.value)) return errOSAStackOverflow;
    Storage* h = StorageOf(desc->dataHandle);
    item.key = key;
    item.value.CompactNode();  // complete once it is an item
    h->value.MutableNode().Put(std::move(item));
    return noErr;
}

OSErr DeleteKeyed(AEDesc* desc, AEKeyword key) {
    OSErr status;
    const Container* c = KeyedOf(desc, nullptr, status);
    if (!c) return status;
    long at = c->Find(key);
    if (at < 0) return errAEDescNotFound;
    StorageOf(desc->dataHandle)->value.MutableNode().Erase(static_cast<size_t>(at));
    return noErr;
}

void MarkRead(const Storage* h, AEKeyword key) {
    if (h->value.Node()->GetShape() == Shape::Event) h->readParams.insert(key);
}

// Fetching a parameter of an event marks it as read.
OSErr GetKeyedDesc(const AEDesc* desc, AEKeyword key, DescType desired, AEDesc* result) {
    if (!result) return paramErr;
    return Guarded([&]() -> OSErr {
        OSErr status;
        const Storage* h = nullptr;
        const Item* item = FindKeyed(desc, key, &h, status);
        if (!item) return status;
        MarkRead(h, key);
        return DeliverDesc(*item, desired, result);
    });
}

OSErr GetKeyedPtr(const AEDesc* desc, AEKeyword key, DescType desired, DescType* typeCode,
                  void* dataPtr, Size maximum, Size* actualSize) {
    return Guarded([&]() -> OSErr {
        OSErr status;
        const Storage* h = nullptr;
        const Item* item = FindKeyed(desc, key, &h, status);
        if (!item) return status;
        MarkRead(h, key);
        return DeliverPtr(*item, desired, typeCode, dataPtr, maximum, actualSize);
    });
}

OSErr SizeOfKeyed(const AEDesc* desc, AEKeyword key, DescType* typeCode, Size* dataSize) {
    OSErr status;
    const Item* item = FindKeyed(desc, key, nullptr, status);
    if (!item) return status;
    if (typeCode) *typeCode = item->type;
    if (dataSize) *dataSize = static_cast<Size>(DataSize(item->value));
    return noErr;
}

void ClearPtrOuts(DescType* typeCode, Size* actualSize) {
    if (typeCode) *typeCode = typeNull;
    if (actualSize) *actualSize = 0;
}

// ---- attributes

const Container* EventOf(const AEDesc* desc, const Storage** handle, OSErr& status) {
    const Container* c = KeyedOf(desc, handle, status);
    if (c && c->GetShape() != Shape::Event) {
        status = errAENotAppleEvent;
        return nullptr;
    }
    if (!c && status == errAEWrongDataType) status = errAENotAppleEvent;
    return c;
}

// The attribute as an item: the computed 'miss', or a stored one. False with the status.
bool FindAttribute(const AEDesc* event, AEKeyword key, Item& out, OSErr& status) {
    const Storage* h = nullptr;
    const Container* c = EventOf(event, &h, status);
    if (!c) return false;
    if (key == keyMissedKeywordAttr) {
        AEKeyword missed;
        if (!FirstMissedParam(*h, missed)) {
            status = errAEDescNotFound;
            return false;
        }
        out.type = typeKeyword;
        out.value = Payload::FromBytes(&missed, sizeof missed);
        return true;
    }
    const Container* attrs = c->Attributes();
    long at = attrs ? attrs->Find(key) : -1;
    if (at < 0) {
        status = errAEDescNotFound;
        return false;
    }
    out = attrs->At(static_cast<size_t>(at));
    return true;
}

OSErr PutAttribute(AEDesc* event, AEKeyword key, Item item) {
    OSErr status;
    if (!EventOf(event, nullptr, status)) return status;
    if (!ItemFits(item.value) || DepthOf(item.value) + 2 > kMaxDepth) return errOSAStackOverflow;
    item.key = key;
    item.value.CompactNode();
    Container& c = StorageOf(event->dataHandle)->value.MutableNode();
    Container& attrs = c.MutableAttributes();
    attrs.Put(std::move(item));
    c.NoteDepth(attrs.Depth());
    return noErr;
}

}  // namespace

namespace ae {

bool FirstMissedParam(const Storage& event, AEKeyword& key) {
    const Container& c = *event.value.Node();
    std::unordered_set<AEKeyword> optional;
    if (const Container* attrs = c.Attributes()) {
        long at = attrs->Find(keyOptionalKeywordAttr);
        if (at >= 0) {
            const Item& optk = attrs->At(static_cast<size_t>(at));
            auto note = [&](const Payload& v) {
                if (v.Size() == 4) {
                    AEKeyword k;
                    std::memcpy(&k, v.Bytes(), 4);
                    optional.insert(k);
                }
            };
            if (const Container* list = optk.value.Node()) {
                for (const Item& item : list->Items()) note(item.value);
            } else {
                note(optk.value);
            }
        }
    }
    for (const Item& item : c.Items()) {
        if (event.readParams.count(item.key) || optional.count(item.key)) continue;
        key = item.key;
        return true;
    }
    return false;
}

bool GetAttributeCode(const Container& event, AEKeyword key, uint32_t& out) {
    const Container* attrs = event.Attributes();
    long at = attrs ? attrs->Find(key) : -1;
    if (at < 0) return false;
    const Payload& v = attrs->At(static_cast<size_t>(at)).value;
    if (v.Size() != 4) return false;
    std::memcpy(&out, v.Bytes(), 4);
    return true;
}

}  // namespace ae

extern "C" {

OSErr AEPutParamPtr(AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType typeCode,
                    const void* dataPtr, Size dataSize) {
    int32_t injected;
    if (PT_ENTER("AEPutParamPtr", injected)) return static_cast<OSErr>(injected);
    return Guarded([&]() -> OSErr {
        Item item;
        if (OSErr e = ItemFromPtr(typeCode, dataPtr, dataSize, item)) return e;
        return PutKeyed(theAppleEvent, theAEKeyword, std::move(item));
    });
}

OSErr AEPutParamDesc(AppleEvent* theAppleEvent, AEKeyword theAEKeyword, const AEDesc* theAEDesc) {
    int32_t injected;
    if (PT_ENTER("AEPutParamDesc", injected)) return static_cast<OSErr>(injected);
    return Guarded([&]() -> OSErr {
        Item item;
        if (OSErr e = ItemFromDesc(theAEDesc, item)) return e;
        return PutKeyed(theAppleEvent, theAEKeyword, std::move(item));
    });
}

OSErr AEGetParamPtr(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType desiredType,
                    DescType* actualType, void* dataPtr, Size maximumSize, Size* actualSize) {
    int32_t injected;
    ClearPtrOuts(actualType, actualSize);
    if (PT_ENTER("AEGetParamPtr", injected)) return static_cast<OSErr>(injected);
    return GetKeyedPtr(theAppleEvent, theAEKeyword, desiredType, actualType, dataPtr, maximumSize,
                       actualSize);
}

OSErr AEGetParamDesc(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType desiredType,
                     AEDesc* result) {
    int32_t injected;
    ClearDesc(result);
    if (PT_ENTER("AEGetParamDesc", injected)) return static_cast<OSErr>(injected);
    return GetKeyedDesc(theAppleEvent, theAEKeyword, desiredType, result);
}

OSErr AESizeOfParam(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType* typeCode,
                    Size* dataSize) {
    int32_t injected;
    ClearPtrOuts(typeCode, dataSize);
    if (PT_ENTER("AESizeOfParam", injected)) return static_cast<OSErr>(injected);
    return SizeOfKeyed(theAppleEvent, theAEKeyword, typeCode, dataSize);
}

OSErr AEDeleteParam(AppleEvent* theAppleEvent, AEKeyword theAEKeyword) {
    int32_t injected;
    if (PT_ENTER("AEDeleteParam", injected)) return static_cast<OSErr>(injected);
    return Guarded([&]() { return DeleteKeyed(theAppleEvent, theAEKeyword); });
}

OSErr AEGetAttributePtr(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword,
                        DescType desiredType, DescType* typeCode, void* dataPtr, Size maximumSize,
                        Size* actualSize) {
    int32_t injected;
    ClearPtrOuts(typeCode, actualSize);
    if (PT_ENTER("AEGetAttributePtr", injected)) return static_cast<OSErr>(injected);
    return Guarded([&]() -> OSErr {
        Item item;
        OSErr status;
        if (!FindAttribute(theAppleEvent, theAEKeyword, item, status)) return status;
        return DeliverPtr(item, desiredType, typeCode, dataPtr, maximumSize, actualSize);
    });
}

OSErr AEGetAttributeDesc(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword,
                         DescType desiredType, AEDesc* result) {
    int32_t injected;
    ClearDesc(result);
    if (PT_ENTER("AEGetAttributeDesc", injected)) return static_cast<OSErr>(injected);
    if (!result) return paramErr;
    return Guarded([&]() -> OSErr {
        Item item;
        OSErr status;
        if (!FindAttribute(theAppleEvent, theAEKeyword, item, status)) return status;
        return DeliverDesc(item, desiredType, result);
    });
}

OSErr AESizeOfAttribute(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType* typeCode,
                        Size* dataSize) {
    int32_t injected;
    ClearPtrOuts(typeCode, dataSize);
    if (PT_ENTER("AESizeOfAttribute", injected)) return static_cast<OSErr>(injected);
    return Guarded([&]() -> OSErr {
        Item item;
        OSErr status;
        if (!FindAttribute(theAppleEvent, theAEKeyword, item, status)) return status;
        if (typeCode) *typeCode = item.type;
        if (dataSize) *dataSize = static_cast<Size>(DataSize(item.value));
        return noErr;
    });
}

OSErr AEPutAttributePtr(AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType typeCode,
                        const void* dataPtr, Size dataSize) {
    int32_t injected;
    if (PT_ENTER("AEPutAttributePtr", injected)) return static_cast<OSErr>(injected);
    return Guarded([&]() -> OSErr {
        Item item;
        if (OSErr e = ItemFromPtr(typeCode, dataPtr, dataSize, item)) return e;
        return PutAttribute(theAppleEvent, theAEKeyword, std::move(item));
    });
}

OSErr AEPutAttributeDesc(AppleEvent* theAppleEvent, AEKeyword theAEKeyword,
                         const AEDesc* theAEDesc) {
    int32_t injected;
    if (PT_ENTER("AEPutAttributeDesc", injected)) return static_cast<OSErr>(injected);
    return Guarded([&]() -> OSErr {
        Item item;
        if (OSErr e = ItemFromDesc(theAEDesc, item)) return e;
        return PutAttribute(theAppleEvent, theAEKeyword, std::move(item));
    });
}

}  // extern "C"
