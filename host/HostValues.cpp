#include "host/HostValues.h"

#include <CoreFoundation/CoreFoundation.h>

#include <cstring>
#include <filesystem>

#include "desc/CFRef.h"
#include "notation/NotationText.h"

namespace {

std::string ReadData(const AEDesc& desc) {
    std::string data(static_cast<size_t>(AEGetDescDataSize(&desc)), '\0');
    if (!data.empty() && AEGetDescData(&desc, data.data(), static_cast<Size>(data.size())) != noErr)
        data.clear();
    return data;
}

}  // namespace

OSStatus CreateFileURLDesc(std::string_view path, OwnedDesc& out) {
    out.Dispose();
    if (path.empty()) return paramErr;
    std::error_code ignored;
    const std::filesystem::path absolute =
        std::filesystem::absolute(std::filesystem::path(path), ignored).lexically_normal();
    const std::string native = absolute.native();
    CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(
        kCFAllocatorDefault, reinterpret_cast<const UInt8*>(native.data()),
        static_cast<CFIndex>(native.size()), false));
    if (!url) return memFullErr;
    CFStringRef string = CFURLGetString(url.Get());
    if (string == nullptr) return memFullErr;
    const CFIndex length = CFStringGetLength(string);
    CFIndex size = 0;
    CFStringGetBytes(string, CFRangeMake(0, length), kCFStringEncodingUTF8, 0, false, nullptr, 0,
                     &size);
    std::string bytes(static_cast<size_t>(size), '\0');
    CFStringGetBytes(string, CFRangeMake(0, length), kCFStringEncodingUTF8, 0, false,
                     reinterpret_cast<UInt8*>(bytes.data()), size, &size);
    return AECreateDesc(typeFileURL, bytes.data(), size, out.Out());
}

OSStatus CreateUnicodeTextDesc(std::string_view utf8, OwnedDesc& out) {
    out.Dispose();
    std::u16string units;
    if (!notation::UTF8ToUTF16(utf8, units)) return paramErr;
    return AECreateDesc(typeUnicodeText, units.data(), static_cast<Size>(units.size() * 2),
                        out.Out());
}

OSStatus CopyUTF8Text(const AEDesc& desc, std::string& out) {
    out.clear();
    std::u16string units;
    switch (desc.descriptorType) {
        case typeUTF8Text:
            out = ReadData(desc);
            return noErr;
        case typeUnicodeText: {
            // Straight into the units: the XML of a large store is copied once, not twice.
            const Size size = AEGetDescDataSize(&desc);
            units.resize(static_cast<size_t>(size) / 2);
            if (!units.empty() &&
                AEGetDescData(&desc, units.data(), static_cast<Size>(units.size() * 2)) != noErr)
                units.clear();
            break;
        }
        case typeChar:
            notation::MacRomanToUTF16(ReadData(desc), units);
            break;
        default: {
            OwnedDesc coerced;
            if (OSErr err = AECoerceDesc(&desc, typeUTF8Text, coerced.Out())) return err;
            out = ReadData(coerced.Get());
            return noErr;
        }
    }
    if (!notation::UTF16ToUTF8(units, out)) {
        // A lone surrogate has no UTF-8 form; show it as U+FFFD rather than lose the text.
        for (char16_t& u : units) {
            const size_t i = static_cast<size_t>(&u - units.data());
            const bool high = u >= 0xD800 && u <= 0xDBFF;
            const bool low = u >= 0xDC00 && u <= 0xDFFF;
            const bool paired = (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
                                 units[i + 1] <= 0xDFFF) ||
                                (low && i > 0 && units[i - 1] >= 0xD800 && units[i - 1] <= 0xDBFF);
            if ((high || low) && !paired) u = 0xFFFD;
        }
        out.clear();
        notation::UTF16ToUTF8(units, out);
    }
    return noErr;
}
