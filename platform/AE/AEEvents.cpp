// Apple events: creation, the handler tables and synchronous sending to this process.
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include "platform/AE/AEInternal.h"
#include "platform/Testing/PTInternal.h"

using namespace ae;

namespace {

struct HandlerRow {
    AEEventHandlerUPP proc;
    SRefCon refcon;
};

using HandlerKey = std::pair<AEEventClass, AEEventID>;

struct HandlerTables {
    std::mutex lock;
    std::map<HandlerKey, HandlerRow> app;
    std::map<HandlerKey, HandlerRow> sys;
    std::map<HandlerKey, HandlerRow>& For(Boolean isSys) { return isSys ? sys : app; }
};

HandlerTables& Tables() {
    static HandlerTables* tables = new HandlerTables;  // lives to the end: handlers run at exit
    return *tables;
}

// The row for (class, ID), trying the wildcard rows as the real tables do.
bool Lookup(const std::map<HandlerKey, HandlerRow>& table, AEEventClass cls, AEEventID id,
            HandlerRow& row) {
    const HandlerKey keys[] = {
        {cls, id}, {cls, typeWildCard}, {typeWildCard, id}, {typeWildCard, typeWildCard}};
    for (const HandlerKey& key : keys) {
        auto it = table.find(key);
        if (it != table.end()) {
            row = it->second;
            return true;
        }
    }
    return false;
}

AEReturnID NextReturnID() {
    static std::atomic<int> next{1};
    int id;
    do {
        id = next.fetch_add(1) & 0x7FFF;
    } while (id == 0);
    return static_cast<AEReturnID>(id);
}

// True when the address names this process.
OSErr CheckAddress(const Container& event) {
    const Container* attrs = event.Attributes();
    long at = attrs ? attrs->Find(keyAddressAttr) : -1;
    if (at < 0) return errAENotAEDesc;
    const Item& addr = attrs->At(static_cast<size_t>(at));
    if (addr.type == typeProcessSerialNumber && addr.value.Size() == sizeof(ProcessSerialNumber)) {
        ProcessSerialNumber psn;
        std::memcpy(&psn, addr.value.Bytes(), sizeof psn);
        if (psn.highLongOfPSN == 0 && psn.lowLongOfPSN == kCurrentProcess) return noErr;
    } else if (addr.type == typeKernelProcessID && addr.value.Size() == sizeof(pid_t)) {
        pid_t pid;
        std::memcpy(&pid, addr.value.Bytes(), sizeof pid);
        if (pid == getpid()) return noErr;
    }
    return errAEUnknownAddressType;
}

// Runs the handler on a private view of the event, so its read marks start empty.
OSErr Dispatch(const Item& event, const HandlerRow& row, AEDesc* reply) {
    AEDesc view;
    try {
        MakeDesc(typeAppleEvent, event.value, &view);
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
    OSErr status;
    try {
        status = row.proc(&view, reply, row.refcon);
    } catch (...) {
        status = errAEEventFailed;  // an exception must not cross into the sender
    }
    FreeHandle(StorageOf(view.dataHandle));
    return status;
}

// Puts the handler's status into a reply that has no 'errn' of its own. Best effort: a reply
// the handler replaced by something else, or no memory, leaves the reply as it is.
void PutErrorNumber(AEDesc* reply, OSErr status) noexcept try {
    Storage* h = StorageOf(reply->dataHandle);
    if (!h || !IsLive(h) || !h->value.IsNode() || !h->value.Node()->IsKeyed()) return;
    if (h->value.Node()->Find(keyErrorNumber) >= 0) return;
    SInt32 value = status;
    Item item;
    item.key = keyErrorNumber;
    item.type = typeSInt32;
    item.value = Payload::FromBytes(&value, sizeof value);
    h->value.MutableNode().Put(std::move(item));
} catch (...) {
}

}  // namespace

namespace ae {

Payload NewEventValue(AEEventClass eventClass, AEEventID eventID, const Item* address,
                      AEReturnID returnID, AETransactionID transactionID) {
    NodeRef event(new Container(Shape::Event));
    Container& attrs = event.Get()->MutableAttributes();
    auto put = [&](AEKeyword key, DescType type, const void* bytes, size_t size) {
        Item item;
        item.key = key;
        item.type = type;
        item.value = Payload::FromBytes(bytes, size);
        attrs.Put(std::move(item));
    };
    put(keyEventClassAttr, typeType, &eventClass, 4);
    put(keyEventIDAttr, typeType, &eventID, 4);
    if (address && address->type != typeNull) {
        Item addr = *address;
        addr.key = keyAddressAttr;
        attrs.Put(std::move(addr));
    }
    SInt32 rtid = returnID == kAutoGenerateReturnID ? NextReturnID() : returnID;
    put(keyReturnIDAttr, typeSInt32, &rtid, 4);
    SInt32 tran = transactionID;
    put(keyTransactionIDAttr, typeSInt32, &tran, 4);
    event.Get()->NoteDepth(attrs.Depth());
    return Payload::FromNode(std::move(event));
}

}  // namespace ae

extern "C" {

AEEventHandlerUPP NewAEEventHandlerUPP(AEEventHandlerProcPtr userRoutine) {
    return userRoutine;
}
void DisposeAEEventHandlerUPP(AEEventHandlerUPP) {}
OSErr InvokeAEEventHandlerUPP(const AppleEvent* theAppleEvent, AppleEvent* reply,
                              SRefCon handlerRefcon, AEEventHandlerUPP userUPP) {
    return userUPP(theAppleEvent, reply, handlerRefcon);
}

OSErr AECreateAppleEvent(AEEventClass theAEEventClass, AEEventID theAEEventID,
                         const AEAddressDesc* target, AEReturnID returnID,
                         AETransactionID transactionID, AppleEvent* result) {
    int32_t injected;
    ClearDesc(result);
    if (PT_ENTER("AECreateAppleEvent", injected)) return static_cast<OSErr>(injected);
    if (!result) return paramErr;
    return Guarded([&]() -> OSErr {
        Item address;
        if (target) {
            if (OSErr e = ItemFromDesc(target, address)) return e;
            if (!ItemFits(address.value) || DepthOf(address.value) + 2 > kMaxDepth)
                return errOSAStackOverflow;
        }
        MakeDesc(typeAppleEvent,
                 NewEventValue(theAEEventClass, theAEEventID, target ? &address : nullptr, returnID,
                               transactionID),
                 result);
        return noErr;
    });
}

OSErr AEInstallEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID,
                            AEEventHandlerUPP handler, SRefCon handlerRefcon,
                            Boolean isSysHandler) {
    int32_t injected;
    if (PT_ENTER("AEInstallEventHandler", injected)) return static_cast<OSErr>(injected);
    if (!handler) return paramErr;
    return Guarded([&]() -> OSErr {
        HandlerTables& t = Tables();
        std::lock_guard<std::mutex> guard(t.lock);
        t.For(isSysHandler)[{theAEEventClass, theAEEventID}] = HandlerRow{handler, handlerRefcon};
        return noErr;
    });
}

OSErr AERemoveEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID,
                           AEEventHandlerUPP handler, Boolean isSysHandler) {
    int32_t injected;
    if (PT_ENTER("AERemoveEventHandler", injected)) return static_cast<OSErr>(injected);
    HandlerTables& t = Tables();
    std::lock_guard<std::mutex> guard(t.lock);
    auto& table = t.For(isSysHandler);
    auto it = table.find({theAEEventClass, theAEEventID});
    if (it == table.end() || it->second.proc != handler) return errAEHandlerNotFound;
    table.erase(it);
    return noErr;
}

