/*
 * AEDataModel.h — descriptors, lists, records, Apple events and coercions.
 *
 * Ownership: every function that fills an AEDesc out-parameter hands the caller a
 * descriptor it must dispose with AEDisposeDesc. Out descriptors are set to
 * {typeNull, NULL} before any work, and stay so on failure: nothing is ever half-filled.
 * A descriptor of type typeNull always has a NULL dataHandle; every other descriptor has
 * storage, even with zero bytes of data.
 */
#ifndef __AEDATAMODEL__
#define __AEDATAMODEL__

#include <CoreServices/MacErrors.h>
#include <CoreServices/MacTypes.h>

#ifdef __cplusplus
extern "C" {
// The platform library is built with hidden visibility; its C API is what it exports.
#pragma GCC visibility push(default)
#endif

typedef FourCharCode DescType;
typedef FourCharCode AEKeyword;

/* Descriptor types: numbers, booleans, text, codes, containers. */
enum {
    typeBoolean = 0x626F6F6C /* 'bool' */,
    typeChar = 0x54455854 /* 'TEXT' */
};

enum {
    typeStyledUnicodeText = 0x73757478 /* 'sutx' */,
    typeEncodedString = 0x656E6373 /* 'encs' */,
    typeUnicodeText = 0x75747874 /* 'utxt' */,
    typeCString = 0x63737472 /* 'cstr' */,
    typePString = 0x70737472 /* 'pstr' */
};

enum {
    typeUTF16ExternalRepresentation = 0x75743136 /* 'ut16' */,
    typeUTF8Text = 0x75746638 /* 'utf8' */
};

enum {
    typeSInt16 = 0x73686F72 /* 'shor' */,
    typeUInt16 = 0x75736872 /* 'ushr' */,
    typeSInt32 = 0x6C6F6E67 /* 'long' */,
    typeUInt32 = 0x6D61676E /* 'magn' */,
    typeSInt64 = 0x636F6D70 /* 'comp' */,
    typeUInt64 = 0x75636F6D /* 'ucom' */,
    typeIEEE32BitFloatingPoint = 0x73696E67 /* 'sing' */,
    typeIEEE64BitFloatingPoint = 0x646F7562 /* 'doub' */,
    type128BitFloatingPoint = 0x6C64626C /* 'ldbl' */,
    typeDecimalStruct = 0x6465636D /* 'decm' */
};

enum {
    typeAEList = 0x6C697374 /* 'list' */,
    typeAERecord = 0x7265636F /* 'reco' */,
    typeAppleEvent = 0x61657674 /* 'aevt' */,
    typeEventRecord = 0x65767263 /* 'evrc' */,
    typeTrue = 0x74727565 /* 'true' */,
    typeFalse = 0x66616C73 /* 'fals' */,
    typeAlias = 0x616C6973 /* 'alis' */,
    typeEnumerated = 0x656E756D /* 'enum' */,
    typeType = 0x74797065 /* 'type' */,
    typeAppParameters = 0x61707061 /* 'appa' */,
    typeProperty = 0x70726F70 /* 'prop' */,
    typeFSRef = 0x66737266 /* 'fsrf' */,
    typeFileURL = 0x6675726C /* 'furl' */,
    typeBookmarkData = 0x626D726B /* 'bmrk' */,
    typeKeyword = 0x6B657977 /* 'keyw' */,
    typeSectionH = 0x73656374 /* 'sect' */,
    typeWildCard = 0x2A2A2A2A /* '****' */,
    typeApplSignature = 0x7369676E /* 'sign' */,
    typeQDRectangle = 0x71647274 /* 'qdrt' */,
    typeFixed = 0x66697864 /* 'fixd' */,
    typeProcessSerialNumber = 0x70736E20 /* 'psn ' */,
    typeApplicationURL = 0x6170726C /* 'aprl' */,
    typeNull = 0x6E756C6C /* 'null' */
};

enum {
    typeKernelProcessID = 0x6B706964 /* 'kpid' */,
    typeMachPort = 0x706F7274 /* 'port' */
};

enum {
    typeAuditToken = 0x746F6B6E /* 'tokn' */
};

enum {
    typeApplicationBundleID = 0x62756E64 /* 'bund' */
};

/* Keywords of the parameters and attributes every event may carry. */
enum {
    keyTransactionIDAttr = 0x7472616E /* 'tran' */,
    keyReturnIDAttr = 0x72746964 /* 'rtid' */,
    keyEventClassAttr = 0x6576636C /* 'evcl' */,
    keyEventIDAttr = 0x65766964 /* 'evid' */,
    keyAddressAttr = 0x61646472 /* 'addr' */,
    keyOptionalKeywordAttr = 0x6F70746B /* 'optk' */,
    keyTimeoutAttr = 0x74696D6F /* 'timo' */,
    keyInteractLevelAttr = 0x696E7465 /* 'inte' */,
    keyEventSourceAttr = 0x65737263 /* 'esrc' */,
    keyMissedKeywordAttr = 0x6D697373 /* 'miss' */,
    keyOriginalAddressAttr = 0x66726F6D /* 'from' */,
    keyAcceptTimeoutAttr = 0x6163746D /* 'actm' */,
    keyReplyRequestedAttr = 0x72657071 /* 'repq' */
};

/* Special values of the return and transaction IDs and of the process serial number. */
enum { kAutoGenerateReturnID = -1, kAnyTransactionID = 0 };

enum { kNoProcess = 0, kSystemProcess = 1, kCurrentProcess = 2 };

typedef struct ProcessSerialNumber {
    UInt32 highLongOfPSN;
    UInt32 lowLongOfPSN;
} ProcessSerialNumber;
typedef ProcessSerialNumber* ProcessSerialNumberPtr;

/* Opaque storage of one descriptor, owned by the descriptor: a handle. */
typedef struct OpaqueAEDataStorageType** AEDataStorage;

typedef struct AEDesc {
    DescType descriptorType;
    AEDataStorage dataHandle;
} AEDesc;
typedef AEDesc* AEDescPtr;

typedef struct AEKeyDesc {
    AEKeyword descKey;
    AEDesc descContent;
} AEKeyDesc;

typedef AEDesc AEDescList;
typedef AEDescList AERecord;
typedef AEDesc AEAddressDesc;
typedef AERecord AppleEvent;
typedef AppleEvent* AppleEventPtr;
typedef SInt16 AEReturnID;
typedef SInt32 AETransactionID;
typedef FourCharCode AEEventClass;
typedef FourCharCode AEEventID;
typedef SInt8 AEArrayType;

/* Coercion handlers. A handler is installed either for descriptors (fromTypeIsDesc true:
   the AECoerceDescProcPtr form is called) or for pointer data (the AECoercePtrProcPtr form). */
typedef OSErr (*AECoerceDescProcPtr)(const AEDesc* fromDesc, DescType toType, SRefCon handlerRefcon,
                                     AEDesc* toDesc);
typedef OSErr (*AECoercePtrProcPtr)(DescType typeCode, const void* dataPtr, Size dataSize,
                                    DescType toType, SRefCon handlerRefcon, AEDesc* result);
typedef AECoerceDescProcPtr AECoerceDescUPP;
typedef AECoercePtrProcPtr AECoercePtrUPP;
/* Either form travels as this type (a pointer-form handler is cast to it); the
   fromTypeIsDesc flag of AEInstallCoercionHandler says which form it is. */
typedef AECoerceDescUPP AECoercionHandlerUPP;

/* The universal procedure pointers are the plain function pointers. */
AECoerceDescUPP NewAECoerceDescUPP(AECoerceDescProcPtr userRoutine);
AECoercePtrUPP NewAECoercePtrUPP(AECoercePtrProcPtr userRoutine);
void DisposeAECoerceDescUPP(AECoerceDescUPP userUPP);
void DisposeAECoercePtrUPP(AECoercePtrUPP userUPP);

/*
 * AEInstallCoercionHandler: installs `handler` for fromType → toType. An existing row for the
 * same pair is replaced. Installed handlers take precedence over the built-in coercions, so a
 * handler may refuse with any status it likes. isSysHandler selects the system table; the
 * application table is consulted first. noErr, or paramErr for a NULL handler.
 */
OSErr AEInstallCoercionHandler(DescType fromType, DescType toType, AECoercionHandlerUPP handler,
                               SRefCon handlerRefcon, Boolean fromTypeIsDesc, Boolean isSysHandler);

/* AERemoveCoercionHandler: removes the row only if its handler is `handler`; else -1717. */
OSErr AERemoveCoercionHandler(DescType fromType, DescType toType, AECoercionHandlerUPP handler,
                              Boolean isSysHandler);

/* AEGetCoercionHandler: the handler, refcon and form installed for the pair, or -1717. */
OSErr AEGetCoercionHandler(DescType fromType, DescType toType, AECoercionHandlerUPP* handler,
                           SRefCon* handlerRefcon, Boolean* fromTypeIsDesc, Boolean isSysHandler);

/*
 * AECoercePtr / AECoerceDesc: a new descriptor of type toType holding the coerced value;
 * the caller disposes it. Installed handlers first, then the built-in coercions; anything else
 * is refused with errAECoercionFail (-1700). A same-type coercion or one to typeWildCard is
 * a duplicate; a typeNull source coerces only to typeNull and typeWildCard.
 */
OSErr AECoercePtr(DescType typeCode, const void* dataPtr, Size dataSize, DescType toType,
                  AEDesc* result);
OSErr AECoerceDesc(const AEDesc* theAEDesc, DescType toType, AEDesc* result);

/* AEInitializeDesc: sets the descriptor to {typeNull, NULL} without disposing anything. */
void AEInitializeDesc(AEDesc* desc);

/*
 * AECreateDesc: a new descriptor of `typeCode` holding a copy of the bytes. For typeAEList,
 * typeAERecord and typeObjectSpecifier (and any type when the bytes are a flat list or record
 * as AEGetDescData gives them) the bytes are read as that flat form and the structure is
 * rebuilt; bytes of typeAEList/typeAERecord that are not a valid flat form fail with
 * errAECorruptData (-1702). typeNull gives {typeNull, NULL} whatever the bytes.
 * paramErr for a negative size or NULL data with a positive size.
 */
OSErr AECreateDesc(DescType typeCode, const void* dataPtr, Size dataSize, AEDesc* result);

/* AEDisposeDesc: frees the storage and leaves {typeNull, NULL}. Disposing {typeNull, NULL}
   is noErr; disposing storage already disposed is a double release. */
OSErr AEDisposeDesc(AEDesc* theAEDesc);

/* AEDuplicateDesc: an independent copy the caller disposes. */
OSErr AEDuplicateDesc(const AEDesc* theAEDesc, AEDesc* result);

/*
 * AECreateList: an empty list (isRecord false) or record (isRecord true). The factoring
 * arguments are accepted and ignored. The caller disposes the result.
 */
OSErr AECreateList(const void* factoringPtr, Size factoredSize, Boolean isRecord,
                   AEDescList* resultList);

/* AECountItems: items of a list, fields of a record or parameters of an event; -1703 for any
   descriptor that holds bytes. */
OSErr AECountItems(const AEDescList* theAEDescList, long* theCount);

/*
 * AEPutPtr / AEPutDesc: index 0 or count+1 appends, 1..count replaces in place; other
 * indexes fail with errAEIllegalIndex (-1719). The item is copied.
 */
OSErr AEPutPtr(AEDescList* theAEDescList, long index, DescType typeCode, const void* dataPtr,
               Size dataSize);
OSErr AEPutDesc(AEDescList* theAEDescList, long index, const AEDesc* theAEDesc);

/*
 * AEGetNthPtr / AEGetNthDesc: item `index` (1-based). For records the field's keyword is
 * stored in *theAEKeyword (typeWildCard for a list item). When desiredType is neither
 * typeWildCard nor the item's type, the item is coerced. AEGetNthPtr copies at most
 * maximumSize bytes and reports the full size in *actualSize.
 */
OSErr AEGetNthPtr(const AEDescList* theAEDescList, long index, DescType desiredType,
                  AEKeyword* theAEKeyword, DescType* typeCode, void* dataPtr, Size maximumSize,
                  Size* actualSize);
OSErr AEGetNthDesc(const AEDescList* theAEDescList, long index, DescType desiredType,
                   AEKeyword* theAEKeyword, AEDesc* result);

/* AESizeOfNthItem: the item's type and data size (a container's flat size). */
OSErr AESizeOfNthItem(const AEDescList* theAEDescList, long index, DescType* typeCode,
                      Size* dataSize);

/* AEDeleteItem: removes item `index`; later items move up. */
OSErr AEDeleteItem(AEDescList* theAEDescList, long index);

/* Records: keyed fields. An existing keyword is replaced in place, else the field is appended. */
/* AECheckIsRecord: true for a record, an event or a record of any other type. */
Boolean AECheckIsRecord(const AEDesc* theDesc);
/* The key functions are the parameter functions under another name, as on the platform. */
#define AEPutKeyPtr(theAERecord, theAEKeyword, typeCode, dataPtr, dataSize) \
    AEPutParamPtr((theAERecord), (theAEKeyword), (typeCode), (dataPtr), (dataSize))
#define AEPutKeyDesc(theAERecord, theAEKeyword, theAEDesc) \
    AEPutParamDesc((theAERecord), (theAEKeyword), (theAEDesc))
#define AEGetKeyPtr(theAERecord, theAEKeyword, desiredType, typeCode, dataPtr, maxSize,           \
                    actualSize)                                                                   \
    AEGetParamPtr((theAERecord), (theAEKeyword), (desiredType), (typeCode), (dataPtr), (maxSize), \
                  (actualSize))
