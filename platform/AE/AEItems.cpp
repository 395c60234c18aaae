// Items of lists and records by position, and delivering an item to the caller.
#include <cstring>

#include "platform/AE/AEInternal.h"
#include "platform/Testing/PTInternal.h"

using namespace ae;

namespace ae {

OSErr DeliverDesc(const Item& item, DescType desired, AEDesc* result) {
    ClearDesc(result);
    if (desired == typeWildCard || desired == item.type) {
        MakeDesc(item.type, item.value, result);
        return noErr;
    }
    Item coerced;
    if (OSErr e = CoerceValue(item.type, item.value, desired, coerced)) return e;
    MakeDesc(coerced.type, std::move(coerced.value), result);
    return noErr;
}

OSErr DeliverPtr(const Item& item, DescType desired, DescType* typeCode, void* dataPtr,
                 Size maximum, Size* actualSize) {
    if (maximum < 0 || (maximum > 0 && !dataPtr)) return paramErr;
    const Item* from = &item;
    Item coerced;
    if (desired != typeWildCard && desired != item.type) {
        if (OSErr e = CoerceValue(item.type, item.value, desired, coerced)) return e;
        from = &coerced;
    }
    size_t size = DataSize(from->value);
    CopyData(from->value, static_cast<uint8_t*>(dataPtr), static_cast<size_t>(maximum));
    if (typeCode) *typeCode = from->type;
    if (actualSize) *actualSize = static_cast<Size>(size);
    return noErr;
}

}  // namespace ae

namespace {

// The container of a descriptor for changing, unshared first.
Container* MutableContainerOf(AEDesc* desc, OSErr& status) {
    Storage* h = ResolveMutable(desc, status);
    if (status != noErr) return nullptr;
    if (!h || !h->value.IsNode()) {
        status = errAEWrongDataType;
        return nullptr;
    }
    return &h->value.MutableNode();
}

// Item `index` (1-based) of a list or record, or NULL with the status.
[[gnu::always_inline]] inline const Item* NthItem(const AEDescList* list, long index,
                                                  OSErr& status) {
    const Container* c = ContainerOf(list, status);
    if (!c) return nullptr;
    if (index < 1 || static_cast<unsigned long>(index) > c->Count()) {
        status = errAEIllegalIndex;
        return nullptr;
    }
    return &c->At(static_cast<size_t>(index - 1));
}

// The list an append at `index` (0 or count + 1) may change in place: a live list that no
// other descriptor shares. NULL otherwise, and PutNth then decides with its statuses.
[[gnu::always_inline]] inline Container* AppendTarget(AEDescList* list, long index) {
    Storage* h = list ? StorageOf(list->dataHandle) : nullptr;
    if (!h || !IsLive(h)) return nullptr;
    Container* c = h->value.UnsharedNode();
    if (!c || c->IsKeyed()) return nullptr;
    if (index != 0 && static_cast<unsigned long>(index) != c->Count() + 1) return nullptr;
    return c;
}

OSErr PutNth(AEDescList* list, long index, Item item) {
    OSErr status;
    const Container* current = ContainerOf(list, status);
    if (!current) return status;
    // Records are changed by keyword, never by position.
    if (current->IsKeyed()) return errAEWrongDataType;
    size_t count = current->Count();
    if (index < 0 || static_cast<unsigned long>(index) > count + 1) return errAEIllegalIndex;
    if (!ItemFits(item.value)) return errOSAStackOverflow;
    item.value.CompactNode();  // complete once it is an item
    // Resolved above: the handle is live and holds a container.
    Container& c = StorageOf(list->dataHandle)->value.MutableNode();
    item.key = typeWildCard;
    if (index == 0 || static_cast<size_t>(index) == count + 1) {
        c.Append(std::move(item));
    } else {
        c.Replace(static_cast<size_t>(index - 1), std::move(item));
    }
    return noErr;
}

}  // namespace

