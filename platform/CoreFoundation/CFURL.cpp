// CFURL: a legal (hence ASCII) URL string and an optional base URL it is relative to.
#include <CoreFoundation/CFURL.h>

#include <cstring>
#include <string>

#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/CFObject.h"
#include "platform/CoreFoundation/CFStringEncodingInternal.h"
#include "platform/CoreFoundation/CFURLSyntax.h"
#include "platform/Testing/PTInternal.h"

struct __CFURL final : cf::Object {
    __CFURL(std::string&& text, CFStringRef string, CFURLRef base)
        : Object(cf::kURLTypeID, false),
          mText(std::move(text)),
          mString(string),
          mBase(static_cast<CFURLRef>(cf::Retain(base))) {}
    ~__CFURL() override {
        cf::Release(mString);
        cf::Release(mBase);
    }
    bool EqualTo(const Object& other) const override {
        const auto& o = static_cast<const __CFURL&>(other);
        if (mText != o.mText) return false;
        return mBase == o.mBase || cf::Equal(mBase, o.mBase);
    }
    CFHashCode HashValue() const override { return cf::Hash(mString); }
    void Describe(std::string& out) const override { out += mText; }

    std::string mText;
    CFStringRef mString;
    CFURLRef mBase;
};

namespace cf::url {
namespace {

const __CFURL* AsURL(CFTypeRef ref) {
    return As<__CFURL>(ref, kURLTypeID);
}

// +1 URL for legal ASCII text; the base is dropped when the text has a scheme.
CFURLRef Make(std::string text, CFURLRef base) {
    if (Split(text).hasScheme) base = nullptr;
    CFStringRef string = CreateStringFromUTF8(text);
    if (!string) return nullptr;
    CFURLRef made = New<__CFURL>(std::move(text), string, base);
    if (!made) Release(string);
    return made;
}

// The URL string resolved against its base chain.
std::string AbsoluteText(const __CFURL* u) {
    const __CFURL* base = AsURL(u->mBase);
    if (!base || Split(u->mText).hasScheme) return u->mText;
    return Resolve(AbsoluteText(base), u->mText);
}

CFStringRef StringFromUTF8(const std::string& text) {
    return CreateStringFromUTF8(text);
}

// The POSIX path a URL names without resolving: decoded relative path for a relative URL.
bool OwnPath(const __CFURL* u, std::string& path) {
    Parts p = Split(u->mText);
    if (p.hasScheme) return PathFromFileURLString(u->mText, path);
    if (p.hasAuthority) return false;
    path.clear();
    return Unescape(p.path, path) && path.find('\0') == std::string::npos;
}

// Escapes a relative path: a ':' would otherwise read as the end of a scheme.
std::string EscapeRelativePath(std::string_view path, bool isDirectory) {
    std::string out;
    for (char ch : path) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (IsPathByte(c) && c != ':')
            out.push_back(ch);
        else
            AppendEscape(out, c);
    }
    if (isDirectory && !out.ends_with('/')) out.push_back('/');
    return out;
}

CFURLRef FromPath(std::string_view path, bool isDirectory) {
    if (path.empty()) return nullptr;
    if (path.starts_with('/')) return Make(FileURLStringFromPath(path, isDirectory), nullptr);
    Ref<CFURLRef> base(Make(FileURLStringFromPath("", true), nullptr));  // the current directory
    if (!base) return nullptr;
    return Make(EscapeRelativePath(path, isDirectory), base.Get());
}

// UTF-16 units → ASCII text when every unit is below 0x80.
bool ASCIIText(std::u16string_view units, std::string& text) {
    text.resize(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        if (units[i] >= 0x80) return false;
        text[i] = static_cast<char>(units[i]);
    }
    return true;
}

}  // namespace

std::string AbsoluteURLText(CFURLRef url) {
    const __CFURL* u = AsURL(url);
    return u ? AbsoluteText(u) : std::string();
}

bool PathFromURL(CFURLRef url, std::string& posixPath) {
    const __CFURL* u = AsURL(url);
    return u && PathFromFileURLString(AbsoluteText(u), posixPath);
}

CFURLRef CreateFileURL(std::string_view posixPath, bool isDirectory) {
    return Make(FileURLStringFromPath(posixPath, isDirectory), nullptr);
}

}  // namespace cf::url

using cf::url::AsURL;

