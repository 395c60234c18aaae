// CFURL: legal characters, escaping, resolution, file-system paths.
#include <CoreFoundation/CoreFoundation.h>

#include <unistd.h>

#include <string>

#include "platform/CoreFoundation/CFInternal.h"
#include "support/PlatformTest.h"

namespace {

class CFURLTest : public PlatformTest {};

std::string Utf8(CFStringRef s) {
    std::string out;
    cf::AppendUTF8(s, out);
    return out;
}

cf::Ref<CFStringRef> Str(const std::string& s) {
    return cf::Ref<CFStringRef>(cf::CreateStringFromUTF8(s));
}

TEST_F(CFURLTest, OnlyLegalStringsMakeURLs) {
    struct {
        const char* text;
        bool legal;
    } cases[] = {
        {"file:///tmp/a.plist", true},
        {"http://host:8080/p?q=1&r=%20#frag", true},
        {"relative/path", true},
        {"", true},
        {"[::1]@~!$'()*+,;=", true},
        {"file:///tmp/a b", false},
        {"a\"b", false},
        {"a<b", false},
        {"a>b", false},
        {"a\\b", false},
        {"a^b", false},
        {"a`b", false},
        {"a{b", false},
        {"a|b", false},
        {"a}b", false},
        {"a\tb", false},
        {"a\x7f", false},
        {"caf\xC3\xA9", false},
        {"100%", false},
        {"%4", false},
        {"%zz", false},
        {"%4g", false},
    };
    for (const auto& c : cases) {
        cf::Ref<CFURLRef> url(CFURLCreateWithString(nullptr, Str(c.text).Get(), nullptr));
        EXPECT_EQ(url.Get() != nullptr, c.legal) << c.text;
        if (url) {
            EXPECT_EQ(Utf8(CFURLGetString(url.Get())), c.text);
        }
    }
}

TEST_F(CFURLTest, AddingEscapesEscapesExactlyTheIllegal) {
    struct {
        const char* in;
        const char* leave;
        const char* force;
        const char* out;
    } cases[] = {
        {"file:///tmp/a b.plist", nullptr, nullptr, "file:///tmp/a%20b.plist"},
        {"#?/:@&=+$,;%41", nullptr, nullptr, "#?/:@&=+$,;%41"},
        {"100%", nullptr, nullptr, "100%25"},
        {"\"<>\\^`{|}", nullptr, nullptr, "%22%3C%3E%5C%5E%60%7B%7C%7D"},
        {"caf\xC3\xA9 \xF0\x9F\x98\x80", nullptr, nullptr, "caf%C3%A9%20%F0%9F%98%80"},
        {"a b|c", " ", nullptr, "a b%7Cc"},
        {"a/b?c", nullptr, "/?", "a%2Fb%3Fc"},
    };
    for (const auto& c : cases) {
        cf::Ref<CFStringRef> leave(c.leave ? cf::CreateStringFromUTF8(c.leave) : nullptr);
        cf::Ref<CFStringRef> force(c.force ? cf::CreateStringFromUTF8(c.force) : nullptr);
        cf::Ref<CFStringRef> out(CFURLCreateStringByAddingPercentEscapes(
            nullptr, Str(c.in).Get(), leave.Get(), force.Get(), kCFStringEncodingUTF8));
        ASSERT_TRUE(out) << c.in;
        EXPECT_EQ(Utf8(out.Get()), c.out) << c.in;
        cf::Ref<CFURLRef> url(CFURLCreateWithString(nullptr, out.Get(), nullptr));
        EXPECT_EQ(url.Get() != nullptr, c.leave == nullptr) << c.out;
    }
    const UniChar lone[] = {'a', 0xD800};
    cf::Ref<CFStringRef> bad(CFStringCreateWithCharacters(nullptr, lone, 2));
    EXPECT_FALSE(cf::Ref<CFStringRef>(CFURLCreateStringByAddingPercentEscapes(
        nullptr, bad.Get(), nullptr, nullptr, kCFStringEncodingUTF8)))
        << "a lone surrogate has no UTF-8 bytes to escape";
}

TEST_F(CFURLTest, ReplacingEscapesDecodesUTF8Runs) {
    struct {
        const char* in;
        const char* leave;
        const char* out;  // nullptr: refused
    } cases[] = {
        {"caf%C3%A9%20x", "", "caf\xC3\xA9 x"},
        {"a%2Fb%20c", "/", "a%2Fb c"},
        {"%e2%82%AC", "", "\xE2\x82\xAC"},
        {"keep%20", nullptr, "keep%20"},
        {"%C3", "", nullptr},
        {"%G0", "", nullptr},
        {"ends%2", "", nullptr},
    };
    for (const auto& c : cases) {
        cf::Ref<CFStringRef> leave(c.leave ? cf::CreateStringFromUTF8(c.leave) : nullptr);
        cf::Ref<CFStringRef> out(
            CFURLCreateStringByReplacingPercentEscapes(nullptr, Str(c.in).Get(), leave.Get()));
        ASSERT_EQ(out.Get() != nullptr, c.out != nullptr) << c.in;
        if (out) {
            EXPECT_EQ(Utf8(out.Get()), c.out);
        }
    }
}

TEST_F(CFURLTest, BytesAreEscapedIntoALegalURL) {
    std::string text = "file:///tmp/a b%zz\xC3\xA9";
    cf::Ref<CFURLRef> url(CFURLCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(text.data()),
                                               static_cast<CFIndex>(text.size()),
                                               kCFStringEncodingUTF8, nullptr));
    ASSERT_TRUE(url);
    EXPECT_EQ(Utf8(CFURLGetString(url.Get())), "file:///tmp/a%20b%25zz%C3%A9");
    const UInt8 invalid[] = {'a', 0xFF};
    EXPECT_FALSE(cf::Ref<CFURLRef>(
        CFURLCreateWithBytes(nullptr, invalid, 2, kCFStringEncodingUTF8, nullptr)));
}

