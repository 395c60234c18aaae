// A generated media-library-like property list (the shape of a music player's library
// export): a dictionary of track dictionaries with ~20 keys each, holding text with markup
// characters and non-ASCII letters, 32- and 64-bit integers, reals, dates, Booleans and small
// data. Deterministic for a given entry count.
#ifndef BENCH_MEDIALIBRARY_H
#define BENCH_MEDIALIBRARY_H

#include <CoreFoundation/CoreFoundation.h>

#include <cstddef>

#include "desc/CFRef.h"

// +1 library with `tracks` track entries (10^5 gives about 100 MB of XML).
CFRef<CFDictionaryRef> CreateMediaLibrary(size_t tracks);

#endif
