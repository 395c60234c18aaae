// URL syntax: splitting, reference resolution, escapes, and the file-path conversions.
#include "platform/CoreFoundation/CFURLSyntax.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/CoreFoundation/CFInternal.h"

namespace cf::url {
namespace {

bool IsSchemeChar(char c, bool first) {
    bool alpha = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (first) return alpha;
    return alpha || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// RFC 3986 5.2.4.
std::string RemoveDotSegments(std::string_view in) {
    std::string out;
    while (!in.empty()) {
        if (in.starts_with("../"))
            in.remove_prefix(3);
        else if (in.starts_with("./"))
            in.remove_prefix(2);
        else if (in.starts_with("/./"))
            in.remove_prefix(2);
        else if (in == "/.")
            in = "/";
        else if (in.starts_with("/../") || in == "/..") {
            in = in.size() == 3 ? std::string_view("/") : in.substr(3);
            size_t cut = out.rfind('/');
            out.erase(cut == std::string::npos ? 0 : cut);
        } else if (in == "." || in == "..") {
            in = {};
        } else {
            size_t next = in.find('/', 1);
            if (next == std::string_view::npos) next = in.size();
            out.append(in.substr(0, next));
            in.remove_prefix(next);
        }
    }
    return out;
}

std::string Compose(const Parts& p, std::string_view path) {
    std::string out;
    if (p.hasScheme) out.append(p.scheme).push_back(':');
    if (p.hasAuthority) out.append("//").append(p.authority);
    out.append(path);
    if (p.hasQuery) out.append("?").append(p.query);
    if (p.hasFragment) out.append("#").append(p.fragment);
    return out;
}

std::string CurrentDirectory() {
    std::vector<char> buffer(4096);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE) return "/";
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

}  // namespace

Parts Split(std::string_view url) {
    Parts p;
    size_t i = 0;
    while (i < url.size() && IsSchemeChar(url[i], i == 0)) ++i;
    if (i > 0 && i < url.size() && url[i] == ':') {
        p.scheme = url.substr(0, i);
        p.hasScheme = true;
        url.remove_prefix(i + 1);
    }
    if (size_t hash = url.find('#'); hash != std::string_view::npos) {
        p.fragment = url.substr(hash + 1);
        p.hasFragment = true;
        url = url.substr(0, hash);
    }
    if (size_t question = url.find('?'); question != std::string_view::npos) {
        p.query = url.substr(question + 1);
        p.hasQuery = true;
        url = url.substr(0, question);
    }
    if (url.starts_with("//")) {
        size_t slash = url.find('/', 2);
        if (slash == std::string_view::npos) slash = url.size();
        p.authority = url.substr(2, slash - 2);
        p.hasAuthority = true;
        url.remove_prefix(slash);
    }
    p.path = url;
    return p;
}

std::string Resolve(std::string_view base, std::string_view reference) {
    Parts r = Split(reference);
    Parts b = Split(base);
    Parts t;
    std::string path;
    if (r.hasScheme) {
        t = r;
        path = RemoveDotSegments(r.path);
    } else {
        t.scheme = b.scheme, t.hasScheme = b.hasScheme;
        if (r.hasAuthority) {
            t.authority = r.authority, t.hasAuthority = true;
            path = RemoveDotSegments(r.path);
            t.query = r.query, t.hasQuery = r.hasQuery;
        } else {
            t.authority = b.authority, t.hasAuthority = b.hasAuthority;
            if (r.path.empty()) {
                path = b.path;
                t.query = r.hasQuery ? r.query : b.query;
                t.hasQuery = r.hasQuery || b.hasQuery;
            } else {
                if (r.path.starts_with('/')) {
                    path = RemoveDotSegments(r.path);
                } else {
                    std::string merged;
                    if (b.hasAuthority && b.path.empty())
                        merged = "/";
                    else
                        merged = b.path.substr(0, b.path.rfind('/') + 1);
                    merged.append(r.path);
                    path = RemoveDotSegments(merged);
                }
                t.query = r.query, t.hasQuery = r.hasQuery;
            }
        }
        t.fragment = r.fragment, t.hasFragment = r.hasFragment;
    }
    return Compose(t, path);
}

bool IsLegalByte(unsigned char c) {
    if (c <= 0x20 || c >= 0x7F) return false;
    return !std::strchr("\"<>\\^`{|}", c);
}

bool IsPathByte(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return c != 0 && std::strchr("-._~!$&'()*+,;=:@/", c);
}

void AppendEscape(std::string& out, unsigned char byte) {
    static const char kHex[] = "0123456789ABCDEF";
    out.push_back('%');
    out.push_back(kHex[byte >> 4]);
    out.push_back(kHex[byte & 15]);
}

bool Unescape(std::string_view text, std::string& out) {
    out.reserve(out.size() + text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) return false;
        int a = HexValue(text[i + 1]), b = HexValue(text[i + 2]);
        if (a < 0 || b < 0) return false;
        out.push_back(static_cast<char>(a << 4 | b));
        i += 2;
    }
    return true;
}

bool IsLegalURLString(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '%') {
            if (i + 2 >= text.size() || HexValue(text[i + 1]) < 0 || HexValue(text[i + 2]) < 0)
                return false;
            i += 2;
        } else if (!IsLegalByte(c)) {
            return false;
        }
    }
    return true;
}

std::string EscapeIllegal(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        bool goodPercent = c == '%' && i + 2 < utf8.size() && HexValue(utf8[i + 1]) >= 0 &&
                           HexValue(utf8[i + 2]) >= 0;
        if (goodPercent || (c != '%' && IsLegalByte(c)))
            out.push_back(static_cast<char>(c));
        else
            AppendEscape(out, c);
    }
    return out;
}

std::string FileURLStringFromPath(std::string_view posixPath, bool isDirectory) {
    std::string absolute;
    if (!posixPath.starts_with('/')) {
        absolute = CurrentDirectory();
        if (!absolute.ends_with('/')) absolute.push_back('/');
    }
    absolute.append(posixPath);
    if (isDirectory && !absolute.ends_with('/')) absolute.push_back('/');
    std::string out = "file://";
    for (char ch : absolute) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (IsPathByte(c))
            out.push_back(ch);
        else
            AppendEscape(out, c);
    }
    return out;
}

bool PathFromFileURLString(std::string_view urlString, std::string& posixPath) {
    Parts p = Split(urlString);
    if (!p.hasScheme || !p.hasAuthority) return false;
    std::string scheme(p.scheme);
    for (char& c : scheme) c = static_cast<char>(c | 0x20);
    std::string host(p.authority);
    for (char& c : host) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c | 0x20 : c);
    if (scheme != "file" || !(host.empty() || host == "localhost")) return false;
    std::string path;
    if (!Unescape(p.path, path) || path.find('\0') != std::string::npos) return false;
    if (path.empty()) path.push_back('/');
    posixPath = std::move(path);
    return true;
}

}  // namespace cf::url
