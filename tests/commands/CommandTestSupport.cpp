#include "commands/CommandTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

void Check(OSErr err, const char* what) {
    if (err != noErr) ADD_FAILURE() << what << " failed with " << err;
}

}  // namespace

OwnedDesc MakeEvent(AEEventID id, std::initializer_list<AEKeyword> optional) {
    ProcessSerialNumber self{0, kCurrentProcess};
    OwnedDesc target = MakeValue(typeProcessSerialNumber, self);
    OwnedDesc event;
    Check(AECreateAppleEvent(kPlistBridgeSuite, id, &target.Get(), kAutoGenerateReturnID,
                             kAnyTransactionID, event.Out()),
          "AECreateAppleEvent");
    if (optional.size()) {
        OwnedDesc keywords = MakeList({});
        for (AEKeyword keyword : optional)
            Check(AEPutPtr(keywords.Mutable(), 0, typeKeyword, &keyword, sizeof keyword),
                  "AEPutPtr");
        Check(AEPutAttributeDesc(event.Mutable(), keyOptionalKeywordAttr, &keywords.Get()),
              "AEPutAttributeDesc");
    }
    return event;
}

void PutParam(OwnedDesc& event, AEKeyword keyword, const OwnedDesc& value) {
    Check(AEPutParamDesc(event.Mutable(), keyword, &value.Get()), "AEPutParamDesc");
}

OwnedDesc MakeReply() {
    OwnedDesc reply;
    Check(AECreateAppleEvent(FourCC("aevt"), FourCC("ansr"), nullptr, kAutoGenerateReturnID,
                             kAnyTransactionID, reply.Out()),
          "AECreateAppleEvent");
    return reply;
}

OwnedDesc ResultOf(const OwnedDesc& reply) {
    OwnedDesc result;
    AEGetParamDesc(&reply.Get(), keyDirectObject, typeWildCard, result.Out());
    return result;
}

bool HasResult(const OwnedDesc& reply) {
    DescType type;
    Size size;
    return AESizeOfParam(&reply.Get(), keyDirectObject, &type, &size) == noErr;
}

std::string ErrorTextOf(const OwnedDesc& reply) {
    OwnedDesc text;
    if (AEGetParamDesc(&reply.Get(), FourCC("errs"), typeWildCard, text.Out()) != noErr) return "";
    EXPECT_EQ(text->descriptorType, typeChar);
    return DataOf(*text);
}

std::string FileURL(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) ||
            std::string_view("/-._~").find(static_cast<char>(c)) != std::string_view::npos) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 15];
        }
    }
    return url;
}

OwnedDesc FileReference(DescType type, const std::string& path) {
    return MakeBytes(type, type == typeFileURL ? FileURL(path) : path);
}

OwnedDesc FileSpecifier(const std::u16string& name, DescType wantedClass) {
    return MakeRecord({{keyAEDesiredClass, MakeValue(typeType, wantedClass)},
                       {keyAEKeyForm, MakeValue(typeEnumerated, FourCC("name"))},
                       {keyAEKeyData, MakeUnicode(name)},
                       {keyAEContainer, MakeNull()}},
                      FourCC("obj "));
}

ScratchFolder::ScratchFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "plistbridge-cmd-XXXXXX").string();
    if (!mkdtemp(pattern.data())) ADD_FAILURE() << "mkdtemp failed";
    mPath = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::permissions(mPath, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(mPath, ignored);
}

void WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::u16string ToUTF16(std::string_view utf8) {
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        char32_t cp;
        int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        for (int k = 1; k <= extra && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (utf8[i + k] & 0x3F);
        i += 1 + extra;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}