TEST_F(CFURLTest, RelativeURLsResolveAgainstTheirBase) {
    cf::Ref<CFURLRef> base(CFURLCreateWithString(nullptr, CFSTR("http://a/b/c/d;p?q"), nullptr));
    struct {
        const char* reference;
        const char* absolute;
    } cases[] = {
        {"g", "http://a/b/c/g"},      {"./g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},         {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"}, {"#s", "http://a/b/c/d;p?q#s"},
        {"../..", "http://a/"},       {"../../../g", "http://a/g"},
        {"", "http://a/b/c/d;p?q"},   {"g;x=1/../y", "http://a/b/c/y"},
        {"ftp://x/y", "ftp://x/y"},
    };
    for (const auto& c : cases) {
        cf::Ref<CFURLRef> rel(CFURLCreateWithString(nullptr, Str(c.reference).Get(), base.Get()));
        ASSERT_TRUE(rel) << c.reference;
        EXPECT_EQ(Utf8(CFURLGetString(rel.Get())), c.reference) << "kept relative";
        cf::Ref<CFURLRef> abs(CFURLCopyAbsoluteURL(rel.Get()));
        EXPECT_EQ(Utf8(CFURLGetString(abs.Get())), c.absolute) << c.reference;
    }
    cf::Ref<CFStringRef> scheme(CFURLCopyScheme(base.Get()));
    EXPECT_EQ(Utf8(scheme.Get()), "http");
    cf::Ref<CFURLRef> bare(CFURLCreateWithString(nullptr, CFSTR("/tmp/x"), nullptr));
    EXPECT_FALSE(cf::Ref<CFStringRef>(CFURLCopyScheme(bare.Get())));
}

