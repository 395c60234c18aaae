// What the commands that work on property-list files share: reading one in any format (and
// telling which), encoding a value in a format, and writing a file atomically.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/CoreFoundation/CFPropertyListPrivate.h"
#include "tools/cli/ToolSupport.h"
#include "tools/formats/ExpandedSize.h"
#include "tools/formats/PListTextFormats.h"
#include "tools/formats/TextFormatSupport.h"

namespace {

// What the expansion bound needs to know of the last list read.
struct InputFacts {
    size_t bytes = 0;
    bool binary = false;  // only a binary list references one object from several places
    // The binary reader's count of the value it returned, kept until the first check of that
    // value: a later value could be made where this one was.
    PBBinaryReadMeasure measure{};
};
InputFacts gLastInput;
size_t gOutputBound = 0;  // --max-output; 0: the default

constexpr size_t kDefaultOutputBound = size_t{64} << 20;
constexpr size_t kOutputBytesPerInputByte = 64;

// How the bound's message names a form.
const char* FormName(std::string_view form) {
    if (form == "binary") return "binary list";
    if (form == "json") return "JSON";
    if (form == "openstep") return "old-style text";
    if (form == "print") return "printed text";
    if (form == "compare") return "values to compare";
    return "XML";
}

bool OnlyBraces(std::string_view text) {
    return text.find_first_not_of("{} \t\r\n") == std::string_view::npos;
}

}  // namespace

std::string DetectFormat(std::string_view bytes, std::string_view path, bool readAsJSON) {
    if (bytes.starts_with("bplist")) return "binary";
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
        // UTF-16 with its mark: XML or old-style text as its first character says.
        const size_t low = bytes[0] == '\xFF' ? 0 : 1;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const char c = bytes[i + low], high = bytes[i + 1 - low];
            if (high != '\0' || (c != ' ' && c != '\t' && c != '\r' && c != '\n'))
                return high == '\0' && c == '<' ? "xml" : "openstep";
        }
        return "openstep";
    }
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    const size_t first = bytes.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return "xml";
    const char c = bytes[first];
    if (c == '[') return "json";
    if (c == '{') {
        // Both readers take "{}": the file's name says which it was.
        if (OnlyBraces(bytes)) return path.ends_with(".json") ? "json" : "openstep";
        return readAsJSON ? "json" : "openstep";
    }
    return c == '<' || (c & 0x80) || c == '\0' ? "xml" : "openstep";
}

bool ReadPlistFile(std::string_view command, const std::string& path, CFRef<CFPropertyListRef>& out,
                   std::string* format, InputFile* source) {
    std::string reason;
    InputFile local;
    InputFile& file = source ? *source : local;
    if (file.Open(path, reason)) {
        PrepareHeapForList(file.Bytes());
        gLastInput = {file.Bytes().size(), file.Bytes().starts_with("bplist"), {}};
        bool readAsJSON = false;
        const bool parsed = ParseInput(file.Bytes(), out, reason, &readAsJSON);
        if (parsed && gLastInput.binary) {
            PBPropertyListLastBinaryRead(&gLastInput.measure);
            if (gLastInput.measure.root != out.Get()) gLastInput.measure = {};
        }
        if (file.Shrank()) reason = kShrankWhileRead;
        if (parsed && !file.Shrank()) {
            if (format) *format = DetectFormat(file.Bytes(), path, readAsJSON);
            return true;
        }
    }
    out.Reset();
    Complain(kExitFailed, std::string(command) + ": " + path + ": " + reason);
    return false;
}

void SetOutputBound(size_t bytes) {
    gOutputBound = bytes;
}

std::string ExpansionProblem(CFPropertyListRef plist, std::string_view form) {
    if (!gLastInput.binary) return "";
    const size_t bound =
        gOutputBound
            ? gOutputBound
            : std::max(kDefaultOutputBound, gLastInput.bytes > SIZE_MAX / kOutputBytesPerInputByte
                                                ? SIZE_MAX
                                                : gLastInput.bytes * kOutputBytesPerInputByte);
    const plisttext::ExpansionCosts& costs = plisttext::CostsOf(form);
    const PBBinaryReadMeasure measure = gLastInput.measure;
    gLastInput.measure = {};
    if (measure.root == plist && !measure.sharedContainer &&
        plisttext::MeasuredSize(measure.references, measure.depths, measure.contentUnits, costs) <=
            bound)
        return "";
    if (plisttext::ExpandedSize(plist, costs, bound) <= bound) return "";
    return std::string("its shared values expand it to more than ") + SizeText(bound) + " of " +
           FormName(form) + " from " + SizeText(gLastInput.bytes) +
           " (--max-output SIZE raises the bound)";
}

CFDataRef CreateEncoded(CFPropertyListRef plist, std::string_view format, bool strict,
                        std::string& reason, bool scalarAtTop, std::string_view at) {
    reason = ExpansionProblem(plist, format);
    if (!reason.empty()) return nullptr;
    if (format == "json" || format == "openstep") {
        std::string text;
        const bool ok = format == "json"
                            ? plisttext::WriteJSON(plist, strict, text, reason, scalarAtTop, at)
                            : plisttext::WriteOpenStep(plist, text, reason, {}, at);
        if (!ok) return nullptr;
        CFDataRef data =
            CFDataCreate(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(text.data()),
                         static_cast<CFIndex>(text.size()));
        if (!data) throw std::bad_alloc();
        return data;
    }
    const CFPropertyListFormat cfFormat =
        format == "binary" ? kCFPropertyListBinaryFormat_v1_0 : kCFPropertyListXMLFormat_v1_0;
    // The writers give no reason. Their buffers grow with realloc, which sets ENOMEM when it
    // fails; everything else they refuse is the value's shape.
    const unsigned long failedBefore = FailedAllocations();
    errno = 0;
    CFDataRef data = CFPropertyListCreateData(kCFAllocatorDefault, plist, cfFormat, 0, nullptr);
    if (!data && (errno == ENOMEM || FailedAllocations() != failedBefore)) throw std::bad_alloc();
    if (!data) reason = plisttext::MergedKeysProblem(plist, at);
    if (!data && reason.empty())
        reason =
            "the value cannot be written as a property list (a key that is not a string, a "
            "value the format has no form for, nesting deeper than 512 levels, or a container "
            "repeated more often than the writer allows)";
    return data;
}

int WriteFileAtomically(std::string_view command, const std::string& path, CFDataRef data) {
    const std::string prefix = std::string(command) + ": " + path + ": ";
    CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(
        kCFAllocatorDefault, reinterpret_cast<const UInt8*>(path.data()),
        static_cast<CFIndex>(path.size()), false));
    if (!url) throw std::bad_alloc();
    SInt32 code = 0;
    if (!CFURLWriteDataAndPropertiesToResource(url.Get(), data, nullptr, &code))
        return Complain(kExitFailed, prefix + WriteProblem(code));
    return 0;
}

int WriteStandardOutput(std::string_view command, CFDataRef data) {
    const std::string_view text = BytesOf(data);
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
        return ComplainOutputFailed(command, errno);
    return 0;
}

bool RefuseBinaryToTerminal(std::string_view command, std::string_view format,
                            bool toStandardOutput) {
    if (format != "binary" || !toStandardOutput || !isatty(STDOUT_FILENO)) return false;
    Complain(kExitFailed, std::string(command) +
                              ": binary output is not written to a terminal (use -o FILE or a "
                              "pipe)");
    return true;
}