extern "C" {

OSErr AECountItems(const AEDescList* theAEDescList, long* theCount) {
    int32_t injected;
    if (theCount) *theCount = 0;
    if (PT_ENTER("AECountItems", injected)) return static_cast<OSErr>(injected);
    if (!theCount) return paramErr;
    OSErr status;
    const Container* c = ContainerOf(theAEDescList, status);
    if (!c) return status;
    *theCount = static_cast<long>(c->Count());
    return noErr;
}

OSErr AEPutPtr(AEDescList* theAEDescList, long index, DescType typeCode, const void* dataPtr,
               Size dataSize) {
    int32_t injected;
    if (PT_ENTER("AEPutPtr", injected)) return static_cast<OSErr>(injected);
    return Guarded([&]() -> OSErr {
        // The common put, a number or text appended to a list being built, makes its item in
        // place.
        if (dataSize >= 0 && dataPtr &&
            KeepsBytes(typeCode, dataPtr, static_cast<size_t>(dataSize))) {
            if (Container* c = AppendTarget(theAEDescList, index)) {
                c->AppendBytes(typeWildCard, typeCode, dataPtr, static_cast<size_t>(dataSize));
                return noErr;
            }
        }
        Item item;
        if (OSErr e = ItemFromPtr(typeCode, dataPtr, dataSize, item)) return e;
        return PutNth(theAEDescList, index, std::move(item));
    });
}

OSErr AEPutDesc(AEDescList* theAEDescList, long index, const AEDesc* theAEDesc) {
    int32_t injected;
    if (PT_ENTER("AEPutDesc", injected)) return static_cast<OSErr>(injected);
    return Guarded([&]() -> OSErr {
        Item item;
        if (OSErr e = ItemFromDesc(theAEDesc, item)) return e;
        // Looked up after the copy: a list put into itself is shared by then.
        if (Container* c = AppendTarget(theAEDescList, index); c && ItemFits(item.value)) {
            item.value.CompactNode();  // complete once it is an item
            c->Append(std::move(item));
            return noErr;
        }
        return PutNth(theAEDescList, index, std::move(item));
    });
}

OSErr AEGetNthPtr(const AEDescList* theAEDescList, long index, DescType desiredType,
                  AEKeyword* theAEKeyword, DescType* typeCode, void* dataPtr, Size maximumSize,
                  Size* actualSize) {
    int32_t injected;
    if (theAEKeyword) *theAEKeyword = typeWildCard;
    if (typeCode) *typeCode = typeNull;
    if (actualSize) *actualSize = 0;
    if (PT_ENTER("AEGetNthPtr", injected)) return static_cast<OSErr>(injected);
    OSErr status;
    const Item* item = NthItem(theAEDescList, index, status);
    if (!item) return status;
    if (desiredType == typeWildCard || desiredType == item->type) {
        // The item as it is: a copy that allocates nothing, so it needs no guard.
        if (maximumSize < 0 || (maximumSize > 0 && !dataPtr)) return paramErr;
        const size_t size = DataSize(item->value);
        CopyData(item->value, static_cast<uint8_t*>(dataPtr), static_cast<size_t>(maximumSize));
        if (theAEKeyword) *theAEKeyword = item->key;
        if (typeCode) *typeCode = item->type;
        if (actualSize) *actualSize = static_cast<Size>(size);
        return noErr;
    }
    return Guarded([&]() -> OSErr {
        DescType type;
        Size size;
        if (OSErr e = DeliverPtr(*item, desiredType, &type, dataPtr, maximumSize, &size)) return e;
        if (theAEKeyword) *theAEKeyword = item->key;
        if (typeCode) *typeCode = type;
        if (actualSize) *actualSize = size;
        return noErr;
    });
}

OSErr AEGetNthDesc(const AEDescList* theAEDescList, long index, DescType desiredType,
                   AEKeyword* theAEKeyword, AEDesc* result) {
    int32_t injected;
    if (theAEKeyword) *theAEKeyword = typeWildCard;
    ClearDesc(result);
    if (PT_ENTER("AEGetNthDesc", injected)) return static_cast<OSErr>(injected);
    if (!result) return paramErr;
    return Guarded([&]() -> OSErr {
        OSErr status;
        const Item* item = NthItem(theAEDescList, index, status);
        if (!item) return status;
        if (OSErr e = DeliverDesc(*item, desiredType, result)) return e;
        if (theAEKeyword) *theAEKeyword = item->key;
        return noErr;
    });
}

OSErr AESizeOfNthItem(const AEDescList* theAEDescList, long index, DescType* typeCode,
                      Size* dataSize) {
    int32_t injected;
    if (typeCode) *typeCode = typeNull;
    if (dataSize) *dataSize = 0;
    if (PT_ENTER("AESizeOfNthItem", injected)) return static_cast<OSErr>(injected);
    OSErr status;
    const Item* item = NthItem(theAEDescList, index, status);
    if (!item) return status;
    if (typeCode) *typeCode = item->type;
    if (dataSize) *dataSize = static_cast<Size>(DataSize(item->value));
    return noErr;
}

OSErr AEDeleteItem(AEDescList* theAEDescList, long index) {
    int32_t injected;
    if (PT_ENTER("AEDeleteItem", injected)) return static_cast<OSErr>(injected);
    return Guarded([&]() -> OSErr {
        OSErr status;
        if (!NthItem(theAEDescList, index, status)) return status;
        Container* c = MutableContainerOf(theAEDescList, status);
        if (!c) return status;
        c->Erase(static_cast<size_t>(index - 1));
        return noErr;
    });
}

}  // extern "C"
