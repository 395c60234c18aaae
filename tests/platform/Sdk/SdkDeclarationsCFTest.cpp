// CoreFoundation's names, one row of the SDK declarations table each.
#include "platform/Sdk/SdkDeclarations.h"

TYPE(CFAbsoluteTime, double);
FUNC(CFAbsoluteTimeGetCurrent, double());
FUNC(CFAllocatorGetDefault, const __CFAllocator*());
TYPE(CFAllocatorRef, const __CFAllocator*);
FUNC(CFArrayAppendValue, void(__CFArray*, const void*));
TYPE(CFArrayApplierFunction, void (*)(const void*, void*));
FUNC(CFArrayApplyFunction, void(const __CFArray*, CFRange, void (*)(const void*, void*), void*));
RECORD(CFArrayCallBacks);
FUNC(CFArrayContainsValue, unsigned char(const __CFArray*, CFRange, const void*));
TYPE(CFArrayCopyDescriptionCallBack, const __CFString* (*)(const void*));
FUNC(CFArrayCreate,
     const __CFArray*(const __CFAllocator*, const void**, long, const CFArrayCallBacks*));
FUNC(CFArrayCreateCopy, const __CFArray*(const __CFAllocator*, const __CFArray*));
FUNC(CFArrayCreateMutable, __CFArray*(const __CFAllocator*, long, const CFArrayCallBacks*));
FUNC(CFArrayCreateMutableCopy, __CFArray*(const __CFAllocator*, long, const __CFArray*));
TYPE(CFArrayEqualCallBack, unsigned char (*)(const void*, const void*));
FUNC(CFArrayGetCount, long(const __CFArray*));
FUNC(CFArrayGetFirstIndexOfValue, long(const __CFArray*, CFRange, const void*));
FUNC(CFArrayGetTypeID, unsigned long());
FUNC(CFArrayGetValueAtIndex, const void*(const __CFArray*, long));
FUNC(CFArrayGetValues, void(const __CFArray*, CFRange, const void**));
FUNC(CFArrayInsertValueAtIndex, void(__CFArray*, long, const void*));
TYPE(CFArrayRef, const __CFArray*);
TYPE(CFArrayReleaseCallBack, void (*)(const __CFAllocator*, const void*));
FUNC(CFArrayRemoveAllValues, void(__CFArray*));
FUNC(CFArrayRemoveValueAtIndex, void(__CFArray*, long));
TYPE(CFArrayRetainCallBack, const void* (*)(const __CFAllocator*, const void*));
FUNC(CFArraySetValueAtIndex, void(__CFArray*, long, const void*));
FUNC(CFBooleanGetTypeID, unsigned long());
FUNC(CFBooleanGetValue, unsigned char(const __CFBoolean*));
TYPE(CFBooleanRef, const __CFBoolean*);
FUNC(CFBundleCopyBundleURL, const __CFURL*(__CFBundle*));
FUNC(CFBundleCopyExecutableURL, const __CFURL*(__CFBundle*));
FUNC(CFBundleCopyResourcesDirectoryURL, const __CFURL*(__CFBundle*));
FUNC(CFBundleCreate, __CFBundle*(const __CFAllocator*, const __CFURL*));
FUNC(CFBundleGetFunctionPointerForName, void*(__CFBundle*, const __CFString*));
FUNC(CFBundleGetIdentifier, const __CFString*(__CFBundle*));
FUNC(CFBundleGetInfoDictionary, const __CFDictionary*(__CFBundle*));
FUNC(CFBundleGetTypeID, unsigned long());
FUNC(CFBundleGetValueForInfoDictionaryKey, const void*(__CFBundle*, const __CFString*));
FUNC(CFBundleIsExecutableLoaded, unsigned char(__CFBundle*));
FUNC(CFBundleLoadExecutable, unsigned char(__CFBundle*));
TYPE(CFBundleRef, __CFBundle*);
FUNC(CFBundleUnloadExecutable, void(__CFBundle*));
TYPE(CFComparatorFunction, CFComparisonResult (*)(const void*, const void*, void*));
ENUM(CFComparisonResult, long);
FUNC(CFCopyDescription, const __CFString*(const void*));
FUNC(CFCopyTypeIDDescription, const __CFString*(unsigned long));
FUNC(CFDataAppendBytes, void(__CFData*, const unsigned char*, long));
FUNC(CFDataCreate, const __CFData*(const __CFAllocator*, const unsigned char*, long));
FUNC(CFDataCreateCopy, const __CFData*(const __CFAllocator*, const __CFData*));
FUNC(CFDataCreateMutable, __CFData*(const __CFAllocator*, long));
FUNC(CFDataCreateMutableCopy, __CFData*(const __CFAllocator*, long, const __CFData*));
FUNC(CFDataCreateWithBytesNoCopy,
     const __CFData*(const __CFAllocator*, const unsigned char*, long, const __CFAllocator*));
