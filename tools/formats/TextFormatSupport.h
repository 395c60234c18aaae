// What the JSON and old-style writers share: a string's UTF-16 units, a dictionary's pairs in
// the XML writer's key order, a number's text, and the path to the value being written, for
// error messages.
#ifndef TOOLS_FORMATS_TEXTFORMATSUPPORT_H
#define TOOLS_FORMATS_TEXTFORMATSUPPORT_H

#include <CoreFoundation/CoreFoundation.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace plisttext {

// The string's units; `scratch` holds them when the string does not expose its own.
std::u16string_view Units(CFStringRef string, std::u16string& scratch);

// The pairs of `dictionary`, keys sorted by UTF-16 units (a prefix first); false when a key
// is not a string.
bool SortedPairs(CFDictionaryRef dictionary, std::vector<std::pair<CFTypeRef, CFTypeRef>>& out);

// Appends units as UTF-8; false at an unpaired surrogate (nothing more is appended).
bool AppendUTF8(std::u16string_view units, std::string& out);

// An integer's decimal text (unsigned above INT64_MAX), or a real's shortest text that reads
// back as the same double and as a real ("1.0", "0.1", "1e+16"); "nan", "inf", "-inf" for
// the specials.
std::string NumberText(CFNumberRef number);

// One key-path component as the tool's key paths write it: a dot and a backslash escaped with
// a backslash, and a colon too when it comes first (a path starting with ':' is the colon form).
std::string EscapeKeyPathComponent(std::string_view component);

// The writers build the key path to a refused value only on the way out of the recursion, so
// writing costs nothing for it: each container level puts a dot and its key or index in front
// (so that the empty key at the top, ".", differs from the top value, "").
void PrependSegment(std::string& path, std::string_view segment);
// The key path from the top of the file of the value at `path` (as PrependSegment builds it)
// inside the value written, which is at the key path `at` of its file (empty: the top): empty
// for the top value, "\"\"" for the empty key at the top.
std::string PathFromTop(std::string_view at, const std::string& path);
// "the top value", "the value at Tracks.3.Name", or "the value at \"\"" (PathFromTop).
std::string Where(std::string_view at, const std::string& path);

// The XML and binary writers write an unpaired surrogate as U+FFFD, and refuse a dictionary two
// of whose keys then become one. Says which: "the dictionary at a.b has the keys "x\uD800" and
// "x\uDC00", which become one key once each unpaired surrogate is written as U+FFFD"; empty
// when none does (or a container is met past ContainerVisits' bound). `at` as Where's.
std::string MergedKeysProblem(CFPropertyListRef plist, std::string_view at = {});

// How often each container has been written. A binary list may reference one container from
// many places, so 30 levels of [x, x] would write two billion values; like the platform's
// writers, the text writers refuse a container met more than 1536 times.
class ContainerVisits {
public:
    static constexpr uint32_t kMaxVisits = 1536;
    // False when `container` has been written kMaxVisits times already.
    bool Enter(CFTypeRef container) { return ++mVisits[container] <= kMaxVisits; }

private:
    std::unordered_map<CFTypeRef, uint32_t> mVisits;
};

}  // namespace plisttext

#endif
