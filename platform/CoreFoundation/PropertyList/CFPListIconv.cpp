// Declared encodings beyond the built-in tables, through the C library's iconv.
#include "platform/CoreFoundation/PropertyList/CFPListInputEncoding.h"

#include <iconv.h>

#include <cerrno>
#include <string_view>

namespace cf::plist {
namespace {

// Names iconv would read as something other than a plain charset ("UTF-8//IGNORE", "char",
// "wchar_t") or that are not names at all are never handed to it.
bool IsCharsetName(std::string_view name) {
    if (name.empty() || name.size() > 64) return false;
    for (char c : name) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                  c == '-' || c == '_' || c == '.' || c == ':' || c == '+';
        if (!ok) return false;
    }
    std::string upper;
    for (char c : name) upper.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c);
    return upper != "CHAR" && upper != "WCHAR_T";
}

// Encodings whose units are wider than a byte cannot be named by an 8-bit declaration.
bool IsWide(std::string_view name) {
    std::string upper;
    for (char c : name) upper.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c);
    for (std::string_view wide : {"UTF-16", "UTF16", "UTF-32", "UTF32", "UCS-2", "UCS2", "UCS-4",
                                  "UCS4", "UNICODE", "ISO-10646"})
        if (upper.find(wide) != std::string::npos) return true;
    return false;
}

// The real converter has no JIS X 0212 (the three-byte 0x8F sequences of EUC-JP).
bool HasUnsupportedBytes(std::string_view name, const uint8_t* b, size_t n) {
    std::string upper;
    for (char c : name) upper.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c);
    if (upper != "EUC-JP" && upper != "EUCJP") return false;
    for (size_t i = 0; i < n; ++i)
        if (b[i] == 0x8F) return true;
    return false;
}

class Converter {
public:
    explicit Converter(const std::string& from) : mHandle(iconv_open("UTF-8", from.c_str())) {}
    ~Converter() {
        if (Valid()) iconv_close(mHandle);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Valid() const { return mHandle != reinterpret_cast<iconv_t>(-1); }

    bool Convert(const uint8_t* b, size_t n, std::string& out) {
        out.clear();
        char* in = const_cast<char*>(reinterpret_cast<const char*>(b));
        size_t inLeft = n;
        char buffer[4096];
        while (inLeft > 0) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            size_t done = iconv(mHandle, &in, &inLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<size_t>(dst - buffer));
            if (done == static_cast<size_t>(-1) && errno != E2BIG) return false;
        }
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        if (iconv(mHandle, nullptr, nullptr, &dst, &dstLeft) == static_cast<size_t>(-1))
            return false;
        out.append(buffer, static_cast<size_t>(dst - buffer));
        return true;
    }

private:
    iconv_t mHandle;
};

}  // namespace

InputStatus TranscodeWithIconv(const std::string& name, const uint8_t* b, size_t n,
                               UTF8Input& out) {
    if (!IsCharsetName(name)) return InputStatus::kUnknownEncoding;
    Converter converter(name);
    if (!converter.Valid()) return InputStatus::kUnknownEncoding;
    if (IsWide(name)) return InputStatus::kMismatch;
    if (HasUnsupportedBytes(name, b, n) || !converter.Convert(b, n, out.storage))
        return InputStatus::kBadBytes;
    out.begin = reinterpret_cast<const uint8_t*>(out.storage.data());
    out.end = out.begin + out.storage.size();
    return InputStatus::kOK;
}

}  // namespace cf::plist