FUNC(CFDataDeleteBytes, void(__CFData*, CFRange));
FUNC(CFDataGetBytePtr, const unsigned char*(const __CFData*));
FUNC(CFDataGetBytes, void(const __CFData*, CFRange, unsigned char*));
FUNC(CFDataGetLength, long(const __CFData*));
FUNC(CFDataGetMutableBytePtr, unsigned char*(__CFData*));
FUNC(CFDataGetTypeID, unsigned long());
FUNC(CFDataIncreaseLength, void(__CFData*, long));
TYPE(CFDataRef, const __CFData*);
FUNC(CFDataReplaceBytes, void(__CFData*, CFRange, const unsigned char*, long));
FUNC(CFDataSetLength, void(__CFData*, long));
FUNC(CFDateCompare, CFComparisonResult(const __CFDate*, const __CFDate*, void*));
FUNC(CFDateCreate, const __CFDate*(const __CFAllocator*, double));
FUNC(CFDateGetAbsoluteTime, double(const __CFDate*));
FUNC(CFDateGetTimeIntervalSinceDate, double(const __CFDate*, const __CFDate*));
FUNC(CFDateGetTypeID, unsigned long());
TYPE(CFDateRef, const __CFDate*);
FUNC(CFDictionaryAddValue, void(__CFDictionary*, const void*, const void*));
TYPE(CFDictionaryApplierFunction, void (*)(const void*, const void*, void*));
FUNC(CFDictionaryApplyFunction,
     void(const __CFDictionary*, void (*)(const void*, const void*, void*), void*));
FUNC(CFDictionaryContainsKey, unsigned char(const __CFDictionary*, const void*));
FUNC(CFDictionaryContainsValue, unsigned char(const __CFDictionary*, const void*));
TYPE(CFDictionaryCopyDescriptionCallBack, const __CFString* (*)(const void*));
FUNC(CFDictionaryCreate,
     const __CFDictionary*(const __CFAllocator*, const void**, const void**, long,
                           const CFDictionaryKeyCallBacks*, const CFDictionaryValueCallBacks*));
FUNC(CFDictionaryCreateCopy, const __CFDictionary*(const __CFAllocator*, const __CFDictionary*));
FUNC(CFDictionaryCreateMutable,
     __CFDictionary*(const __CFAllocator*, long, const CFDictionaryKeyCallBacks*,
                     const CFDictionaryValueCallBacks*));
FUNC(CFDictionaryCreateMutableCopy,
     __CFDictionary*(const __CFAllocator*, long, const __CFDictionary*));
TYPE(CFDictionaryEqualCallBack, unsigned char (*)(const void*, const void*));
FUNC(CFDictionaryGetCount, long(const __CFDictionary*));
FUNC(CFDictionaryGetKeysAndValues, void(const __CFDictionary*, const void**, const void**));
FUNC(CFDictionaryGetTypeID, unsigned long());
FUNC(CFDictionaryGetValue, const void*(const __CFDictionary*, const void*));
FUNC(CFDictionaryGetValueIfPresent,
     unsigned char(const __CFDictionary*, const void*, const void**));
