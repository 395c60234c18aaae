// The tool's commands that run without the addition, and the helpers the others share. Each
// Run… returns the exit status (0, 1 failed, 2 usage) after printing what it has to say.
#ifndef TOOLS_TOOLCOMMANDS_H
#define TOOLS_TOOLCOMMANDS_H

#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <string_view>

#include "desc/CFRef.h"
#include "tools/ToolArguments.h"

inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Prints "plistbridge: MESSAGE" on standard error and returns exitStatus.
int Complain(int exitStatus, const std::string& message);

// The whole of an input file: a regular file (named, or as standard input) mapped into memory
// (no copy), anything else (a pipe, a device) read into a data object.
class InputFile {
public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile() { Close(); }

    // FILE, or standard input for "-". False with `reason` set to the system's reason ("No
    // such file or directory", "Is a directory").
    bool Open(const std::string& path, std::string& reason);
    // All of standard input: a regular file mapped like a named one, anything else read to its
    // end. A read error ends the input as its end would. Throws std::bad_alloc when memory
    // runs out.
    void OpenStandardInput();
    std::string_view Bytes() const;
    // True when the file was mapped and another process shortened it while it was: what was
    // read past its new end were zeros, not the file. Asked after the last use of Bytes().
    bool Shrank() const;
    // Gives the memory back.
    void Close();

private:
    bool MapStandardInput();

    void* mMap = nullptr;
    size_t mMapLength = 0;
    size_t mMapSkip = 0;  // bytes of the first mapped page before standard input's offset
    CFRef<CFDataRef> mData;
};

// What the tool says of an input that Shrank().
inline constexpr char kShrankWhileRead[] = "the file was shortened while it was read";

// The bytes of a data object.
inline std::string_view BytesOf(CFDataRef data) {
    return {reinterpret_cast<const char*>(CFDataGetBytePtr(data)),
            static_cast<size_t>(CFDataGetLength(data))};
}

// Why the file at `path` cannot be read, as the system says it; empty when it can.
std::string FileProblem(const std::string& path);

// Parses property-list bytes (XML, binary, old-style) or JSON. False with `reason` saying what
// is wrong and, where known, "on line N".
bool ParseInput(std::string_view bytes, CFRef<CFPropertyListRef>& out, std::string& reason);

// Before parsing an input of `inputBytes`: for a large one, grows the heap once and offers it
// for huge pages (tools/ToolMemory.cpp). Nothing for a small one.
void PrepareHeapFor(size_t inputBytes);
// The same for the file at `path` (nothing when it cannot be examined).
void PrepareHeapForFile(const std::string& path);

int RunConvert(const ToolArguments& args);
int RunLint(const ToolArguments& args);

// One-line notation (as PrintDesc writes it) indented one level per container, two spaces a
// level; empty containers and everything else stay as they are. Ends without a newline.
std::string PrettyNotation(std::string_view line);

#endif
