// Descriptors that name a file or a URL.
#ifndef DESC_FILEREFERENCE_H
#define DESC_FILEREFERENCE_H

#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>

#include <cstdint>

// The POSIX file object has no name of its own in the platform headers.
enum : DescType { kTypePOSIXFile = 0x70737866 };  // 'psxf'

// True for 'alis' 'file' 'fsrf' 'furl' 'psxf' (data not looked at) and for an object
// specifier that names a file or alias by name at the top level (desired class 'file' or
// 'alis', key form 'name', text key data, null container). False for every other type.
// Throws, for object specifiers only: the status of the coercion to 'reco', of a missing key
// (-1701), or of reading the desired class or key form as a code.
bool IsFileReference(const AEDesc* desc);

// A URL owned by the caller (CFRelease), never NULL. 'furl' 'utxt' 'STXT' 'TEXT' go straight
// to CreateURLFromDesc; 'null' throws -1700; any other type (file references, 'itxt', 'utf8',
// ...) is coerced to 'furl' by the Apple Event Manager first, and a refusal is thrown; a
// coercion answered with yet another type is converted the same way in turn, up to
// kMaxCoercionsPerRead coercions (then -1700).
CFURLRef ToCFURL(const AEDesc* desc);

// 0 with a URL owned by the caller in *out, or a non-zero status with *out NULL; never throws.
// 'furl': the data as a complete UTF-8 URL string (MemError status when the copy block cannot
// be had, AEGetDescData's status, -4960 when the bytes make no URL). Text types: the text as a
// URL string, absolute or relative (never a file-system path), percent-escaped and tried once
// more when it is not a legal URL (the coercion's status when it cannot become 'utxt', -4960 for
// every later failure). Other types: -1700.
int32_t CreateURLFromDesc(CFAllocatorRef allocator, const AEDesc* source, CFURLRef* out);

#endif
