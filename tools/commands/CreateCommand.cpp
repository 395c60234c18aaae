// plistbridge create: a new property list holding an empty dictionary.
#include "tools/cli/ToolSupport.h"
#include "tools/commands/Commands.h"

int RunCreate(const ToolArguments& args) {
    CFRef<CFDictionaryRef> empty(CFDictionaryCreate(kCFAllocatorDefault, nullptr, nullptr, 0,
                                                    &kCFTypeDictionaryKeyCallBacks,
                                                    &kCFTypeDictionaryValueCallBacks));
    std::string reason;
    CFRef<CFDataRef> output(empty ? CreateEncoded(empty.Get(), args.format, false, reason)
                                  : nullptr);
    if (!output) return Complain(kExitFailed, "create: " + args.files[0] + ": out of memory");
    return WriteFileAtomically("create", args.files[0], output.Get());
}