extern "C" {

CFTypeID CFURLGetTypeID(void) {
    int32_t injected;
    if (PT_ENTER("CFURLGetTypeID", injected)) return 0;
    return cf::kURLTypeID;
}

CFURLRef CFURLCreateWithString(CFAllocatorRef, CFStringRef URLString, CFURLRef baseURL) {
    int32_t injected;
    if (PT_ENTER("CFURLCreateWithString", injected) || !cf::IsString(URLString)) return nullptr;
    std::string text;
    if (!cf::url::ASCIIText(cf::StringUnits(URLString), text) || !cf::url::IsLegalURLString(text))
        return nullptr;
    return cf::url::Make(std::move(text), AsURL(baseURL) ? baseURL : nullptr);
}

CFURLRef CFURLCreateWithBytes(CFAllocatorRef, const UInt8* URLBytes, CFIndex length,
                              CFStringEncoding encoding, CFURLRef baseURL) {
    int32_t injected;
    if (PT_ENTER("CFURLCreateWithBytes", injected)) return nullptr;
    if (length < 0 || (!URLBytes && length > 0)) return nullptr;
    std::u16string units;
    if (!cf::text::AppendUTF16FromBytes(URLBytes, static_cast<size_t>(length), encoding, false,
                                        units))
        return nullptr;
    std::string bytes;
    bool byteEncoding =
        encoding == kCFStringEncodingUTF8 || encoding == kCFStringEncodingMacRoman ||
        encoding == kCFStringEncodingASCII || encoding == kCFStringEncodingISOLatin1 ||
        encoding == kCFStringEncodingWindowsLatin1;
    if (byteEncoding)  // escapes spell the bytes in the URL's own encoding
        bytes.assign(reinterpret_cast<const char*>(URLBytes), static_cast<size_t>(length));
    else
        cf::text::AppendUTF8FromUTF16(units.data(), units.size(), bytes);
    return cf::url::Make(cf::url::EscapeIllegal(bytes), AsURL(baseURL) ? baseURL : nullptr);
}

CFDataRef CFURLCreateData(CFAllocatorRef, CFURLRef url, CFStringEncoding, Boolean) {
    int32_t injected;
    if (PT_ENTER("CFURLCreateData", injected)) return nullptr;
    const __CFURL* u = AsURL(url);
    if (!u) return nullptr;
    // The text is ASCII, identical in every supported byte encoding.
    return cf::CreateData(reinterpret_cast<const uint8_t*>(u->mText.data()), u->mText.size());
}

CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef, const UInt8* buffer,
                                                 CFIndex bufLen, Boolean isDirectory) {
    int32_t injected;
    if (PT_ENTER("CFURLCreateFromFileSystemRepresentation", injected)) return nullptr;
    if (bufLen <= 0 || !buffer) return nullptr;
    std::string_view path(reinterpret_cast<const char*>(buffer), static_cast<size_t>(bufLen));
    if (size_t nul = path.find('\0'); nul != std::string_view::npos) path = path.substr(0, nul);
    return cf::url::FromPath(path, isDirectory);
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase, UInt8* buffer,
                                         CFIndex maxBufLen) {
    int32_t injected;
    if (PT_ENTER("CFURLGetFileSystemRepresentation", injected)) return false;
    const __CFURL* u = AsURL(url);
    if (!u || !buffer || maxBufLen <= 0) return false;
    std::string path;
    bool ok = resolveAgainstBase ? cf::url::PathFromFileURLString(cf::url::AbsoluteText(u), path)
                                 : cf::url::OwnPath(u, path);
    if (!ok || path.size() >= static_cast<size_t>(maxBufLen)) return false;
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return true;
}

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, CFStringRef filePath,
                                       CFURLPathStyle pathStyle, Boolean isDirectory) {
    int32_t injected;
    if (PT_ENTER("CFURLCreateWithFileSystemPath", injected)) return nullptr;
    if (pathStyle != kCFURLPOSIXPathStyle || !cf::IsString(filePath)) return nullptr;
    std::string path;
    cf::AppendUTF8(filePath, path);
    return cf::url::FromPath(path, isDirectory);
}

CFStringRef CFURLCopyFileSystemPath(CFURLRef anURL, CFURLPathStyle pathStyle) {
    int32_t injected;
    if (PT_ENTER("CFURLCopyFileSystemPath", injected)) return nullptr;
    const __CFURL* u = AsURL(anURL);
    std::string path;
    if (!u || pathStyle != kCFURLPOSIXPathStyle || !cf::url::OwnPath(u, path)) return nullptr;
    while (path.size() > 1 && path.ends_with('/')) path.pop_back();
    return cf::url::StringFromUTF8(path);
}

