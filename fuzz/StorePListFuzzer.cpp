// Fuzz target: the store plist handler, then the load plist handler on what it stored. The
// input is a descriptor in the host's notation or, when it does not parse, the flat bytes of a
// list. Every 8th input is stored to a file instead of as text. Both handlers must return, put
// no result in a reply they report a failure in, leave the addition idle and leave no
// descriptor or CF object behind; what store wrote must load, and storing the loaded value
// again must give the same bytes.
#include <CoreServices/CoreServices.h>
#include <PlatformTesting.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "common/OwnedDesc.h"
#include "fuzz/CommandFuzzSupport.h"
#include "notation/DescNotation.h"

namespace {

using fuzz::Require;
using fuzz::TheScratch;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string DataOf(const AEDesc& desc) {
    std::string bytes(static_cast<size_t>(AEGetDescDataSize(&desc)), '\0');
    if (!bytes.empty()) AEGetDescData(&desc, bytes.data(), static_cast<Size>(bytes.size()));
    return bytes;
}

// A 'furl' for a scratch path (the names used need no escaping).
OwnedDesc FileURL(const std::string& path) {
    const std::string url = "file://" + path;
    OwnedDesc desc;
    AECreateDesc(typeFileURL, url.data(), static_cast<Size>(url.size()), desc.Out());
    return desc;
}

// The bytes a store produced: the text it returned, or the file it wrote.
std::string StoredBytes(const OwnedDesc& result, const std::string& file) {
    return file.empty() ? DataOf(result.Get()) : ReadFile(file);
}

// The stored XML with every character beyond ASCII as one byte 0x80, whether it came as
// UTF-16 text or as the bytes of a file.
constexpr char kBeyondASCII = '\x80';

std::string AsASCII(const std::string& bytes, bool utf16) {
    std::string out;
    if (!utf16) {
        for (char c : bytes) {
            const unsigned char byte = static_cast<unsigned char>(c);
            if (byte < 0x80)
                out += c;
            else if (byte >= 0xC0)
                out += kBeyondASCII;  // none for continuation bytes
        }
        return out;
    }
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char16_t unit = 0;
        std::memcpy(&unit, bytes.data() + i, 2);
        if (unit < 0x80)
            out += static_cast<char>(unit);
        else if (unit < 0xDC00 || unit > 0xDFFF)
            out += kBeyondASCII;
    }
    return out;
}

// Characters of the XML text from `at` up to the next '<', an entity counting as one.
size_t CharactersFrom(const std::string& xml, size_t at, bool& beyondASCII) {
    size_t characters = 0;
    beyondASCII = false;
    for (size_t i = at; i < xml.size() && xml[i] != '<'; ++i, ++characters) {
        if (xml[i] == '&') i = std::min(xml.find(';', i), xml.size() - 1);
        beyondASCII = beyondASCII || xml[i] == kBeyondASCII;
    }
    return characters;
}

// A code with a zero byte is written as the text before that byte, and by design comes back
// changed: a type text of fewer than four characters reads back padded with '*', and a short
// keyword key whose characters beyond ASCII make six UTF-8 bytes reads back as another
// keyword. Storing such a value again gives other bytes, so those are not compared. True when
// the XML holds such a type text or keyword key.
bool HasCutCode(const std::string& xml) {
    static const std::string kTypeKey = "<key>AEDescType</key>";
    bool beyondASCII = false;
    for (size_t at = xml.find(kTypeKey); at != std::string::npos; at = xml.find(kTypeKey, at + 1)) {
        const size_t open = xml.find_first_not_of(" \t\r\n", at + kTypeKey.size());
        if (open == std::string::npos) return false;
        if (xml.compare(open, 9, "<string/>") == 0) return true;
        if (xml.compare(open, 8, "<string>") == 0 && CharactersFrom(xml, open + 8, beyondASCII) < 4)
            return true;
    }
    for (size_t at = xml.find("<key>'"); at != std::string::npos; at = xml.find("<key>'", at + 1)) {
        const size_t close = xml.find('<', at + 5);
        // An apostrophe, fewer than four characters, an apostrophe.
        if (close != std::string::npos && xml[close - 1] == '\'' &&
            CharactersFrom(xml, at + 5, beyondASCII) < 6 && beyondASCII)
            return true;
    }
    return false;
}

void StoreThenLoad(const OwnedDesc& value, bool toFile) {
    const std::string first = toFile ? TheScratch().Path("first.plist") : "";
    const std::string second = toFile ? TheScratch().Path("second.plist") : "";
    OwnedDesc firstDestination = toFile ? FileURL(first) : OwnedDesc();
    OwnedDesc secondDestination = toFile ? FileURL(second) : OwnedDesc();

    OwnedDesc stored;
    if (!fuzz::RunCommand(kAEStorePList, &value.Get(), toFile ? &firstDestination.Get() : nullptr,
                          stored))
        return;
    OwnedDesc loaded;
    if (!fuzz::RunCommand(kAELoadPList, &stored.Get(), nullptr, loaded)) {
        const std::string xml = AsASCII(StoredBytes(stored, first), !toFile);
        std::fprintf(stderr, "stored:\n%s\n", xml.c_str());
        Require(false, "what store produced does not load");
    }
    OwnedDesc again;
    Require(fuzz::RunCommand(kAEStorePList, &loaded.Get(),
                             toFile ? &secondDestination.Get() : nullptr, again),
            "the loaded value does not store");
    Require(stored.Type() == again.Type(), "storing the loaded value gave another type");
    const std::string once = StoredBytes(stored, first);
    const std::string twice = StoredBytes(again, second);
    if (once != twice && !HasCutCode(AsASCII(once, !toFile))) {
        // Both forms, for whoever minimises the input.
        std::fprintf(stderr, "first store (%zu bytes):\n", once.size());
        std::fwrite(once.data(), 1, once.size(), stderr);
        std::fprintf(stderr, "\nsecond store (%zu bytes):\n", twice.size());
        std::fwrite(twice.data(), 1, twice.size(), stderr);
        Require(false, "storing the loaded value gave other bytes");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static unsigned long inputs = 0;
    const bool toFile = ++inputs % 8 == 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const long descriptorsBefore = PTLiveDescriptorCount();
    const long objectsBefore = PTLiveCFObjectCount();
    {
        OwnedDesc value;
        NotationError error;
        if (!ParseDesc(text, value, error) &&
            AECreateDesc(typeAEList, data, static_cast<Size>(size), value.Out()) != noErr)
            return 0;
        StoreThenLoad(value, toFile);
    }
    Require(PTLiveDescriptorCount() == descriptorsBefore, "descriptors leaked");
    Require(PTLiveCFObjectCount() == objectsBefore, "CF objects leaked");
    return 0;
}