#define AEGetKeyDesc(theAERecord, theAEKeyword, desiredType, result) \
    AEGetParamDesc((theAERecord), (theAEKeyword), (desiredType), (result))
#define AESizeOfKeyDesc(theAERecord, theAEKeyword, typeCode, dataSize) \
    AESizeOfParam((theAERecord), (theAEKeyword), (typeCode), (dataSize))
#define AEDeleteKeyDesc(theAERecord, theAEKeyword) AEDeleteParam((theAERecord), (theAEKeyword))

/* Parameters of an event, or fields of any record. AEGetParamPtr and AEGetParamDesc mark a
   parameter as read (which matters only for events). */
OSErr AEPutParamPtr(AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType typeCode,
                    const void* dataPtr, Size dataSize);
OSErr AEPutParamDesc(AppleEvent* theAppleEvent, AEKeyword theAEKeyword, const AEDesc* theAEDesc);
OSErr AEGetParamPtr(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType desiredType,
                    DescType* actualType, void* dataPtr, Size maximumSize, Size* actualSize);
OSErr AEGetParamDesc(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType desiredType,
                     AEDesc* result);
OSErr AESizeOfParam(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType* typeCode,
                    Size* dataSize);
OSErr AEDeleteParam(AppleEvent* theAppleEvent, AEKeyword theAEKeyword);