CFStringRef CFURLGetString(CFURLRef anURL) {
    int32_t injected;
    if (PT_ENTER("CFURLGetString", injected)) return nullptr;
    const __CFURL* u = AsURL(anURL);
    return u ? u->mString : nullptr;
}

CFURLRef CFURLGetBaseURL(CFURLRef anURL) {
    int32_t injected;
    if (PT_ENTER("CFURLGetBaseURL", injected)) return nullptr;
    const __CFURL* u = AsURL(anURL);
    return u ? u->mBase : nullptr;
}

CFURLRef CFURLCopyAbsoluteURL(CFURLRef relativeURL) {
    int32_t injected;
    if (PT_ENTER("CFURLCopyAbsoluteURL", injected)) return nullptr;
    const __CFURL* u = AsURL(relativeURL);
    if (!u) return nullptr;
    if (!u->mBase) return static_cast<CFURLRef>(cf::Retain(relativeURL));
    return cf::url::Make(cf::url::AbsoluteText(u), nullptr);
}

CFStringRef CFURLCopyScheme(CFURLRef anURL) {
    int32_t injected;
    if (PT_ENTER("CFURLCopyScheme", injected)) return nullptr;
    const __CFURL* u = AsURL(anURL);
    if (!u) return nullptr;
    std::string text = cf::url::AbsoluteText(u);
    cf::url::Parts p = cf::url::Split(text);
    return p.hasScheme ? cf::url::StringFromUTF8(std::string(p.scheme)) : nullptr;
}

CFStringRef CFURLCopyHostName(CFURLRef anURL) {
    int32_t injected;
    if (PT_ENTER("CFURLCopyHostName", injected)) return nullptr;
    const __CFURL* u = AsURL(anURL);
    if (!u) return nullptr;
    std::string text = cf::url::AbsoluteText(u);
    cf::url::Parts p = cf::url::Split(text);
    std::string_view host = p.authority;
    if (size_t at = host.rfind('@'); at != std::string_view::npos) host.remove_prefix(at + 1);
    if (size_t colon = host.rfind(':'); colon != std::string_view::npos && !host.ends_with(']'))
        host = host.substr(0, colon);
    if (!p.hasAuthority || host.empty()) return nullptr;
    return cf::url::StringFromUTF8(std::string(host));
}

CFStringRef CFURLCopyPath(CFURLRef anURL) {
    int32_t injected;
    if (PT_ENTER("CFURLCopyPath", injected)) return nullptr;
    const __CFURL* u = AsURL(anURL);
    return u ? cf::url::StringFromUTF8(std::string(cf::url::Split(u->mText).path)) : nullptr;
}

CFStringRef CFURLCopyLastPathComponent(CFURLRef url) {
    int32_t injected;
    if (PT_ENTER("CFURLCopyLastPathComponent", injected)) return nullptr;
    const __CFURL* u = AsURL(url);
    if (!u) return nullptr;
    std::string text = cf::url::AbsoluteText(u);
    std::string_view path = cf::url::Split(text).path;
    while (path.size() > 1 && path.ends_with('/')) path.remove_suffix(1);
    if (path != "/") path.remove_prefix(path.rfind('/') + 1);
    std::string decoded;
    if (!cf::url::Unescape(path, decoded)) return nullptr;
    return cf::url::StringFromUTF8(decoded);
}

Boolean CFURLHasDirectoryPath(CFURLRef anURL) {
    int32_t injected;
    if (PT_ENTER("CFURLHasDirectoryPath", injected)) return false;
    const __CFURL* u = AsURL(anURL);
    if (!u) return false;
    std::string text = cf::url::AbsoluteText(u);
    return cf::url::Split(text).path.ends_with('/');
}

CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef, CFURLRef url,
                                               CFStringRef pathComponent, Boolean isDirectory) {
    int32_t injected;
    if (PT_ENTER("CFURLCreateCopyAppendingPathComponent", injected)) return nullptr;
    const __CFURL* u = AsURL(url);
    if (!u || !cf::IsString(pathComponent)) return nullptr;
    std::string text = cf::url::AbsoluteText(u);
    cf::url::Parts p = cf::url::Split(text);
    std::string out;
    if (p.hasScheme) out.append(p.scheme).push_back(':');
    if (p.hasAuthority) out.append("//").append(p.authority);
    out.append(p.path);
    if (!out.ends_with('/')) out.push_back('/');
    std::string component;
    cf::AppendUTF8(pathComponent, component);
    out += cf::url::EscapeRelativePath(component, isDirectory);
    return cf::url::Make(std::move(out), nullptr);
}

}  // extern "C"
