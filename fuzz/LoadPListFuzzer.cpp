// Fuzz target: the load plist handler, called directly with an event built by the Apple Event
// Manager. The first byte picks what the direct parameter is; the rest is its text, a file's
// contents, a URL or a file name. Whatever the input, the handler must return, put no result
// in a reply it reports a failure in, leave the addition idle, and leave no descriptor or CF
// object behind.
#include <CoreServices/CoreServices.h>
#include <PlatformTesting.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/OwnedDesc.h"
#include "fuzz/CommandFuzzSupport.h"

namespace {

using fuzz::Require;
using fuzz::TheScratch;

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
    const DescType wanted = alias ? DescType{typeAlias} : DescType{cFile};
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
        case 0:
            return Bytes(typeUTF8Text, rest);
        case 1:
            return Bytes(typeChar, rest);
        case 2:
            return Bytes(typeUnicodeText, rest);  // odd lengths and lone surrogates included
        case 3:
            return Bytes(typeWildCard, rest);
        case 4:
            return Bytes(typeFileURL, FileURL(TheScratch().Write(rest)));
        case 5:
            return Specifier(Unicode(TheScratch().Write(rest)), (selector / 9) & 1);
        case 6:
            return Bytes(typeFileURL, rest);  // the rest is the URL itself
        case 7:
            return Specifier(Unicode(rest), (selector / 9) & 1);  // ...or the file's name
        default:
            return Unicode(rest);  // text route, Latin-1 as UTF-16
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
        OwnedDesc result;
        fuzz::RunCommand(kAELoadPList, direct.IsNull() ? nullptr : &direct.Get(), nullptr, result);
    }
    Require(PTLiveDescriptorCount() == descriptorsBefore, "descriptors leaked");
    Require(PTLiveCFObjectCount() == objectsBefore, "CF objects leaked");
    return 0;
}
