// Coercion: installed handlers, then the built-in numeric, Boolean, code and record
// coercions (text and files live in AETextCoercion.cpp).
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <vector>

#include "platform/AE/AEInternal.h"
#include "platform/Testing/PTInternal.h"

using namespace ae;

namespace {

// ---- handler tables

struct CoercionRow {
    AECoercionHandlerUPP proc;
    SRefCon refcon;
    Boolean isDesc;
};

using CoercionKey = std::pair<DescType, DescType>;

struct CoercionTables {
    std::mutex lock;
    std::map<CoercionKey, CoercionRow> app;
    std::map<CoercionKey, CoercionRow> sys;
    std::map<CoercionKey, CoercionRow>& For(Boolean isSys) { return isSys ? sys : app; }
    // Handlers installed in either table, kept under the lock and read without it, so a
    // coercion with no handler installed (the usual case) takes no lock.
    std::atomic<size_t> installed{0};
    void Changed() { installed.store(app.size() + sys.size(), std::memory_order_release); }
};

CoercionTables& Tables() {
    static CoercionTables* tables = new CoercionTables;
    return *tables;
}

bool FindHandler(DescType from, DescType to, CoercionRow& row) {
    CoercionTables& t = Tables();
    if (t.installed.load(std::memory_order_acquire) == 0) return false;
    std::lock_guard<std::mutex> guard(t.lock);
    const CoercionKey keys[] = {{from, to}, {typeWildCard, to}};
    for (auto* table : {&t.app, &t.sys}) {
        for (const CoercionKey& key : keys) {
            auto it = table->find(key);
            if (it != table->end()) {
                row = it->second;
                return true;
            }
        }
    }
    return false;
}

// Takes the value out of a descriptor a handler made, freeing its storage.
OSErr AdoptResult(AEDesc& result, Item& out) {
    Storage* h = StorageOf(result.dataHandle);
    if (h && !IsLive(h)) return errAENotAEDesc;
    out.type = result.descriptorType;
    out.value = h ? std::move(h->value) : Payload();
    if (h) FreeHandle(h);
    return noErr;
}

OSErr RunHandler(const CoercionRow& row, DescType fromType, const Payload& from, DescType toType,
                 Item& out) {
    AEDesc result = {typeNull, nullptr};
    OSErr status;
    if (row.isDesc) {
        AEDesc source;
        MakeDesc(fromType, from, &source);
        status = row.proc(&source, toType, row.refcon, &result);
        if (source.dataHandle) FreeHandle(StorageOf(source.dataHandle));
    } else {
        std::vector<uint8_t> bytes(DataSize(from));
        CopyData(from, bytes.data(), bytes.size());
        status = reinterpret_cast<AECoercePtrProcPtr>(reinterpret_cast<void (*)(void)>(row.proc))(
            fromType, bytes.data(), static_cast<Size>(bytes.size()), toType, row.refcon, &result);
    }
    if (status != noErr) {
        if (result.dataHandle) FreeHandle(StorageOf(result.dataHandle));
        return status;
    }
    return AdoptResult(result, out);
}

// ---- numbers

struct Number {
    bool isReal = false;
    int64_t i = 0;
    double d = 0;
};

template <class T>
T Load(const Payload& v) {
    T value;
    std::memcpy(&value, v.Bytes(), sizeof value);
    return value;
}

// Width of a number type's data, 0 for other types.
size_t NumberWidth(DescType type) {
    switch (type) {
        case typeSInt16:
            return 2;
        case typeSInt32:
        case typeUInt32:
        case typeIEEE32BitFloatingPoint:
        case typeFixed:
            return 4;
        case typeSInt64:
        case typeIEEE64BitFloatingPoint:
            return 8;
        default:
            return 0;
    }
}

Number ReadNumber(DescType type, const Payload& v) {
    Number n;
    switch (type) {
        case typeSInt16:
            n.i = Load<int16_t>(v);
            break;
        case typeSInt32:
            n.i = Load<int32_t>(v);
            break;
        case typeUInt32:
            n.i = Load<uint32_t>(v);
            break;
        case typeSInt64:
            n.i = Load<int64_t>(v);
            break;
        case typeIEEE32BitFloatingPoint:
            n.isReal = true;
            n.d = Load<float>(v);
            break;
        case typeIEEE64BitFloatingPoint:
            n.isReal = true;
            n.d = Load<double>(v);
            break;
        default:
            n.isReal = true;
            n.d = Load<int32_t>(v) / 65536.0;
            break;  // typeFixed
    }
    return n;
}

constexpr double kTwo63 = 9223372036854775808.0;

// The number as a whole int64, when it is one exactly.
bool ExactInteger(const Number& n, int64_t& out) {
    if (!n.isReal) {
        out = n.i;
        return true;
    }
    if (!std::isfinite(n.d) || std::floor(n.d) != n.d || n.d < -kTwo63 || n.d >= kTwo63)
        return false;
    out = static_cast<int64_t>(n.d);
    return true;
}

// The number as a double, when exactly representable.
bool ExactDouble(const Number& n, double& out) {
    if (n.isReal) {
        out = n.d;
        return true;
    }
    double d = static_cast<double>(n.i);
    if (d >= kTwo63 || static_cast<int64_t>(d) != n.i) return false;
    out = d;
    return true;
}

template <class T>
void Store(Item& out, DescType type, T value) {
    out.type = type;
    out.value = Payload::FromBytes(&value, sizeof value);
}

template <class T>
bool StoreInteger(Item& out, DescType type, int64_t v) {
    if (v < std::numeric_limits<T>::min() ||
        v > static_cast<int64_t>(std::numeric_limits<T>::max()))
        return false;
    Store(out, type, static_cast<T>(v));
    return true;
}

bool WriteNumber(const Number& n, DescType to, Item& out) {
    int64_t i;
    double d;
    switch (to) {
        case typeSInt16:
            return ExactInteger(n, i) && StoreInteger<int16_t>(out, to, i);
        case typeSInt32:
            return ExactInteger(n, i) && StoreInteger<int32_t>(out, to, i);
        case typeUInt32:
            return ExactInteger(n, i) && StoreInteger<uint32_t>(out, to, i);
        case typeSInt64:
            return ExactInteger(n, i) && StoreInteger<int64_t>(out, to, i);
        case typeIEEE64BitFloatingPoint:
            if (!ExactDouble(n, d)) return false;
            Store(out, to, d);
            return true;
        case typeIEEE32BitFloatingPoint: {
            if (!ExactDouble(n, d)) return false;
            float f = static_cast<float>(d);
            if (static_cast<double>(f) != d && !std::isnan(d)) return false;
            Store(out, to, f);
            return true;
        }
        case typeFixed: {
            if (!ExactDouble(n, d)) return false;
            double scaled = d * 65536.0;  // exact: a power of two
            if (!std::isfinite(scaled) || std::floor(scaled) != scaled || scaled < -2147483648.0 ||
                scaled > 2147483647.0)
                return false;
            Store(out, to, static_cast<int32_t>(scaled));
            return true;
        }
        default:
            return false;
    }
}

// ---- Booleans and codes

bool IsCodeType(DescType type) {
    return type == typeType || type == typeEnumerated || type == typeAbsoluteOrdinal ||
           type == typeProperty || type == typeKeyword;
}

// 1 for true, 0 for false, -1 when the value is not a Boolean of any form.
int ReadBoolean(DescType type, const Payload& v) {
    if (type == typeTrue) return 1;
    if (type == typeFalse) return 0;
    if (type == typeBoolean && v.Size() == 1) return v.Bytes()[0] != 0;
    if (type == typeSInt32 && v.Size() == 4) {
        int32_t i = Load<int32_t>(v);
        return i == 0 || i == 1 ? i : -1;
    }
    if (type == typeEnumerated && v.Size() == 4) {
        uint32_t code = Load<uint32_t>(v);
        return code == typeTrue ? 1 : code == typeFalse ? 0 : -1;
    }
    return -1;
}

OSErr CoerceBoolean(DescType fromType, const Payload& from, DescType toType, Item& out) {
    bool fromBool = fromType == typeBoolean || fromType == typeTrue || fromType == typeFalse;
    bool legal = (toType == typeBoolean &&
                  (fromBool || fromType == typeSInt32 || fromType == typeEnumerated)) ||
                 (fromType == typeBoolean &&
                  (toType == typeTrue || toType == typeFalse || toType == typeSInt32));
    if (!legal) return errAECoercionFail;
    int b = ReadBoolean(fromType, from);
    if (b < 0) return errAECoercionFail;
    switch (toType) {
        case typeBoolean:
            Store(out, toType, static_cast<uint8_t>(b));
            return noErr;
        case typeSInt32:
            Store(out, toType, static_cast<int32_t>(b));
            return noErr;
        default:
            // 'true' and 'fals' carry no data; only the matching value converts.
            if ((toType == typeTrue) != (b == 1)) return errAECoercionFail;
            out.type = toType;
            out.value = Payload();
            return noErr;
    }
}

// ---- records of any type

bool IsByteType(DescType type) {
    switch (type) {
        case typeChar:
        case typeUTF8Text:
        case typeUnicodeText:
        case typeIntlText:
        case typeApplicationURL:
        case typeApplicationBundleID:
        case typeBoolean:
        case typeTrue:
        case typeFalse:
        case typeFileURL:
        case typeAlias:
        case typeFSRef:
        case cFile:
        case FourCC("psxf"):
        case typeLongDateTime:
        case typeAEList:
        case typeAppleEvent:
        case typeNull:
            return true;
        default:
            return NumberWidth(type) != 0 || IsCodeType(type);
    }
}

OSErr CoerceRecord(DescType fromType, const Payload& from, DescType toType, Item& out) {
    const Container* node = from.Node();
    if (!node || node->GetShape() != Shape::Record) return errAECoercionFail;
    // Any record to 'reco', and a 'reco' to any type that is not a plain value.
    if (toType != typeAERecord && (fromType != typeAERecord || IsByteType(toType)))
        return errAECoercionFail;
    out.type = toType;
    out.value = from;
    return noErr;
}

}  // namespace

