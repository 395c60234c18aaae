#include "host/HostValues.h"

#include <CoreFoundation/CoreFoundation.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>

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

namespace {

// UTF-16 to UTF-8 appended to `out`; a lone surrogate has no UTF-8 form, so it is shown as
// U+FFFD rather than lose the text.
void AppendUTF8(std::u16string_view units, std::string& out) {
    const size_t at = out.size();
    if (notation::UTF16ToUTF8(units, out)) return;
    out.resize(at + 3 * units.size());
    out.resize(at + notation::WriteUTF8(units, out.data() + at, notation::LoneSurrogate::kReplace));
}

// The UTF-16 units of a 'utxt' descriptor, uninitialised before the copy; empty when they
// cannot be read.
std::u16string_view ReadUnits(const AEDesc& desc, std::unique_ptr<char16_t[]>& storage) {
    const size_t count = static_cast<size_t>(AEGetDescDataSize(&desc)) / 2;
    if (count == 0) return {};
    storage = std::make_unique_for_overwrite<char16_t[]>(count);
    if (AEGetDescData(&desc, storage.get(), static_cast<Size>(count * 2)) != noErr) return {};
    return {storage.get(), count};
}

}  // namespace

OSStatus CopyUTF8Text(const AEDesc& desc, std::string& out) {
    out.clear();
    switch (desc.descriptorType) {
        case typeUTF8Text:
            out = ReadData(desc);
            return noErr;
        case typeUnicodeText: {
            std::unique_ptr<char16_t[]> storage;
            AppendUTF8(ReadUnits(desc, storage), out);
            return noErr;
        }
        case typeChar: {
            std::u16string units;
            notation::MacRomanToUTF16(ReadData(desc), units);
            AppendUTF8(units, out);
            return noErr;
        }
        default: {
            OwnedDesc coerced;
            if (OSErr err = AECoerceDesc(&desc, typeUTF8Text, coerced.Out())) return err;
            out = ReadData(coerced.Get());
            return noErr;
        }
    }
}

OSStatus WriteUTF8Text(const AEDesc& desc, std::FILE* to) {
    if (desc.descriptorType != typeUnicodeText) {
        std::string text;
        if (OSStatus err = CopyUTF8Text(desc, text)) return err;
        return std::fwrite(text.data(), 1, text.size(), to) == text.size() ? OSStatus{noErr}
                                                                           : OSStatus{ioErr};
    }
    // Read and written a chunk at a time: a large store's XML is never copied whole.
    constexpr size_t kChunkUnits = size_t{1} << 15;
    const size_t total = static_cast<size_t>(AEGetDescDataSize(&desc)) / 2;
    std::u16string units(std::min(total, kChunkUnits + 1), u'\0');
    const auto bytes = std::make_unique_for_overwrite<char[]>(3 * units.size());
    for (size_t at = 0; at < total;) {
        const size_t got = std::min(units.size(), total - at);
        if (OSErr err = AEGetDescDataRange(&desc, units.data(), static_cast<Size>(at * 2),
                                           static_cast<Size>(got * 2)))
            return err;
        // One unit more than a chunk is read, so a surrogate pair stays in one chunk.
        size_t take = std::min(kChunkUnits, got);
        if (take < got && notation::IsHighSurrogate(units[take - 1]) &&
            notation::IsLowSurrogate(units[take]))
            ++take;
        // A lone surrogate is shown as U+FFFD, as CopyUTF8Text shows it.
        const size_t written = notation::WriteUTF8(std::u16string_view(units).substr(0, take),
                                                   bytes.get(), notation::LoneSurrogate::kReplace);
        if (std::fwrite(bytes.get(), 1, written, to) != written) return ioErr;
        at += take;
    }
    return noErr;
}
