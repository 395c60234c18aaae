/*
 * AERegistry.h — the registry's class codes, text types and keywords that the project uses.
 */
#ifndef __AEREGISTRY__
#define __AEREGISTRY__

#include <CoreServices/AEDataModel.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    cAEList = 0x6C697374 /* 'list' */,
    cApplication = 0x63617070 /* 'capp' */,
    cBoolean = 0x626F6F6C /* 'bool' */,
    cChar = 0x63686120 /* 'cha ' */,
    cDocument = 0x646F6375 /* 'docu' */,
    cEventIdentifier = 0x65766E74 /* 'evnt' */,
    cFile = 0x66696C65 /* 'file' */,
    cInsertionPoint = 0x63696E73 /* 'cins' */,
    cIntlText = 0x69747874 /* 'itxt' */,
    cKeyIdentifier = 0x6B796964 /* 'kyid' */,
    cLongDateTime = 0x6C647420 /* 'ldt ' */,
    cLongFixed = 0x6C667864 /* 'lfxd' */,
    cLongInteger = 0x6C6F6E67 /* 'long' */,
    cObject = 0x636F626A /* 'cobj' */,
    cObjectSpecifier = 0x6F626A20 /* 'obj ' */,
    cProperty = 0x70726F70 /* 'prop' */,
    cReal = 0x646F7562 /* 'doub' */,
    cString = 0x54455854 /* 'TEXT' */,
    cText = 0x63747874 /* 'ctxt' */,
    cType = 0x74797065 /* 'type' */,
    cVersion = 0x76657273 /* 'vers' */,
    cWindow = 0x6377696E /* 'cwin' */
};

enum {
    pClass = 0x70636C73 /* 'pcls' */,
    pName = 0x706E616D /* 'pnam' */,
    pID = 0x49442020 /* 'ID  ' */
};

enum {
    keyAEText = 0x6B747874 /* 'ktxt' */,
    keyAEStyles = 0x6B737479 /* 'ksty' */,
    keyAEScriptTag = 0x70736374 /* 'psct' */
};

enum {
    typeIntlText = 0x69747874 /* 'itxt' */,
    typeStyledText = 0x53545854 /* 'STXT' */,
    typeLongDateTime = 0x6C647420 /* 'ldt ' */,
    typeIntlWritingCode = 0x696E746C /* 'intl' */,
    typeTIFF = 0x54494646 /* 'TIFF' */,
    typeVersion = 0x76657273 /* 'vers' */
};

#ifdef __cplusplus
}
#endif

#endif