OSErr AEGetEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID,
                        AEEventHandlerUPP* handler, SRefCon* handlerRefcon, Boolean isSysHandler) {
    int32_t injected;
    if (handler) *handler = nullptr;
    if (handlerRefcon) *handlerRefcon = nullptr;
    if (PT_ENTER("AEGetEventHandler", injected)) return static_cast<OSErr>(injected);
    HandlerTables& t = Tables();
    std::lock_guard<std::mutex> guard(t.lock);
    auto& table = t.For(isSysHandler);
    auto it = table.find({theAEEventClass, theAEEventID});
    if (it == table.end()) return errAEHandlerNotFound;
    if (handler) *handler = it->second.proc;
    if (handlerRefcon) *handlerRefcon = it->second.refcon;
    return noErr;
}

OSErr AESend(const AppleEvent* theAppleEvent, AppleEvent* reply, AESendMode sendMode,
             AESendPriority sendPriority, SInt32 timeOutInTicks, AEIdleUPP idleProc,
             AEFilterUPP filterProc) {
    (void)sendMode, (void)sendPriority, (void)timeOutInTicks, (void)idleProc, (void)filterProc;
    int32_t injected;
    ClearDesc(reply);
    if (PT_ENTER("AESend", injected)) return static_cast<OSErr>(injected);
    return Guarded([&]() -> OSErr {
        Item event;
        if (OSErr e = ItemFromDesc(theAppleEvent, event)) return e;
        const Container* c = event.value.Node();
        if (event.type != typeAppleEvent || !c || c->GetShape() != Shape::Event)
            return errAENotAppleEvent;
        if (OSErr e = CheckAddress(*c)) return e;
        uint32_t cls = 0, id = 0;
        GetAttributeCode(*c, keyEventClassAttr, cls);
        GetAttributeCode(*c, keyEventIDAttr, id);
        HandlerRow row{};
        {
            HandlerTables& t = Tables();
            std::lock_guard<std::mutex> guard(t.lock);
            if (!Lookup(t.app, cls, id, row) && !Lookup(t.sys, cls, id, row))
                return errAEEventNotHandled;
        }
        // The handler always gets a reply to write into, even when the sender wants none.
        AEDesc answer;
        MakeDesc(typeAppleEvent, NewEventValue(kCoreEventClass, kAEAnswer, nullptr, 0, 0), &answer);
        OSErr status = Dispatch(event, row, &answer);
        if (status != noErr) PutErrorNumber(&answer, status);
        bool live = answer.dataHandle && IsLive(StorageOf(answer.dataHandle));
        if (reply && live) {
            *reply = answer;
        } else if (live) {
            FreeHandle(StorageOf(answer.dataHandle));
        }
        return status;
    });
}

}  // extern "C"