TYPE(CFDictionaryHashCallBack, unsigned long (*)(const void*));
RECORD(CFDictionaryKeyCallBacks);
TYPE(CFDictionaryRef, const __CFDictionary*);
TYPE(CFDictionaryReleaseCallBack, void (*)(const __CFAllocator*, const void*));
FUNC(CFDictionaryRemoveAllValues, void(__CFDictionary*));
FUNC(CFDictionaryRemoveValue, void(__CFDictionary*, const void*));
FUNC(CFDictionaryReplaceValue, void(__CFDictionary*, const void*, const void*));
TYPE(CFDictionaryRetainCallBack, const void* (*)(const __CFAllocator*, const void*));
FUNC(CFDictionarySetValue, void(__CFDictionary*, const void*, const void*));
RECORD(CFDictionaryValueCallBacks);
FUNC(CFEqual, unsigned char(const void*, const void*));
TYPE(CFErrorRef, __CFError*);
FUNC(CFGetAllocator, const __CFAllocator*(const void*));
FUNC(CFGetRetainCount, long(const void*));
FUNC(CFGetTypeID, unsigned long(const void*));
FUNC(CFHash, unsigned long(const void*));
TYPE(CFHashCode, unsigned long);
TYPE(CFIndex, long);
TYPE(CFMutableArrayRef, __CFArray*);
TYPE(CFMutableDataRef, __CFData*);
TYPE(CFMutableDictionaryRef, __CFDictionary*);
TYPE(CFMutableStringRef, __CFString*);
FUNC(CFNullGetTypeID, unsigned long());
TYPE(CFNullRef, const __CFNull*);
FUNC(CFNumberCompare, CFComparisonResult(const __CFNumber*, const __CFNumber*, void*));
FUNC(CFNumberCreate, const __CFNumber*(const __CFAllocator*, CFNumberType, const void*));
FUNC(CFNumberGetByteSize, long(const __CFNumber*));
FUNC(CFNumberGetType, CFNumberType(const __CFNumber*));
FUNC(CFNumberGetTypeID, unsigned long());
FUNC(CFNumberGetValue, unsigned char(const __CFNumber*, CFNumberType, void*));
FUNC(CFNumberIsFloatType, unsigned char(const __CFNumber*));
TYPE(CFNumberRef, const __CFNumber*);
ENUM(CFNumberType, long);
TYPE(CFOptionFlags, unsigned long);
FUNC(CFPropertyListCreateData, const __CFData*(const __CFAllocator*, const void*,
                                               CFPropertyListFormat, unsigned long, __CFError**));
FUNC(CFPropertyListCreateFromXMLData,
     const void*(const __CFAllocator*, const __CFData*, unsigned long, const __CFString**));
FUNC(CFPropertyListCreateXMLData, const __CFData*(const __CFAllocator*, const void*));
ENUM(CFPropertyListFormat, long);
FUNC(CFPropertyListIsValid, unsigned char(const void*, CFPropertyListFormat));
TYPE(CFPropertyListMutabilityOptions, unsigned long);
TYPE(CFPropertyListRef, const void*);
FUNC(CFPropertyListWrite,
     long(const void*, __CFWriteStream*, CFPropertyListFormat, unsigned long, __CFError**));
RECORD(CFRange);
FUNC(CFRangeMake, CFRange(long, long));
FUNC(CFRelease, void(const void*));
FUNC(CFRetain, const void*(const void*));
TYPE(CFSetApplierFunction, void (*)(const void*, void*));
FUNC(CFSetApplyFunction, void(const __CFSet*, void (*)(const void*, void*), void*));
FUNC(CFSetGetCount, long(const __CFSet*));
FUNC(CFSetGetTypeID, unsigned long());
TYPE(CFSetRef, const __CFSet*);
ENUM(CFStreamStatus, long);
FUNC(CFStringAppend, void(__CFString*, const __CFString*));
FUNC(CFStringAppendCString, void(__CFString*, const char*, unsigned int));
FUNC(CFStringAppendCharacters, void(__CFString*, const unsigned short*, long));
ENUM(CFStringBuiltInEncodings, unsigned int);
FUNC(CFStringCompare, CFComparisonResult(const __CFString*, const __CFString*, unsigned long));
TYPE(CFStringCompareFlags, unsigned long);
FUNC(CFStringConvertIANACharSetNameToEncoding, unsigned int(const __CFString*));
FUNC(CFStringCreateCopy, const __CFString*(const __CFAllocator*, const __CFString*));
FUNC(CFStringCreateExternalRepresentation,
     const __CFData*(const __CFAllocator*, const __CFString*, unsigned int, unsigned char));
FUNC(CFStringCreateFromExternalRepresentation,
     const __CFString*(const __CFAllocator*, const __CFData*, unsigned int));
FUNC(CFStringCreateMutable, __CFString*(const __CFAllocator*, long));
FUNC(CFStringCreateMutableCopy, __CFString*(const __CFAllocator*, long, const __CFString*));
FUNC(CFStringCreateWithBytes, const __CFString*(const __CFAllocator*, const unsigned char*, long,
                                                unsigned int, unsigned char));
