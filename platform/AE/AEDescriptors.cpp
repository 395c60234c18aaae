// Descriptors as a whole: creation, disposal, duplication and their data.
#include <cstring>
#include <vector>

#include "platform/AE/AEInternal.h"
#include "platform/Testing/PTInternal.h"

using namespace ae;

namespace ae {

OSErr ItemFromDesc(const AEDesc* desc, Item& out) {
    OSErr status;
    const Storage* h = Resolve(desc, status);
    if (status != noErr) return status;
    out.type = desc->descriptorType;
    out.value = h ? h->value : Payload();
    return noErr;
}

OSErr ItemFromPtr(DescType type, const void* bytes, Size size, Item& out) {
    if (size < 0 || (size > 0 && !bytes)) return paramErr;
    out.type = type;
    if (type == typeNull) {
        out.value = Payload();
        return noErr;
    }
    return ValueFromBytes(type, bytes, static_cast<size_t>(size), out.value);
}

}  // namespace ae

namespace {

[[gnu::noinline, gnu::cold]] void EnterInitializeDesc() {
    int32_t injected;
    if (PT_ENTER("AEInitializeDesc", injected)) {
    }
}

OSErr Injected(int32_t status, AEDesc* result) {
    ClearDesc(result);
    return static_cast<OSErr>(status);
}

}  // namespace