TEST_F(CFURLTest, FileSystemPathsConvertBothWays) {
    cf::Ref<CFURLRef> url(CFURLCreateWithFileSystemPath(nullptr, Str("/tmp/a b/%#?\xC3\xA9").Get(),
                                                        kCFURLPOSIXPathStyle, false));
    ASSERT_TRUE(url);
    EXPECT_EQ(Utf8(CFURLGetString(url.Get())), "file:///tmp/a%20b/%25%23%3F%C3%A9");
    cf::Ref<CFStringRef> path(CFURLCopyFileSystemPath(url.Get(), kCFURLPOSIXPathStyle));
    EXPECT_EQ(Utf8(path.Get()), "/tmp/a b/%#?\xC3\xA9");
    UInt8 buffer[64];
    ASSERT_TRUE(CFURLGetFileSystemRepresentation(url.Get(), true, buffer, sizeof buffer));
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), "/tmp/a b/%#?\xC3\xA9");
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(url.Get(), true, buffer, 5)) << "too small";

    cf::Ref<CFURLRef> dir(CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8*>("/tmp/d"), 6, true));
    EXPECT_EQ(Utf8(CFURLGetString(dir.Get())), "file:///tmp/d/");
    EXPECT_TRUE(CFURLHasDirectoryPath(dir.Get()));
    cf::Ref<CFStringRef> dirPath(CFURLCopyFileSystemPath(dir.Get(), kCFURLPOSIXPathStyle));
    EXPECT_EQ(Utf8(dirPath.Get()), "/tmp/d");

    cf::Ref<CFURLRef> relative(
        CFURLCreateWithFileSystemPath(nullptr, CFSTR("x:y/z"), kCFURLPOSIXPathStyle, false));
    ASSERT_TRUE(relative);
    EXPECT_EQ(Utf8(CFURLGetString(relative.Get())), "x%3Ay/z") << "':' must not become a scheme";
    ASSERT_TRUE(CFURLGetBaseURL(relative.Get()));
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    UInt8 big[8192];
    ASSERT_TRUE(CFURLGetFileSystemRepresentation(relative.Get(), true, big, sizeof big));
    std::string expected = cwd;
    if (!expected.ends_with('/')) expected += '/';
    EXPECT_EQ(std::string(reinterpret_cast<char*>(big)), expected + "x:y/z");
    ASSERT_TRUE(CFURLGetFileSystemRepresentation(relative.Get(), false, big, sizeof big));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(big)), "x:y/z");

    cf::Ref<CFURLRef> web(CFURLCreateWithString(nullptr, CFSTR("http://h/p"), nullptr));
    EXPECT_FALSE(cf::Ref<CFStringRef>(CFURLCopyFileSystemPath(web.Get(), kCFURLPOSIXPathStyle)));
    cf::Ref<CFURLRef> remote(CFURLCreateWithString(nullptr, CFSTR("file://elsewhere/p"), nullptr));
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(remote.Get(), true, buffer, sizeof buffer));
}

TEST_F(CFURLTest, ComponentsAndAppending) {
    cf::Ref<CFURLRef> url(
        CFURLCreateWithString(nullptr, CFSTR("file://localhost/a/b%20c/"), nullptr));
    cf::Ref<CFStringRef> host(CFURLCopyHostName(url.Get()));
    EXPECT_EQ(Utf8(host.Get()), "localhost");
    cf::Ref<CFStringRef> last(CFURLCopyLastPathComponent(url.Get()));
    EXPECT_EQ(Utf8(last.Get()), "b c");
    cf::Ref<CFURLRef> child(
        CFURLCreateCopyAppendingPathComponent(nullptr, url.Get(), CFSTR("d e"), false));
    EXPECT_EQ(Utf8(CFURLGetString(child.Get())), "file://localhost/a/b%20c/d%20e");
    cf::Ref<CFURLRef> same(
        CFURLCreateWithString(nullptr, CFSTR("file://localhost/a/b%20c/"), nullptr));
    EXPECT_TRUE(CFEqual(url.Get(), same.Get()));
    EXPECT_EQ(CFHash(url.Get()), CFHash(same.Get()));
}

}  // namespace