FUNC(CFStringCreateWithCString, const __CFString*(const __CFAllocator*, const char*, unsigned int));
FUNC(CFStringCreateWithCharacters,
     const __CFString*(const __CFAllocator*, const unsigned short*, long));
FUNC(CFStringCreateWithSubstring,
     const __CFString*(const __CFAllocator*, const __CFString*, CFRange));
TYPE(CFStringEncoding, unsigned int);
FUNC(CFStringGetBytes, long(const __CFString*, CFRange, unsigned int, unsigned char, unsigned char,
                            unsigned char*, long, long*));
FUNC(CFStringGetCString, unsigned char(const __CFString*, char*, long, unsigned int));
FUNC(CFStringGetCStringPtr, const char*(const __CFString*, unsigned int));
FUNC(CFStringGetCharacterAtIndex, unsigned short(const __CFString*, long));
FUNC(CFStringGetCharacters, void(const __CFString*, CFRange, unsigned short*));
FUNC(CFStringGetCharactersPtr, const unsigned short*(const __CFString*));
FUNC(CFStringGetLength, long(const __CFString*));
FUNC(CFStringGetMaximumSizeForEncoding, long(long, unsigned int));
FUNC(CFStringGetSystemEncoding, unsigned int());
FUNC(CFStringGetTypeID, unsigned long());
FUNC(CFStringHasPrefix, unsigned char(const __CFString*, const __CFString*));
FUNC(CFStringHasSuffix, unsigned char(const __CFString*, const __CFString*));
FUNC(CFStringIsEncodingAvailable, unsigned char(unsigned int));
TYPE(CFStringRef, const __CFString*);
TYPE(CFTimeInterval, double);
TYPE(CFTypeID, unsigned long);
TYPE(CFTypeRef, const void*);
FUNC(CFURLCopyAbsoluteURL, const __CFURL*(const __CFURL*));
FUNC(CFURLCopyFileSystemPath, const __CFString*(const __CFURL*, CFURLPathStyle));
FUNC(CFURLCopyHostName, const __CFString*(const __CFURL*));
FUNC(CFURLCopyLastPathComponent, const __CFString*(const __CFURL*));
FUNC(CFURLCopyPath, const __CFString*(const __CFURL*));
FUNC(CFURLCopyScheme, const __CFString*(const __CFURL*));
FUNC(CFURLCreateCopyAppendingPathComponent,
     const __CFURL*(const __CFAllocator*, const __CFURL*, const __CFString*, unsigned char));
FUNC(CFURLCreateData,
     const __CFData*(const __CFAllocator*, const __CFURL*, unsigned int, unsigned char));
FUNC(CFURLCreateDataAndPropertiesFromResource,
     unsigned char(const __CFAllocator*, const __CFURL*, const __CFData**, const __CFDictionary**,
                   const __CFArray*, int*));
FUNC(CFURLCreateFromFileSystemRepresentation,
     const __CFURL*(const __CFAllocator*, const unsigned char*, long, unsigned char));
FUNC(CFURLCreateStringByAddingPercentEscapes,
     const __CFString*(const __CFAllocator*, const __CFString*, const __CFString*,
                       const __CFString*, unsigned int));
FUNC(CFURLCreateStringByReplacingPercentEscapes,
     const __CFString*(const __CFAllocator*, const __CFString*, const __CFString*));
FUNC(CFURLCreateWithBytes, const __CFURL*(const __CFAllocator*, const unsigned char*, long,
                                          unsigned int, const __CFURL*));
FUNC(CFURLCreateWithFileSystemPath,
     const __CFURL*(const __CFAllocator*, const __CFString*, CFURLPathStyle, unsigned char));
FUNC(CFURLCreateWithString,
     const __CFURL*(const __CFAllocator*, const __CFString*, const __CFURL*));
FUNC(CFURLDestroyResource, unsigned char(const __CFURL*, int*));
ENUM(CFURLError, long);
FUNC(CFURLGetBaseURL, const __CFURL*(const __CFURL*));
FUNC(CFURLGetFileSystemRepresentation,
     unsigned char(const __CFURL*, unsigned char, unsigned char*, long));
