// TCLString: UTF-16 code units in host byte order, as a 'utxt' descriptor holds them. The length
// counts code units; no byte-order mark is added or removed and no terminator is counted.
#ifndef DESC_TCLSTRING_H
#define DESC_TCLSTRING_H

#include <CoreFoundation/CoreFoundation.h>

#include <string>

using TCLString = std::basic_string<UniChar>;

#endif
