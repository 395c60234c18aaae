// Descriptors the host makes for its callers (file URLs, Unicode text) and text it reads back
// from replies.
#ifndef HOST_HOSTVALUES_H
#define HOST_HOSTVALUES_H

#include <CoreServices/CoreServices.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "common/OwnedDesc.h"

// Makes a 'furl' descriptor holding the absolute file: URL of `path` (UTF-8 POSIX path; a
// relative path is taken from the current directory, "." and ".." are folded away without
// touching the file system, so the file need not exist). Returns noErr, paramErr for an empty
// path, memFullErr when the URL cannot be made, or the status of AECreateDesc. `out` is left
// null on failure.
OSStatus CreateFileURLDesc(std::string_view path, OwnedDesc& out);

// Makes a 'utxt' descriptor (UTF-16, host order) from UTF-8 text. paramErr when the text is not
// valid UTF-8, else the status of AECreateDesc.
OSStatus CreateUnicodeTextDesc(std::string_view utf8, OwnedDesc& out);

// The UTF-8 form of a text descriptor: 'utf8' as is, 'utxt' from UTF-16 (a lone surrogate
// becomes U+FFFD), 'TEXT' from Mac OS Roman; any other type is coerced to 'utf8' first.
// Returns noErr, or the status of the coercion (errAECoercionFail when there is none).
OSStatus CopyUTF8Text(const AEDesc& desc, std::string& out);

// Writes what CopyUTF8Text gives to `to`, a 'utxt' text in chunks without a whole UTF-8 copy.
// Returns noErr, the status of the coercion, or ioErr when the write fails.
OSStatus WriteUTF8Text(const AEDesc& desc, std::FILE* to);

#endif
