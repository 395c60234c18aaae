// What the tool's commands share below them: exit statuses, messages, reading inputs, encoding
// and writing outputs.
#ifndef TOOLS_CLI_TOOLSUPPORT_H
#define TOOLS_CLI_TOOLSUPPORT_H

#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <string_view>

#include "desc/CFRef.h"
#include "tools/cli/ToolArguments.h"

inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Prints "plistbridge: MESSAGE" on standard error and returns exitStatus. A control character
// in the message (from a file name, a key, a value) is escaped: the message stays one line.
int Complain(int exitStatus, const std::string& message);

// " (-1700)": a status as the tool's messages end.
std::string StatusSuffix(OSStatus status);

// `text` with its control characters escaped, \n, \t, \r or \xHH (\x1B for an escape), so
// that a file name whose bytes hold a newline cannot pass for a line of its own.
std::string EscapeControls(std::string_view text);

// Output that did not all reach standard output, after `error` (errno): "COMMAND: cannot write
// the output: File too large" ("cannot write the output: …" without a command). A reader that
// went away (EPIPE) is left silent, as the shell's own tools leave it. Returns kExitFailed.
int ComplainOutputFailed(std::string_view command, int error);

// The whole of an input file: a regular file (named, or as standard input) mapped into memory
// (no copy), anything else (a pipe, a device) read into a data object.
class InputFile {
public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile() { Close(); }

    // FILE, or standard input for "-". False with `reason` set to the system's reason ("No
    // such file or directory", "Is a directory") or ReadProblem's. Throws std::bad_alloc when
    // memory runs out.
    bool Open(const std::string& path, std::string& reason);
    // All of standard input: a regular file mapped like a named one, anything else read to its
    // end. A read error ends the input as its end would; false with `reason` for a source past
    // the read limit. Throws std::bad_alloc when memory runs out.
    bool OpenStandardInput(std::string& reason);
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

// What the tool says of a read that failed with `error`: the system's reason, or for EFBIG
// that a device or pipe gave more than the read limit ("… more than 64 MB").
std::string ReadProblem(int error);

// "64 MB", "4 KB" or "4000 bytes": a size as the tool's messages give it.
std::string SizeText(size_t bytes);

// Why the last write of a file (CFURLWriteDataAndPropertiesToResource) failed with `code`: the
// system's reason ("Is a directory", "No space left on device") where the platform kept it.
std::string WriteProblem(SInt32 code);

// Why the file at `path` cannot be read, as the system says it; empty when it can.
std::string FileProblem(const std::string& path);

// Parses property-list bytes (XML, binary, old-style) or JSON. False with `reason` saying what
// is wrong and, where known, "on line N". `readAsJSON`, when given, tells which reader took it.
bool ParseInput(std::string_view bytes, CFRef<CFPropertyListRef>& out, std::string& reason,
                bool* readAsJSON = nullptr);

// Before parsing an input of `inputBytes`: for a large one, grows the heap once by what the tree
// made from it takes, `treeBytesPerByte` bytes for each of its bytes, and offers that for huge
// pages (tools/ToolMemory.cpp). Nothing for a small one.
// A property list's tree takes up to about 6 times its text.
inline constexpr size_t kPropertyListTreeBytes = 6;
// A notation text's descriptor tree takes about 3 times the text. Only the tree is prepared for:
// preparing also for the property list the addition then makes measured a peak 5% higher and no
// faster run.
inline constexpr size_t kNotationTreeBytes = 3;
void PrepareHeapFor(size_t inputBytes, size_t treeBytesPerByte = kPropertyListTreeBytes);
// The same for a property list's bytes in any format: a binary list holds about as much as
// XML three times its size.
void PrepareHeapForList(std::string_view bytes);
// Keeps the last value a command made until the process ends instead of freeing it object by
// object: the exit hands all of its memory back at once, and freeing a large tree touches every
// object again. Held from a global, so leak checkers see it reachable.
void LeaveUntilExit(CFRef<CFPropertyListRef>& value);

// How many allocations through operator new have failed in the process so far
// (tools/ToolAllocation.cpp); 0 under AddressSanitizer, which keeps its own operators.
unsigned long FailedAllocations();
// The same for the file at `path` (nothing when it cannot be examined).
void PrepareHeapForFile(const std::string& path);

// tools/ToolPlistFiles.cpp
// The format a file that ParseInput read was in: "binary", "xml", "json" or "openstep", given
// whether the JSON reader took it. A file that is only "{}" is JSON when its name ends in .json,
// else old-style text.
std::string DetectFormat(std::string_view bytes, std::string_view path, bool readAsJSON);
// Reads FILE ("-": standard input) in any format, and the format it was in when `format` is
// given. False after complaining "COMMAND: FILE: reason". `source`, when given, keeps the file
// open for its bytes.
bool ReadPlistFile(std::string_view command, const std::string& path, CFRef<CFPropertyListRef>& out,
                   std::string* format = nullptr, InputFile* source = nullptr);
// The expansion bound: the most bytes a command may write, or compare, for one property list
// once its shared values are written out in full. `bytes` from --max-output; 0 for the default,
// the larger of 64 MB and 64 times the size of the file the list was read from.
void SetOutputBound(size_t bytes);
// Why `plist`, the last list ReadPlistFile read or a value in it, is refused in `form` (a
// format, "print" or "compare"; see ExpandedSize.h): "it expands to more than 64 MB as XML, …".
// Empty when it fits, and at once for a list read from text, which shares nothing.
std::string ExpansionProblem(CFPropertyListRef plist, std::string_view form);

// +1 data of `plist` in `format` (xml, binary, json, openstep; `strict` as convert --strict),
// or NULL with `reason` set (ExpansionProblem's among them). `scalarAtTop`: JSON of a value on its
// own may be a scalar. `at`: the key path of `plist` in its file, which `reason` names values from.
CFDataRef CreateEncoded(CFPropertyListRef plist, std::string_view format, bool strict,
                        std::string& reason, bool scalarAtTop = false, std::string_view at = {});
// Replaces `path` atomically with `data` (the platform's file write). The exit status, after
// complaining "COMMAND: FILE: reason" on failure.
int WriteFileAtomically(std::string_view command, const std::string& path, CFDataRef data);
int WriteStandardOutput(std::string_view command, CFDataRef data);
// True, after complaining, when binary output would go to a terminal.
bool RefuseBinaryToTerminal(std::string_view command, std::string_view format,
                            bool toStandardOutput);

// One-line notation (as PrintDesc writes it) indented one level per container, two spaces a
// level; empty containers and everything else stay as they are. Ends without a newline.
std::string PrettyNotation(std::string_view line);

#endif