extern "C" {

void AEInitializeDesc(AEDesc* desc) {
    // Called for every descriptor a caller declares: the armed entry is kept out of line so
    // the unarmed call is a test and two stores, with no frame.
    if (__builtin_expect(pt::gArmed, 0)) EnterInitializeDesc();
    ClearDesc(desc);
}

OSErr AECreateDesc(DescType typeCode, const void* dataPtr, Size dataSize, AEDesc* result) {
    int32_t injected;
    if (PT_ENTER("AECreateDesc", injected)) return Injected(injected, result);
    if (!result) return paramErr;
    ClearDesc(result);
    return Guarded([&]() -> OSErr {
        Item item;
        if (OSErr e = ItemFromPtr(typeCode, dataPtr, dataSize, item)) return e;
        MakeDesc(item.type, std::move(item.value), result);
        return noErr;
    });
}

OSErr AEDisposeDesc(AEDesc* theAEDesc) {
    int32_t injected;
    if (PT_ENTER("AEDisposeDesc", injected)) return static_cast<OSErr>(injected);
    if (!theAEDesc) return paramErr;
    Storage* h = StorageOf(theAEDesc->dataHandle);
    ClearDesc(theAEDesc);
    if (h && !FreeHandle(h)) {
        pt::DoubleRelease("descriptor");
        return errAENotAEDesc;
    }
    return noErr;
}

OSErr AEDuplicateDesc(const AEDesc* theAEDesc, AEDesc* result) {
    int32_t injected;
    if (PT_ENTER("AEDuplicateDesc", injected)) return Injected(injected, result);
    if (!result) return paramErr;
    // Read the source before clearing: the two may be the same descriptor.
    Item item;
    OSErr status = ItemFromDesc(theAEDesc, item);
    const Storage* source = status == noErr ? StorageOf(theAEDesc->dataHandle) : nullptr;
    ClearDesc(result);
    if (status != noErr) return status;
    return Guarded([&]() -> OSErr {
        // Only the handle is copied now; a shared container is copied when either changes.
        MakeDesc(item.type, std::move(item.value), result);
        if (source && result->dataHandle)
            StorageOf(result->dataHandle)->readParams = source->readParams;
        return noErr;
    });
}

Size AEGetDescDataSize(const AEDesc* theAEDesc) {
    int32_t injected;
    if (PT_ENTER("AEGetDescDataSize", injected)) return 0;
    OSErr status;
    const Storage* h = Resolve(theAEDesc, status);
    if (status != noErr || !h) return 0;
    return static_cast<Size>(DataSize(h->value));
}

OSErr AEGetDescData(const AEDesc* theAEDesc, void* dataPtr, Size maximumSize) {
    int32_t injected;
    if (PT_ENTER("AEGetDescData", injected)) return static_cast<OSErr>(injected);
    if (maximumSize < 0 || (maximumSize > 0 && !dataPtr)) return paramErr;
    OSErr status;
    const Storage* h = Resolve(theAEDesc, status);
    if (status != noErr) return status;
    if (!h) return noErr;  // no data: nothing to copy
    return Guarded([&]() -> OSErr {
        CopyData(h->value, static_cast<uint8_t*>(dataPtr), static_cast<size_t>(maximumSize));
        return noErr;
    });
}

OSStatus AEGetDescDataRange(const AEDesc* dataDesc, void* buffer, Size offset, Size length) {
    int32_t injected;
    if (PT_ENTER("AEGetDescDataRange", injected)) return injected;
    if (offset < 0 || length < 0 || (length > 0 && !buffer)) return paramErr;
    OSErr status;
    const Storage* h = Resolve(dataDesc, status);
    if (status != noErr) return status;
    const size_t size = h ? DataSize(h->value) : 0;
    const auto from = static_cast<size_t>(offset);
    const auto count = static_cast<size_t>(length);
    if (from > size || count > size - from) return paramErr;
    if (count == 0) return noErr;
    return Guarded([&]() -> OSErr {
        auto* out = static_cast<uint8_t*>(buffer);
        if (!h->value.IsNode()) {
            std::memcpy(out, h->value.Bytes() + from, count);
            return noErr;
        }
        // A container's flat form exists only as it is written: write the prefix that ends
        // with the range.
        std::vector<uint8_t> prefix(from + count);
        CopyData(h->value, prefix.data(), prefix.size());
        std::memcpy(out, prefix.data() + from, count);
        return noErr;
    });
}

OSErr AEReplaceDescData(DescType typeCode, const void* dataPtr, Size dataSize, AEDesc* theAEDesc) {
    int32_t injected;
    if (PT_ENTER("AEReplaceDescData", injected)) return static_cast<OSErr>(injected);
    OSErr status;
    Storage* h = ResolveMutable(theAEDesc, status);
    if (status != noErr) return status;
    return Guarded([&]() -> OSErr {
        Item item;
        if (OSErr e = ItemFromPtr(typeCode, dataPtr, dataSize, item)) return e;
        if (typeCode == typeNull) {
            if (h) FreeHandle(h);
            ClearDesc(theAEDesc);
        } else if (h) {
            h->value = std::move(item.value);
            h->readParams.clear();
            theAEDesc->descriptorType = typeCode;
        } else {
            MakeDesc(typeCode, std::move(item.value), theAEDesc);
        }
        return noErr;
    });
}

OSErr AECreateList(const void* factoringPtr, Size factoredSize, Boolean isRecord,
                   AEDescList* resultList) {
    (void)factoringPtr;
    (void)factoredSize;
    int32_t injected;
    if (PT_ENTER("AECreateList", injected)) return Injected(injected, resultList);
    if (!resultList) return paramErr;
    ClearDesc(resultList);
    return Guarded([&]() -> OSErr {
        Shape shape = isRecord ? Shape::Record : Shape::List;
        MakeDesc(isRecord ? typeAERecord : typeAEList,
                 Payload::FromNode(NodeRef(new Container(shape))), resultList);
        return noErr;
    });
}

Boolean AECheckIsRecord(const AEDesc* theDesc) {
    int32_t injected;
    if (PT_ENTER("AECheckIsRecord", injected)) return false;
    OSErr status;
    const Container* c = ContainerOf(theDesc, status);
    return c && c->IsKeyed();
}

AECoerceDescUPP NewAECoerceDescUPP(AECoerceDescProcPtr userRoutine) {
    return userRoutine;
}
AECoercePtrUPP NewAECoercePtrUPP(AECoercePtrProcPtr userRoutine) {
    return userRoutine;
}
void DisposeAECoerceDescUPP(AECoerceDescUPP) {}
void DisposeAECoercePtrUPP(AECoercePtrUPP) {}

}  // extern "C"
