// Helpers for calling the command handlers in-process: events, replies, file references and a
// scratch folder.
#ifndef TESTS_COMMANDS_COMMANDTESTSUPPORT_H
#define TESTS_COMMANDS_COMMANDTESTSUPPORT_H

#include <CoreServices/CoreServices.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

#include "common/PlistBridgeEvents.h"
#include "convert/DescBuilders.h"

// An event of class 'Gmqb' addressed to the current process; `optional` lists keywords that
// go into its 'optk' attribute.
OwnedDesc MakeEvent(AEEventID id, std::initializer_list<AEKeyword> optional = {});
void PutParam(OwnedDesc& event, AEKeyword keyword, const OwnedDesc& value);
// An empty 'aevt'/'ansr' reply.
OwnedDesc MakeReply();

// The reply's direct parameter (null when there is none), and its 'errs' text ("" when none).
OwnedDesc ResultOf(const OwnedDesc& reply);
bool HasResult(const OwnedDesc& reply);
std::string ErrorTextOf(const OwnedDesc& reply);

// File references to a POSIX path: 'furl' (a file:// URL), 'alis', 'fsrf', 'file', 'psxf' (the
// path itself), or an object specifier naming the file by its path.
OwnedDesc FileReference(DescType type, const std::string& path);
OwnedDesc FileSpecifier(const std::u16string& name, DescType wantedClass = FourCC("file"));
std::string FileURL(const std::string& path);

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::string Path(std::string_view name) const { return (mPath / name).string(); }

private:
    std::filesystem::path mPath;
};

void WriteFile(const std::string& path, std::string_view bytes);
std::string ReadFile(const std::string& path);

// A UTF-16 string from UTF-8 (for building 'utxt' values of file text).
std::u16string ToUTF16(std::string_view utf8);

#endif
