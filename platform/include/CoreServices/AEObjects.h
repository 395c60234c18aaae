/*
 * AEObjects.h — object specifiers: their keywords, key forms and ordinals.
 */
#ifndef __AEOBJECTS__
#define __AEOBJECTS__

#include <CoreServices/AEDataModel.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    kAEAND = 0x414E4420 /* 'AND ' */,
    kAEOR = 0x4F522020 /* 'OR  ' */,
    kAENOT = 0x4E4F5420 /* 'NOT ' */,
    kAEFirst = 0x66697273 /* 'firs' */,
    kAELast = 0x6C617374 /* 'last' */,
    kAEMiddle = 0x6D696464 /* 'midd' */,
    kAEAny = 0x616E7920 /* 'any ' */,
    kAEAll = 0x616C6C20 /* 'all ' */,
    kAENext = 0x6E657874 /* 'next' */,
    kAEPrevious = 0x70726576 /* 'prev' */
};

enum {
    keyAECompOperator = 0x72656C6F /* 'relo' */,
    keyAELogicalTerms = 0x7465726D /* 'term' */,
    keyAELogicalOperator = 0x6C6F6763 /* 'logc' */,
    keyAEObject1 = 0x6F626A31 /* 'obj1' */,
    keyAEObject2 = 0x6F626A32 /* 'obj2' */,
    keyAEDesiredClass = 0x77616E74 /* 'want' */,
    keyAEContainer = 0x66726F6D /* 'from' */,
    keyAEKeyForm = 0x666F726D /* 'form' */,
    keyAEKeyData = 0x73656C64 /* 'seld' */
};

enum {
    keyAERangeStart = 0x73746172 /* 'star' */,
    keyAERangeStop = 0x73746F70 /* 'stop' */
};

enum {
    formAbsolutePosition = 0x696E6478 /* 'indx' */,
    formRelativePosition = 0x72656C65 /* 'rele' */,
    formTest = 0x74657374 /* 'test' */,
    formRange = 0x72616E67 /* 'rang' */,
    formPropertyID = 0x70726F70 /* 'prop' */,
    formName = 0x6E616D65 /* 'name' */,
    formUniqueID = 0x49442020 /* 'ID  ' */
};

enum {
    typeObjectSpecifier = 0x6F626A20 /* 'obj ' */,
    typeObjectBeingExamined = 0x65786D6E /* 'exmn' */,
    typeCurrentContainer = 0x63636E74 /* 'ccnt' */,
    typeToken = 0x746F6B65 /* 'toke' */,
    typeRelativeDescriptor = 0x72656C20 /* 'rel ' */,
    typeAbsoluteOrdinal = 0x6162736F /* 'abso' */,
    typeIndexDescriptor = 0x696E6465 /* 'inde' */,
    typeRangeDescriptor = 0x72616E67 /* 'rang' */,
    typeLogicalDescriptor = 0x6C6F6769 /* 'logi' */,
    typeCompDescriptor = 0x636D7064 /* 'cmpd' */,
    typeOSLTokenList = 0x6F73746C /* 'ostl' */
};

#ifdef __cplusplus
}
#endif

#endif
