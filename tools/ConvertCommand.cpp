// plistbridge convert: any format the tool reads into XML, binary, JSON or old-style text,
// written atomically to a file or to standard output.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "tools/ToolCommands.h"
#include "tools/formats/PListTextFormats.h"

namespace {

// True when every value is of a property-list type and every key a string: what the writers
// take, so that their failing on such a tree means they ran out of memory.
bool WritableTree(CFTypeRef value) {
    const CFTypeID type = CFGetTypeID(value);
    if (type == CFArrayGetTypeID()) {
        const CFIndex count = CFArrayGetCount(static_cast<CFArrayRef>(value));
        for (CFIndex i = 0; i < count; ++i)
            if (!WritableTree(CFArrayGetValueAtIndex(static_cast<CFArrayRef>(value), i)))
                return false;
        return true;
    }
    if (type == CFDictionaryGetTypeID()) {
        const auto dictionary = static_cast<CFDictionaryRef>(value);
        std::vector<const void*> keys(static_cast<size_t>(CFDictionaryGetCount(dictionary)));
        std::vector<const void*> values(keys.size());
        CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
        for (size_t i = 0; i < keys.size(); ++i)
            if (CFGetTypeID(keys[i]) != CFStringGetTypeID() || !WritableTree(values[i]))
                return false;
        return true;
    }
    for (CFTypeID leaf : {CFStringGetTypeID(), CFNumberGetTypeID(), CFBooleanGetTypeID(),
                          CFDateGetTypeID(), CFDataGetTypeID()})
        if (type == leaf) return true;
    return false;
}

// The output of `plist` in the chosen format; NULL with `reason` set.
CFDataRef Encode(CFPropertyListRef plist, const ToolArguments& args, std::string& reason) {
    if (args.format == "json" || args.format == "openstep") {
        std::string text;
        const bool ok = args.format == "json"
                            ? plisttext::WriteJSON(plist, args.strict, text, reason)
                            : plisttext::WriteOpenStep(plist, text, reason);
        if (!ok) return nullptr;
        CFDataRef data =
            CFDataCreate(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(text.data()),
                         static_cast<CFIndex>(text.size()));
        if (!data) throw std::bad_alloc();
        return data;
    }
    const CFPropertyListFormat format =
        args.format == "binary" ? kCFPropertyListBinaryFormat_v1_0 : kCFPropertyListXMLFormat_v1_0;
    CFDataRef data = CFPropertyListCreateData(kCFAllocatorDefault, plist, format, 0, nullptr);
    // The writers give no reason: a list they could write failed for want of memory.
    if (!data && WritableTree(plist)) throw std::bad_alloc();
    if (!data)
        reason =
            "the value cannot be written as a property list (a key that is not a string, or "
            "a value the format has no form for)";
    return data;
}

int WriteFile(const std::string& path, CFDataRef data) {
    CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(
        kCFAllocatorDefault, reinterpret_cast<const UInt8*>(path.data()),
        static_cast<CFIndex>(path.size()), false));
    if (!url) throw std::bad_alloc();
    SInt32 code = 0;
    if (!CFURLWriteDataAndPropertiesToResource(url.Get(), data, nullptr, &code))
        return Complain(kExitFailed, "convert: " + path + ": " + WriteProblem(code));
    return 0;
}

}  // namespace

int RunConvert(const ToolArguments& args) {
    const std::string& input = args.operand;
    if (args.destination && args.destination->empty())
        return Complain(kExitUsage, "convert: the output file name is empty");
    const bool toStandardOutput = !args.destination || *args.destination == "-";
    // Refused before anything is read: the terminal would only show noise.
    if (args.format == "binary" && toStandardOutput && isatty(STDOUT_FILENO))
        return Complain(kExitFailed,
                        "convert: binary output is not written to a terminal (use -o FILE or a "
                        "pipe)");
    std::string reason;
    InputFile file;
    if (!file.Open(input, reason))
        return Complain(kExitFailed, "convert: " + input + ": " + reason);
    PrepareHeapFor(file.Bytes().size());
    CFRef<CFPropertyListRef> plist;
    const bool parsed = ParseInput(file.Bytes(), plist, reason);
    if (file.Shrank()) reason = kShrankWhileRead;
    if (!parsed || file.Shrank()) return Complain(kExitFailed, "convert: " + input + ": " + reason);
    file.Close();  // the input's memory back before the output's is taken
    CFRef<CFDataRef> output(Encode(plist.Get(), args, reason));
    if (!output) return Complain(kExitFailed, "convert: " + input + ": " + reason);
    plist.Reset();
    if (!toStandardOutput) return WriteFile(*args.destination, output.Get());
    const std::string_view text = BytesOf(output.Get());
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
        return Complain(kExitFailed,
                        std::string("convert: cannot write the output: ") + std::strerror(errno));
    return 0;
}
