// CFBundle: Info.plist, executable loading and symbol lookup.
#include <CoreFoundation/CoreFoundation.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/CoreFoundation/CFInternal.h"
#include "support/PlatformTest.h"

namespace {

class CFBundleTest : public PlatformTest {};

cf::Ref<CFBundleRef> Open(const std::string& path) {
    cf::Ref<CFURLRef> url(cf::url::CreateFileURL(path, true));
    return cf::Ref<CFBundleRef>(CFBundleCreate(nullptr, url.Get()));
}

TEST_F(CFBundleTest, ReadsInfoAndLoadsTheExecutable) {
    cf::Ref<CFBundleRef> bundle = Open(CF_TEST_BUNDLE_DIR);
    ASSERT_TRUE(bundle);
    EXPECT_TRUE(CFEqual(CFBundleGetIdentifier(bundle.Get()), CFSTR("org.example.cfbundletest")));
    EXPECT_TRUE(CFEqual(CFBundleGetValueForInfoDictionaryKey(bundle.Get(), kCFBundleVersionKey),
                        CFSTR("1.0")));
    EXPECT_FALSE(CFBundleIsExecutableLoaded(bundle.Get()));
    using Answer = int (*)();
    auto answer = reinterpret_cast<Answer>(
        CFBundleGetFunctionPointerForName(bundle.Get(), CFSTR("CFBundleTestAnswer")));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_TRUE(CFBundleIsExecutableLoaded(bundle.Get()));
    EXPECT_EQ(CFBundleGetFunctionPointerForName(bundle.Get(), CFSTR("NoSuchFunction")), nullptr);
    cf::Ref<CFURLRef> url(CFBundleCopyBundleURL(bundle.Get()));
    cf::Ref<CFStringRef> path(CFURLCopyFileSystemPath(url.Get(), kCFURLPOSIXPathStyle));
    std::string text;
    cf::AppendUTF8(path.Get(), text);
    EXPECT_EQ(text + "/", CF_TEST_BUNDLE_DIR);
}

TEST_F(CFBundleTest, FolderWithoutInfoGivesAnEmptyBundle) {
    std::string folder = (std::filesystem::temp_directory_path() / "cfbundle.XXXXXX").string();
    ASSERT_TRUE(mkdtemp(folder.data()));
    {
        cf::Ref<CFBundleRef> bundle = Open(folder);
        ASSERT_TRUE(bundle);
        EXPECT_EQ(CFBundleGetIdentifier(bundle.Get()), nullptr);
        EXPECT_EQ(CFDictionaryGetCount(CFBundleGetInfoDictionary(bundle.Get())), 0);
        EXPECT_FALSE(CFBundleLoadExecutable(bundle.Get()));
    }
    EXPECT_FALSE(Open(folder + "/missing"));
    rmdir(folder.c_str());
}

}  // namespace
