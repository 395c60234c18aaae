// The load plist command ('Gmqb'/'plsL'). The handler itself, LoadPList, is declared with the
// other exported entry points in shell/AdditionEntryPoints.h.
#ifndef COMMANDS_LOADPLIST_H
#define COMMANDS_LOADPLIST_H

#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>

// The text route's reader: a data object the caller owns, holding exactly the bytes of `desc`
// as text (those of 'TEXT', 'utf8', 'furl' and 'aprl' as stored, every other type coerced to
// 'utf8'), without a terminating NUL; an empty text gives an empty data object. Throws an
// int32_t status: -1700 for a 'null' descriptor or a coercion's refusal status, -108
// (memFullErr) when the data object cannot be made.
CFDataRef CreateCFDataFromText(const AEDesc* desc);

#endif
