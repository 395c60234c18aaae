// Builds CF values from the typed JSON notation of the golden write cases, through the public
// API, and reads test files. Test code only.
#ifndef TESTS_SUPPORT_TYPEDVALUE_H
#define TESTS_SUPPORT_TYPEDVALUE_H

#include <CoreFoundation/CoreFoundation.h>

#include <optional>
#include <string>

#include "desc/CFRef.h"
#include "support/TypedJSON.h"

namespace testjson {

// +1 CF value for a typed value ({"string": ...}, {"integer": ..., "cftype": ...}, ...);
// NULL with `error` set when the notation is malformed.
CFRef<CFTypeRef> BuildCF(const Value& typed, std::string& error);

// The whole file, or nothing when it cannot be read.
std::optional<std::string> ReadFile(const std::string& path);

// The file's bytes as CF data.
CFRef<CFDataRef> MakeData(const std::string& bytes);

// The bytes of a CF data object.
std::string Bytes(CFDataRef data);

}  // namespace testjson

#endif
