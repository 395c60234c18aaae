// What convert must keep, shared by its fuzz target and its tests: a value written in any
// output format and read back as convert reads its input comes back unchanged, exactly through
// XML and binary and, through JSON and old-style text, up to what those formats cannot hold
// (the text each writes is then stable through a trip of its own). A format may refuse a
// value it has no form for, but never write what convert cannot read back.
#ifndef FUZZ_CONVERTROUNDTRIP_H
#define FUZZ_CONVERTROUNDTRIP_H

#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <vector>

#include "desc/CFRef.h"
#include "notation/NotationText.h"
#include "tests/support/PListDocument.h"
#include "tools/cli/ToolSupport.h"
#include "tools/formats/PListTextFormats.h"

namespace convertcheck {

enum class Format { XML, Binary, JSON, OpenStep };
inline constexpr Format kFormats[] = {Format::XML, Format::Binary, Format::JSON, Format::OpenStep};

inline const char* Name(Format format) {
    constexpr const char* kNames[] = {"xml", "binary", "json", "openstep"};
    return kNames[static_cast<int>(format)];
}

// The bytes of `value` in `format`, as convert writes them; false when the format refuses it.
inline bool Encode(CFPropertyListRef value, Format format, std::string& out) {
    std::string error;
    if (format == Format::JSON) return plisttext::WriteJSON(value, false, out, error);
    if (format == Format::OpenStep) return plisttext::WriteOpenStep(value, out, error);
    CFRef<CFDataRef> data(CFPropertyListCreateData(
        nullptr, value,
        format == Format::XML ? kCFPropertyListXMLFormat_v1_0 : kCFPropertyListBinaryFormat_v1_0, 0,
        nullptr));
    if (!data) return false;
    out.assign(reinterpret_cast<const char*>(CFDataGetBytePtr(data.Get())),
               static_cast<size_t>(CFDataGetLength(data.Get())));
    return true;
}

inline bool HasLoneSurrogate(CFStringRef string) {
    std::u16string units(static_cast<size_t>(CFStringGetLength(string)), u'\0');
    CFStringGetCharacters(string, CFRangeMake(0, CFStringGetLength(string)),
                          reinterpret_cast<UniChar*>(units.data()));
    std::string utf8(units.size() * 3, '\0');
    return notation::WriteUTF8(units, utf8.data()) == notation::kNoUTF8;
}

// True when a dictionary anywhere in `value` has a key holding a lone surrogate.
inline bool HasLoneSurrogateKey(CFTypeRef value) {
    if (CFGetTypeID(value) == CFArrayGetTypeID()) {
        const auto array = static_cast<CFArrayRef>(value);
        for (CFIndex i = 0; i < CFArrayGetCount(array); ++i)
            if (HasLoneSurrogateKey(CFArrayGetValueAtIndex(array, i))) return true;
        return false;
    }
    if (CFGetTypeID(value) != CFDictionaryGetTypeID()) return false;
    const auto dictionary = static_cast<CFDictionaryRef>(value);
    std::vector<const void*> keys(static_cast<size_t>(CFDictionaryGetCount(dictionary)));
    std::vector<const void*> values(keys.size());
    CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
    for (size_t i = 0; i < keys.size(); ++i)
        if ((CFGetTypeID(keys[i]) == CFStringGetTypeID() &&
             HasLoneSurrogate(static_cast<CFStringRef>(keys[i]))) ||
            HasLoneSurrogateKey(values[i]))
            return true;
    return false;
}

// True when `back` and `value` are equal as the XML writer writes them. The writers write a
// lone surrogate as U+FFFD and order a dictionary's keys by their units before that, so keys
// holding one may come back in another order, and keys that differ only in lone surrogates come
// back as one key (a known loss of the U+FFFD replacement): such values are not compared.
inline bool SameWrittenValue(CFPropertyListRef back, CFPropertyListRef value) {
    return WrittenXML(back) == WrittenXML(value) || HasLoneSurrogateKey(value);
}

// True when the format writes `back`, read from `text`, as `text` again, or, when `value` had
// keys holding a lone surrogate, does so from the second trip on (the first normalizes them).
inline bool StableFrom(CFPropertyListRef back, CFPropertyListRef value, Format format,
                       const std::string& text) {
    std::string again;
    if (!Encode(back, format, again)) return false;
    if (again == text) return true;
    if (!HasLoneSurrogateKey(value)) return false;
    CFRef<CFPropertyListRef> next;
    std::string reason, third;
    return ParseInput(again, next, reason) && Encode(next.Get(), format, third) && third == again;
}

// Writes `value` in `format` and reads it back into `back` (NULL when the format refuses the
// value). Empty when that went as it should, else what went wrong.
inline std::string TripThrough(CFPropertyListRef value, Format format,
                               CFRef<CFPropertyListRef>& back) {
    back.Reset();
    std::string text;
    if (!Encode(value, format, text)) {
        const bool mayRefuse = format == Format::JSON || format == Format::OpenStep ||
                               WrittenXML(value) == "<writer refused>";
        return mayRefuse ? "" : std::string(Name(format)) + " refused what XML writes";
    }
    std::string reason;
    if (!ParseInput(text, back, reason))
        return std::string(Name(format)) + " output not read back: " + reason;
    const bool exact = format == Format::XML || format == Format::Binary;
    if (exact && !SameWrittenValue(back.Get(), value))
        return std::string(Name(format)) + " changed the value";
    if (!StableFrom(back.Get(), value, format, text))
        return std::string(Name(format)) + " output not stable through a second trip";
    return "";
}

// Every output format from every input format made of `original`: empty when all went well.
inline std::string MatrixProblem(CFPropertyListRef original) {
    for (Format in : kFormats) {
        CFRef<CFPropertyListRef> input;
        std::string problem = TripThrough(original, in, input);
        if (!problem.empty()) return problem;
        if (!input) continue;
        for (Format out : kFormats) {
            CFRef<CFPropertyListRef> back;
            problem = TripThrough(input.Get(), out, back);
            if (!problem.empty()) return std::string(Name(in)) + " then " + problem;
        }
    }
    return "";
}

}  // namespace convertcheck

#endif