FUNC(CFURLGetString, const __CFString*(const __CFURL*));
FUNC(CFURLGetTypeID, unsigned long());
FUNC(CFURLHasDirectoryPath, unsigned char(const __CFURL*));
ENUM(CFURLPathStyle, long);
TYPE(CFURLRef, const __CFURL*);
FUNC(CFURLWriteDataAndPropertiesToResource,
     unsigned char(const __CFURL*, const __CFData*, const __CFDictionary*, int*));
FUNC(CFWriteStreamClose, void(__CFWriteStream*));
FUNC(CFWriteStreamCopyProperty, const void*(__CFWriteStream*, const __CFString*));
FUNC(CFWriteStreamCreateWithAllocatedBuffers,
     __CFWriteStream*(const __CFAllocator*, const __CFAllocator*));
FUNC(CFWriteStreamCreateWithFile, __CFWriteStream*(const __CFAllocator*, const __CFURL*));
FUNC(CFWriteStreamGetStatus, CFStreamStatus(__CFWriteStream*));
FUNC(CFWriteStreamGetTypeID, unsigned long());
FUNC(CFWriteStreamOpen, unsigned char(__CFWriteStream*));
TYPE(CFWriteStreamRef, __CFWriteStream*);
FUNC(CFWriteStreamWrite, long(__CFWriteStream*, const unsigned char*, long));
VAR(kCFAbsoluteTimeIntervalSince1904, const double);
VAR(kCFAbsoluteTimeIntervalSince1970, const double);
VAR(kCFAllocatorDefault, const __CFAllocator* const);
VAR(kCFAllocatorMalloc, const __CFAllocator* const);
VAR(kCFAllocatorNull, const __CFAllocator* const);
VAR(kCFAllocatorSystemDefault, const __CFAllocator* const);
VAR(kCFAllocatorUseContext, const __CFAllocator* const);
VAR(kCFBooleanFalse, const __CFBoolean* const);
VAR(kCFBooleanTrue, const __CFBoolean* const);
VAR(kCFBundleExecutableKey, const __CFString* const);
VAR(kCFBundleIdentifierKey, const __CFString* const);
VAR(kCFBundleInfoDictionaryVersionKey, const __CFString* const);
VAR(kCFBundleNameKey, const __CFString* const);
VAR(kCFBundleVersionKey, const __CFString* const);
ANON_ULONG(kCFCompareAnchored, 8);
ANON_ULONG(kCFCompareBackwards, 4);
ANON_ULONG(kCFCompareCaseInsensitive, 1);
IN(kCFCompareEqualTo, CFComparisonResult, 0);
IN(kCFCompareGreaterThan, CFComparisonResult, 1);
IN(kCFCompareLessThan, CFComparisonResult, -1);
ANON_ULONG(kCFCompareLocalized, 32);
ANON_ULONG(kCFCompareNonliteral, 16);
ANON_ULONG(kCFCompareNumerically, 64);
VAR(kCFCopyStringDictionaryKeyCallBacks, const CFDictionaryKeyCallBacks);
VAR(kCFNotFound, const long);
VAR(kCFNull, const __CFNull* const);
IN(kCFNumberCFIndexType, CFNumberType, 14);
IN(kCFNumberCGFloatType, CFNumberType, 16);
IN(kCFNumberCharType, CFNumberType, 7);
IN(kCFNumberDoubleType, CFNumberType, 13);
IN(kCFNumberFloat32Type, CFNumberType, 5);
IN(kCFNumberFloat64Type, CFNumberType, 6);
IN(kCFNumberFloatType, CFNumberType, 12);
IN(kCFNumberIntType, CFNumberType, 9);
IN(kCFNumberLongLongType, CFNumberType, 11);
IN(kCFNumberLongType, CFNumberType, 10);
IN(kCFNumberMaxType, CFNumberType, 16);
IN(kCFNumberNSIntegerType, CFNumberType, 15);
VAR(kCFNumberNaN, const __CFNumber* const);
VAR(kCFNumberNegativeInfinity, const __CFNumber* const);
VAR(kCFNumberPositiveInfinity, const __CFNumber* const);
IN(kCFNumberSInt16Type, CFNumberType, 2);
IN(kCFNumberSInt32Type, CFNumberType, 3);
IN(kCFNumberSInt64Type, CFNumberType, 4);
IN(kCFNumberSInt8Type, CFNumberType, 1);
IN(kCFNumberShortType, CFNumberType, 8);
IN(kCFPropertyListBinaryFormat_v1_0, CFPropertyListFormat, 200);
ANON_ULONG(kCFPropertyListImmutable, 0);
ANON_ULONG(kCFPropertyListMutableContainers, 1);
ANON_ULONG(kCFPropertyListMutableContainersAndLeaves, 2);
IN(kCFPropertyListOpenStepFormat, CFPropertyListFormat, 1);
IN(kCFPropertyListXMLFormat_v1_0, CFPropertyListFormat, 100);
VAR(kCFStreamPropertyDataWritten, const __CFString*);
IN(kCFStreamStatusAtEnd, CFStreamStatus, 5);
IN(kCFStreamStatusClosed, CFStreamStatus, 6);
IN(kCFStreamStatusError, CFStreamStatus, 7);
IN(kCFStreamStatusNotOpen, CFStreamStatus, 0);
IN(kCFStreamStatusOpen, CFStreamStatus, 2);
IN(kCFStreamStatusOpening, CFStreamStatus, 1);
IN(kCFStreamStatusReading, CFStreamStatus, 3);
IN(kCFStreamStatusWriting, CFStreamStatus, 4);
IN(kCFStringEncodingASCII, CFStringBuiltInEncodings, 1536);
IN(kCFStringEncodingISOLatin1, CFStringBuiltInEncodings, 513);
IN(kCFStringEncodingMacRoman, CFStringBuiltInEncodings, 0);
IN(kCFStringEncodingNextStepLatin, CFStringBuiltInEncodings, 2817);
IN(kCFStringEncodingNonLossyASCII, CFStringBuiltInEncodings, 3071);
IN(kCFStringEncodingUTF16, CFStringBuiltInEncodings, 256);
IN(kCFStringEncodingUTF16BE, CFStringBuiltInEncodings, 268435712);
IN(kCFStringEncodingUTF16LE, CFStringBuiltInEncodings, 335544576);
IN(kCFStringEncodingUTF32, CFStringBuiltInEncodings, 201326848);
IN(kCFStringEncodingUTF32BE, CFStringBuiltInEncodings, 402653440);
IN(kCFStringEncodingUTF32LE, CFStringBuiltInEncodings, 469762304);
IN(kCFStringEncodingUTF8, CFStringBuiltInEncodings, 134217984);
IN(kCFStringEncodingUnicode, CFStringBuiltInEncodings, 256);
IN(kCFStringEncodingWindowsLatin1, CFStringBuiltInEncodings, 1280);
VAR(kCFTypeArrayCallBacks, const CFArrayCallBacks);
VAR(kCFTypeDictionaryKeyCallBacks, const CFDictionaryKeyCallBacks);
VAR(kCFTypeDictionaryValueCallBacks, const CFDictionaryValueCallBacks);
IN(kCFURLHFSPathStyle, CFURLPathStyle, 1);
IN(kCFURLImproperArgumentsError, CFURLError, -15);
IN(kCFURLPOSIXPathStyle, CFURLPathStyle, 0);
IN(kCFURLPropertyKeyUnavailableError, CFURLError, -17);
IN(kCFURLRemoteHostUnavailableError, CFURLError, -14);
IN(kCFURLResourceAccessViolationError, CFURLError, -13);
IN(kCFURLResourceNotFoundError, CFURLError, -12);
IN(kCFURLTimeoutError, CFURLError, -18);
IN(kCFURLUnknownError, CFURLError, -10);
IN(kCFURLUnknownPropertyKeyError, CFURLError, -16);
IN(kCFURLUnknownSchemeError, CFURLError, -11);
IN(kCFURLWindowsPathStyle, CFURLPathStyle, 2);

// Macros, by what they give.
static_assert(std::is_same_v<decltype(CFSTR("")), CFStringRef>);
static_assert(std::is_same_v<decltype(kCFStringEncodingInvalidId), unsigned int> &&
              kCFStringEncodingInvalidId == 0xffffffffU);
static_assert(TRUE == 1 && FALSE == 0);
#if !defined(CF_EXPORT) || !defined(CF_INLINE) || !defined(CF_EXTERN_C_BEGIN) || \
    !defined(CF_EXTERN_C_END)
#error "CFBase.h's declaration macros"
#endif
