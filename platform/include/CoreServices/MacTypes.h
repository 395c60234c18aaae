/*
 * MacTypes.h — the basic Mac types of the stand-in.
 *
 * CoreFoundation's CFBase.h makes the same typedefs when this header has not been seen
 * (it tests __MACTYPES__); they must stay spelled identically, so that neither framework
 * depends on the other and both headers can be included in either order.
 */
#ifndef __MACTYPES__
#define __MACTYPES__

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t UInt8;
typedef int8_t SInt8;
typedef uint16_t UInt16;
typedef int16_t SInt16;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef unsigned long long UInt64;
typedef signed long long SInt64;

typedef float Float32;
typedef double Float64;

typedef unsigned char Boolean;
typedef uint8_t Byte;
typedef int8_t SignedByte;
typedef uint32_t UTF32Char;
typedef uint16_t UTF16Char;
typedef uint8_t UTF8Char;
typedef uint16_t UniChar;
typedef unsigned long UniCharCount;

typedef int16_t OSErr;
typedef int32_t OSStatus;

typedef char* Ptr;
typedef Ptr* Handle;
typedef long Size;
typedef unsigned long ByteCount;
typedef unsigned long ByteOffset;
typedef unsigned long ItemCount;
typedef void* LogicalAddress;

typedef uint32_t FourCharCode;
typedef FourCharCode OSType;
typedef FourCharCode ResType;

typedef void* SRefCon;
typedef void* URefCon;

typedef int32_t Fixed;
typedef Fixed* FixedPtr;
typedef int32_t Fract;
typedef uint32_t UnsignedFixed;

typedef int16_t ScriptCode;
typedef int16_t LangCode;
typedef int16_t RegionCode;

typedef unsigned char Str255[256];
typedef unsigned char Str63[64];
typedef unsigned char Str31[32];
typedef const unsigned char* ConstStr255Param;
typedef unsigned char* StringPtr;
typedef const unsigned char* ConstStringPtr;

typedef SInt64 LongDateTime;

typedef struct Point {
    short v;
    short h;
} Point;

#ifndef __cplusplus
#ifndef true
#define true 1
#define false 0
#endif
#endif

enum { kNilOptions = 0 };

enum { noErr = 0 };

enum { kVariableLengthArray = 1 };

enum { kUnknownType = 0x3F3F3F3F /* '????' */ };

#ifdef __cplusplus
}
#endif

#endif