namespace ae {

OSErr CoerceBuiltIn(DescType fromType, const Payload& from, DescType toType, Item& out) {
    if (fromType == typeNull) return errAECoercionFail;
    size_t width = NumberWidth(fromType);
    if (width && NumberWidth(toType)) {
        if (from.Size() != width || from.IsNode()) return errAECoercionFail;
        return WriteNumber(ReadNumber(fromType, from), toType, out) ? OSErr(noErr)
                                                                    : OSErr(errAECoercionFail);
    }
    if (toType == typeBoolean || fromType == typeBoolean || fromType == typeTrue ||
        fromType == typeFalse)
        return CoerceBoolean(fromType, from, toType, out);
    if (IsCodeType(fromType) && IsCodeType(toType)) {
        if (from.Size() != 4 || from.IsNode()) return errAECoercionFail;
        out.type = toType;
        out.value = from;
        return noErr;
    }
    OSErr status = CoerceText(fromType, from, toType, out);
    if (status != errAECoercionFail) return status;
    status = CoerceFile(fromType, from, toType, out);
    if (status != errAECoercionFail) return status;
    return CoerceRecord(fromType, from, toType, out);
}

OSErr CoerceValue(DescType fromType, const Payload& from, DescType toType, Item& out) {
    if (toType == typeWildCard || toType == fromType) {
        out.type = fromType;
        out.value = from;
        return noErr;
    }
    CoercionRow row;
    if (FindHandler(fromType, toType, row)) return RunHandler(row, fromType, from, toType, out);
    return CoerceBuiltIn(fromType, from, toType, out);
}

}  // namespace ae

