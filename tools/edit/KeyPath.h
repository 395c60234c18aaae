// Key paths: how the tool names one value inside a property list, in commands and in messages.
//
//   Tracks.3.Name         dot-separated components; a number indexes an array
//   Key\.with\.dots.a\\b  \. and \\ escape a dot and a backslash inside a key (\: a colon)
//   (empty)               the top value
//   :Tracks:3:Name        a path that starts with ':' is read in the colon form, whose
//                         components are separated by ':' (\: and \\ escape)
//
// A component is looked up by the container it meets: a dictionary takes it as a key (so a key
// "3" is reachable), an array as an index, which must be decimal digits only.
#ifndef TOOLS_EDIT_KEYPATH_H
#define TOOLS_EDIT_KEYPATH_H

#include <CoreFoundation/CoreFoundation.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "desc/CFRef.h"

namespace plistedit {

struct KeyPath {
    std::vector<std::string> components;  // UTF-8, unescaped
    bool IsRoot() const { return components.empty(); }
};

// Reads a key path in either form. False with `error` naming the problem (a lone backslash).
bool ParseKeyPath(std::string_view text, KeyPath& out, std::string& error);

// The dotted form of the first `count` components (all of them by default), escaped so that
// ParseKeyPath reads it back: what every message prints.
std::string FormatKeyPath(const KeyPath& path, size_t count = SIZE_MAX);

// FormatKeyPath for a message: the empty key at the top, whose dotted form is empty as the top
// value's is, as "", and a path longer than 160 characters cut in the middle, with its count of
// components, so that a refusal never names an empty or endless path.
std::string ShownKeyPath(const KeyPath& path, size_t count = SIZE_MAX);

// "the top value", or "the value at Tracks.3.Name" (ShownKeyPath).
std::string DescribeKeyPath(const KeyPath& path, size_t count = SIZE_MAX);

// One component as a dictionary key (+1), or NULL when memory runs out.
CFStringRef CreateKeyString(std::string_view component);

// The index a component names in an array of `count` items: nullopt when it is not decimal
// digits, or names no item (`allowEnd`: the count itself, for inserting at the end).
std::optional<CFIndex> ArrayIndex(std::string_view component, CFIndex count, bool allowEnd);

// The number of a UID: a dictionary whose only key is "CF$UID", with an integer from 0 to
// 2^32 - 1. The binary reader makes one of each UID object, the XML reader of each CF$UID
// dictionary of an archive, and the binary writer writes every such dictionary as a UID object,
// so the tool takes the shape for the type everywhere. nullopt for anything else.
std::optional<uint32_t> UIDNumber(CFTypeRef value);

// The type's name as the commands print and take it: bool, integer, float, string, date, data,
// uid, array, dictionary.
const char* TypeName(CFTypeRef value);

// "an integer", "a string", "a UID", "data": the type's name for a sentence.
std::string TypeWithArticle(CFTypeRef value);

// "no value at a.b.5: the value at a.b is an array of 3 items": why component `depth` of
// `path` names nothing in `container`, the value at the components before it.
std::string NoValueMessage(const KeyPath& path, size_t depth, CFTypeRef container);

// Borrowed: the value at `path` inside `root`, or NULL with `error` saying which component is
// missing, out of range, or meets a value that is no container.
CFPropertyListRef LookUp(CFPropertyListRef root, const KeyPath& path, std::string& error);

}  // namespace plistedit

#endif
