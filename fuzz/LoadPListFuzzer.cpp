// Fuzz target: the load plist handler, called directly with an event built by the Apple Event
// Manager. The first byte picks what the direct parameter is; the rest is its text, a file's
// contents, a URL or a file name. Whatever the input, the handler must return, put no result
// in a reply it reports a failure in, leave the addition idle, and leave no descriptor or CF
// object behind.
#include <CoreServices/CoreServices.h>
#include <PlatformTesting.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "host/OwnedDesc.h"
#include "shell/AdditionEntryPoints.h"

namespace {

constexpr AEEventClass kSuite = 0x476D7162;  // 'Gmqb'
constexpr AEEventID kLoad = 0x706C734C;      // 'plsL'

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "LoadPListFuzzer: %s\n", what);
    std::abort();
}

// One scratch folder for the whole run, removed at exit.
class Scratch {
public:
    Scratch() {
        std::string pattern = (std::filesystem::temp_directory_path() / "plistbridge-fuzz-XXXXXX").string();
        Require(mkdtemp(pattern.data()) != nullptr, "mkdtemp failed");
        mFolder = pattern;
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(mFolder, ignored);
    }
    std::string Write(std::string_view bytes) const {
        std::string path = (mFolder / "in.plist").string();
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

private:
    std::filesystem::path mFolder;
};

const Scratch& TheScratch() {
    static const Scratch scratch;
    return scratch;
}

OwnedDesc Bytes(DescType type, std::string_view bytes) {
    OwnedDesc desc;
    AECreateDesc(type, bytes.data(), static_cast<Size>(bytes.size()), desc.Out());
    return desc;
}

// UTF-16 of the bytes taken as Latin-1: every byte sequence gives some name.
OwnedDesc Unicode(std::string_view bytes) {
    std::u16string units(bytes.begin(), bytes.end());
    for (size_t i = 0; i < bytes.size(); ++i) units[i] = static_cast<unsigned char>(bytes[i]);
    OwnedDesc desc;
    AECreateDesc(typeUnicodeText, units.data(), static_cast<Size>(units.size() * 2), desc.Out());
    return desc;
}

// A top-level 'obj ' naming a file (or, with `alias`, an alias) by name.
OwnedDesc Specifier(const OwnedDesc& name, bool alias) {
    OwnedDesc record;
    AECreateList(nullptr, 0, true, record.Out());
    const DescType wanted = alias ? cAlias : cFile;
    const DescType form = formName;
    AEPutParamPtr(record.Mutable(), keyAEDesiredClass, typeType, &wanted, sizeof wanted);
    AEPutParamPtr(record.Mutable(), keyAEKeyForm, typeEnumerated, &form, sizeof form);
    AEPutParamDesc(record.Mutable(), keyAEKeyData, &name.Get());
    OwnedDesc none;
    AEPutParamDesc(record.Mutable(), keyAEContainer, &none.Get());
    OwnedDesc specifier;
    AECoerceDesc(&record.Get(), typeObjectSpecifier, specifier.Out());
    return specifier;
}

std::string FileURL(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_') {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 15];
        }
    }
    return url;
}

OwnedDesc DirectParameter(uint8_t selector, std::string_view rest) {
    switch (selector % 9) {
        case 0: return Bytes(typeUTF8Text, rest);
        case 1: return Bytes(typeChar, rest);
        case 2: return Bytes(typeUnicodeText, rest);  // odd lengths and lone surrogates included
        case 3: return Bytes(typeWildCard, rest);
        case 4: return Bytes(typeFileURL, FileURL(TheScratch().Write(rest)));
        case 5: return Specifier(Unicode(TheScratch().Write(rest)), (selector / 9) & 1);
        case 6: return Bytes(typeFileURL, rest);       // the rest is the URL itself
        case 7: return Specifier(Unicode(rest), (selector / 9) & 1);  // ...or the file's name
        default: return Unicode(rest);                 // text route, Latin-1 as UTF-16
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const long descriptorsBefore = PTLiveDescriptorCount();
    const long objectsBefore = PTLiveCFObjectCount();
    {
        OwnedDesc direct = DirectParameter(data[0], rest);
        ProcessSerialNumber self{0, kCurrentProcess};
        OwnedDesc target;
        AECreateDesc(typeProcessSerialNumber, &self, sizeof self, target.Out());
        OwnedDesc event;
        Require(AECreateAppleEvent(kSuite, kLoad, &target.Get(), kAutoGenerateReturnID, kAnyTransactionID,
                                   event.Out()) == noErr,
                "cannot make the event");
        if (!direct.IsNull()) AEPutParamDesc(event.Mutable(), keyDirectObject, &direct.Get());
        OwnedDesc reply;
        Require(AECreateAppleEvent(kCoreEventClass, kAEAnswer, nullptr, kAutoGenerateReturnID,
                                   kAnyTransactionID, reply.Out()) == noErr,
                "cannot make the reply");

        const OSErr status = LoadPList(&event.Get(), reply.Mutable(), 0);

        DescType type;
        Size resultSize;
        const bool hasResult = AESizeOfParam(&reply.Get(), keyDirectObject, &type, &resultSize) == noErr;
        Require(status == noErr || !hasResult, "a failed load left a result in the reply");
        Require(status != noErr || hasResult, "a successful load left no result in the reply");
        Require(!SAIsBusy(), "the addition is still busy after the handler returned");
    }
    Require(PTLiveDescriptorCount() == descriptorsBefore, "descriptors leaked");
    Require(PTLiveCFObjectCount() == objectsBefore, "CF objects leaked");
    return 0;
}