extern "C" {

OSErr AECoercePtr(DescType typeCode, const void* dataPtr, Size dataSize, DescType toType,
                  AEDesc* result) {
    int32_t injected;
    ClearDesc(result);
    if (PT_ENTER("AECoercePtr", injected)) return static_cast<OSErr>(injected);
    if (!result) return paramErr;
    return Guarded([&]() -> OSErr {
        Item item;
        if (OSErr e = ItemFromPtr(typeCode, dataPtr, dataSize, item)) return e;
        return DeliverDesc(item, toType, result);
    });
}

OSErr AECoerceDesc(const AEDesc* theAEDesc, DescType toType, AEDesc* result) {
    int32_t injected;
    // Read the source first: the caller may pass the same descriptor twice.
    Item item;
    OSErr status = ItemFromDesc(theAEDesc, item);
    ClearDesc(result);
    if (PT_ENTER("AECoerceDesc", injected)) return static_cast<OSErr>(injected);
    if (!result) return paramErr;
    if (status != noErr) return status;
    return Guarded([&]() { return DeliverDesc(item, toType, result); });
}

OSErr AEInstallCoercionHandler(DescType fromType, DescType toType, AECoercionHandlerUPP handler,
                               SRefCon handlerRefcon, Boolean fromTypeIsDesc,
                               Boolean isSysHandler) {
    int32_t injected;
    if (PT_ENTER("AEInstallCoercionHandler", injected)) return static_cast<OSErr>(injected);
    if (!handler) return paramErr;
    return Guarded([&]() -> OSErr {
        CoercionTables& t = Tables();
        std::lock_guard<std::mutex> guard(t.lock);
        t.For(isSysHandler)[{fromType, toType}] =
            CoercionRow{handler, handlerRefcon, static_cast<Boolean>(fromTypeIsDesc != 0)};
        t.Changed();
        return noErr;
    });
}

OSErr AERemoveCoercionHandler(DescType fromType, DescType toType, AECoercionHandlerUPP handler,
                              Boolean isSysHandler) {
    int32_t injected;
    if (PT_ENTER("AERemoveCoercionHandler", injected)) return static_cast<OSErr>(injected);
    CoercionTables& t = Tables();
    std::lock_guard<std::mutex> guard(t.lock);
    auto& table = t.For(isSysHandler);
    auto it = table.find({fromType, toType});
    if (it == table.end() || it->second.proc != handler) return errAEHandlerNotFound;
    table.erase(it);
    t.Changed();
    return noErr;
}

OSErr AEGetCoercionHandler(DescType fromType, DescType toType, AECoercionHandlerUPP* handler,
                           SRefCon* handlerRefcon, Boolean* fromTypeIsDesc, Boolean isSysHandler) {
    int32_t injected;
    if (handler) *handler = nullptr;
    if (handlerRefcon) *handlerRefcon = nullptr;
    if (fromTypeIsDesc) *fromTypeIsDesc = false;
    if (PT_ENTER("AEGetCoercionHandler", injected)) return static_cast<OSErr>(injected);
    CoercionTables& t = Tables();
    std::lock_guard<std::mutex> guard(t.lock);
    auto& table = t.For(isSysHandler);
    auto it = table.find({fromType, toType});
    if (it == table.end()) return errAEHandlerNotFound;
    if (handler) *handler = it->second.proc;
    if (handlerRefcon) *handlerRefcon = it->second.refcon;
    if (fromTypeIsDesc) *fromTypeIsDesc = it->second.isDesc;
    return noErr;
}

}  // extern "C"