/* Attributes of an event. keyMissedKeywordAttr is computed: the first required parameter not
   yet read, as typeKeyword, or errAEDescNotFound when every required parameter was read. */
OSErr AEGetAttributePtr(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword,
                        DescType desiredType, DescType* typeCode, void* dataPtr, Size maximumSize,
                        Size* actualSize);
OSErr AEGetAttributeDesc(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword,
                         DescType desiredType, AEDesc* result);
OSErr AESizeOfAttribute(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType* typeCode,
                        Size* dataSize);
OSErr AEPutAttributePtr(AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType typeCode,
                        const void* dataPtr, Size dataSize);
OSErr AEPutAttributeDesc(AppleEvent* theAppleEvent, AEKeyword theAEKeyword,
                         const AEDesc* theAEDesc);

/* Data of a descriptor. For a list, record or event the data are its flat form, which
   AECreateDesc turns back into the same structure. AEGetDescData copies at most maximumSize
   bytes. */
Size AEGetDescDataSize(const AEDesc* theAEDesc);
OSErr AEGetDescData(const AEDesc* theAEDesc, void* dataPtr, Size maximumSize);
/* AEGetDescDataRange copies the length bytes of the data that start at offset, so a large
   text can be read piece by piece. paramErr for a negative offset or length, NULL buffer with
   a positive length, or a range that does not lie within the data. */
OSStatus AEGetDescDataRange(const AEDesc* dataDesc, void* buffer, Size offset, Size length);
/* AEReplaceDescData: the descriptor now holds typeCode and a copy of the bytes. */
OSErr AEReplaceDescData(DescType typeCode, const void* dataPtr, Size dataSize, AEDesc* theAEDesc);

/* AECreateAppleEvent: an event with the class, ID, target address, return and transaction IDs
   as attributes. kAutoGenerateReturnID gets a fresh non-zero ID. */
OSErr AECreateAppleEvent(AEEventClass theAEEventClass, AEEventID theAEEventID,
                         const AEAddressDesc* target, AEReturnID returnID,
                         AETransactionID transactionID, AppleEvent* result);

#ifdef __cplusplus
#pragma GCC visibility pop
}
#endif

#endif
