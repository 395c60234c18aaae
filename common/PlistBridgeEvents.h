// The addition's event codes: the suite, its two commands and store plist's destination
// parameter. One definition for the bundle's handler table, the host, the tool, the tests and
// the fuzz targets; shell/PlistBridge.sdef and shell/Info.plist name the same codes.
#ifndef COMMON_PLISTBRIDGEEVENTS_H
#define COMMON_PLISTBRIDGEEVENTS_H

#include <cstdint>

#include "common/FourCharCode.h"

inline constexpr std::uint32_t kPlistBridgeSuite = FourCC("Gmqb");  // event class
inline constexpr std::uint32_t kAELoadPList = FourCC("plsL");       // load plist
inline constexpr std::uint32_t kAEStorePList = FourCC("plsS");      // store plist
inline constexpr std::uint32_t kStoreDestination = FourCC("XMlO");  // store plist's `to`

#endif
