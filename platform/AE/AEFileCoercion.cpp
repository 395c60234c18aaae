// Built-in coercions among file references: 'furl' holds the UTF-8 bytes of an absolute
// file:// URL; 'alis', 'fsrf', 'file' and 'psxf' hold the UTF-8 POSIX path; an object
// specifier naming a file by name becomes a 'furl'.
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/AE/AEInternal.h"
#include "platform/AE/AETextInternal.h"
#include "platform/CoreFoundation/CFStringEncodingInternal.h"

namespace ae {
namespace {

constexpr DescType kPOSIXFile = FourCC("psxf");

bool IsPathType(DescType t) {
    return t == typeAlias || t == typeFSRef || t == cFile || t == kPOSIXFile;
}

std::string BytesOf(const Payload& v) {
    return std::string(reinterpret_cast<const char*>(v.Bytes()), v.Size());
}

// Bytes a path may carry into a URL unescaped: the unreserved and sub-delimiter characters,
// ':', '@' and '/'. '%', '?', '#', space, controls and non-ASCII bytes are escaped.
bool KeepInURL(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::strchr("-._~!$&'()*+,;=:@/", c) != nullptr && c != '\0';
}

std::string FileURLFromPath(std::string path) {
    if (path.empty() || path[0] != '/') {
        std::vector<char> cwd(4096);
        while (!getcwd(cwd.data(), cwd.size())) {
            if (errno != ERANGE) return std::string();
            cwd.resize(cwd.size() * 2);
        }
        std::string base(cwd.data());
        if (base.empty() || base.back() != '/') base.push_back('/');
        path = base + path;
    }
    struct stat st;
    if (path.back() != '/' && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        path.push_back('/');  // a folder's URL ends with a slash
    static const char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    url.reserve(url.size() + path.size());
    for (unsigned char c : path) {
        if (KeepInURL(c)) {
            url.push_back(static_cast<char>(c));
        } else {
            url.push_back('%');
            url.push_back(kHex[c >> 4]);
            url.push_back(kHex[c & 15]);
        }
    }
    return url;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The POSIX path of an absolute file URL (empty host or localhost), percent escapes decoded,
// query and fragment dropped, a trailing slash dropped but for the root. False otherwise.
bool PathFromFileURL(const std::string& url, std::string& path) {
    if (url.size() < 5 || strncasecmp(url.c_str(), "file:", 5) != 0) return false;
    std::string rest = url.substr(5);
    if (rest.compare(0, 2, "//") == 0) {
        size_t slash = rest.find('/', 2);
        if (slash == std::string::npos) return false;
        std::string host = rest.substr(2, slash - 2);
        if (!host.empty() && strcasecmp(host.c_str(), "localhost") != 0) return false;
        rest = rest.substr(slash);
    }
    if (rest.empty() || rest[0] != '/') return false;
    rest = rest.substr(0, rest.find_first_of("?#"));
    path.clear();
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '%') {
            path.push_back(rest[i]);
            continue;
        }
        int hi = i + 2 < rest.size() ? HexValue(rest[i + 1]) : -1;
        int lo = hi >= 0 ? HexValue(rest[i + 2]) : -1;
        if (lo < 0 || (hi == 0 && lo == 0)) return false;  // bad escape, or a NUL in the path
        path.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return true;
}

// 'Volume:dir:file' → '/dir/file': the volume is the root; a trailing ':' keeps a folder's
// slash; '/' inside a name is ':' in POSIX terms.
std::string PathFromHFS(const std::string& hfs) {
    std::string path;
    size_t colon = hfs.find(':');
    size_t i = colon + 1;
    while (i <= hfs.size()) {
        size_t next = hfs.find(':', i);
        if (next == std::string::npos) next = hfs.size();
        if (next > i) {
            path.push_back('/');
            for (size_t k = i; k < next; ++k) path.push_back(hfs[k] == '/' ? ':' : hfs[k]);
        }
        if (next == hfs.size()) break;
        i = next + 1;
    }
    if (path.empty() || hfs.back() == ':') path.push_back('/');
    return path;
}

bool ReadCode(const Item* item, uint32_t& code) {
    if (!item || item->value.IsNode() || item->value.Size() != 4) return false;
    std::memcpy(&code, item->value.Bytes(), 4);
    return true;
}

// The path named by an object specifier {want: file|alis, form: name, seld: text, from: null}.
bool PathFromSpecifier(const Payload& v, std::string& path) {
    const Container* c = v.Node();
    if (!c || c->GetShape() != Shape::Record) return false;
    auto field = [&](AEKeyword key) -> const Item* {
        long at = c->Find(key);
        return at < 0 ? nullptr : &c->At(static_cast<size_t>(at));
    };
    uint32_t want, form;
    if (!ReadCode(field(keyAEDesiredClass), want) || (want != cFile && want != typeAlias))
        return false;
    if (!ReadCode(field(keyAEKeyForm), form) || form != formName) return false;
    const Item* from = field(keyAEContainer);
    if (from && from->type != typeNull) return false;
    const Item* seld = field(keyAEKeyData);
    std::u16string text;
    if (!seld || DecodeText(seld->type, seld->value, text) != TextStatus::Ok || text.empty())
        return false;
    std::string utf8;
    cf::text::AppendUTF8FromUTF16(text.data(), text.size(), utf8);
    if (utf8.find('\0') != std::string::npos) return false;
    if (utf8[0] == '/' || utf8.find(':') == std::string::npos) {
        path = utf8;  // absolute, or relative to the current directory
    } else {
        path = PathFromHFS(utf8);
    }
    return true;
}

OSErr Deliver(DescType type, const std::string& bytes, Item& out) {
    out.type = type;
    out.value = Payload::FromBytes(bytes.data(), bytes.size());
    return noErr;
}

OSErr TextFromUTF8(const std::string& utf8, DescType toType, Item& out) {
    if (toType != typeUnicodeText && toType != typeUTF8Text && toType != typeChar)
        return errAECoercionFail;
    std::u16string text;
    if (!cf::text::AppendUTF16FromUTF8(reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size(),
                                       text))
        return errAECoercionFail;
    return EncodeText(text, toType, out) ? OSErr(noErr) : OSErr(errAECoercionFail);
}

}  // namespace

OSErr CoerceFile(DescType fromType, const Payload& from, DescType toType, Item& out) {
    bool toFile = toType == typeFileURL || IsPathType(toType);
    if (fromType == typeObjectSpecifier) {
        std::string path;
        if (toType != typeFileURL || !PathFromSpecifier(from, path)) return errAECoercionFail;
        std::string url = FileURLFromPath(path);
        return url.empty() ? OSErr(errAECoercionFail) : Deliver(typeFileURL, url, out);
    }
    if (from.IsNode()) return errAECoercionFail;
    if (fromType == typeFileURL) {
        std::string url = BytesOf(from);
        if (!toFile) return TextFromUTF8(url, toType, out);
        std::string path;
        if (!PathFromFileURL(url, path)) return errAECoercionFail;
        return Deliver(toType, path, out);
    }
    if (!IsPathType(fromType)) return errAECoercionFail;
    std::string path = BytesOf(from);
    if (!toFile) return TextFromUTF8(path, toType, out);
    if (toType != typeFileURL) return Deliver(toType, path, out);
    if (path.empty() || path.find('\0') != std::string::npos) return errAECoercionFail;
    std::string url = FileURLFromPath(path);
    return url.empty() ? OSErr(errAECoercionFail) : Deliver(typeFileURL, url, out);
}

}  // namespace ae
