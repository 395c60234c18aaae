// What convert must keep, shared by its fuzz target and its tests: a value written in any
// output format and read back as convert reads its input comes back unchanged, exactly through
// XML and binary and, through JSON and old-style text, up to what those formats cannot hold
// (the text each writes is then stable through a trip of its own). A format may refuse a
// value it has no form for, but never write what convert cannot read back.
#ifndef FUZZ_CONVERTROUNDTRIP_H
#define FUZZ_CONVERTROUNDTRIP_H

#include <CoreFoundation/CoreFoundation.h>

#include <string>

#include "desc/CFRef.h"
#include "tests/support/PListDocument.h"
#include "tools/ToolCommands.h"
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
    if (exact && WrittenXML(back.Get()) != WrittenXML(value))
        return std::string(Name(format)) + " changed the value";
    std::string again;
    if (!Encode(back.Get(), format, again) || again != text)
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
