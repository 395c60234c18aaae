// File references: which descriptors name a file, and the URL each one gives.
#include "desc/FileReference.h"

#include "desc/CAEDesc.h"
#include "desc/DescTestSupport.h"
#include "support/PlatformTest.h"

namespace {

using FileReferenceTest = PlatformTest;

// An object specifier from its four keys; a key of type 0 is left out.
CAEDesc MakeSpecifier(DescType want, DescType form, const AEDesc& seld, const AEDesc* from) {
    CAEDesc record;
    EXPECT_EQ(AECreateList(nullptr, 0, true, &record.mDesc), noErr);
    OSErr err = noErr;
    if (want != 0) err |= AEPutParamPtr(&record.mDesc, keyAEDesiredClass, typeType, &want, 4);
    if (form != 0) err |= AEPutParamPtr(&record.mDesc, keyAEKeyForm, typeEnumerated, &form, 4);
    err |= AEPutParamDesc(&record.mDesc, keyAEKeyData, &seld);
    if (from != nullptr) err |= AEPutParamDesc(&record.mDesc, keyAEContainer, from);
    EXPECT_EQ(err, noErr);
    CAEDesc specifier;
    specifier.CoerceTo(&record.mDesc, typeObjectSpecifier);
    return specifier;
}

std::string URLString(CFURLRef url) {
    return UTF8Of(CFURLGetString(url));
}

TEST_F(FileReferenceTest, TypesDecideExceptForObjectSpecifiers) {
    struct Case {
        DescType type;
        bool isFile;
    } cases[] = {
        {typeAlias, true},      {typeFSRef, true},        {typeFileURL, true}, {cFile, true},
        {kTypePOSIXFile, true}, {typeUnicodeText, false}, {typeChar, false},
    };
    for (const Case& c : cases) {
        CAEDesc desc = MakeDesc(c.type, "not looked at");
        EXPECT_EQ(IsFileReference(&desc.mDesc), c.isFile);
    }
    CAEDesc null;
    EXPECT_FALSE(IsFileReference(&null.mDesc));
}

TEST_F(FileReferenceTest, ObjectSpecifiersNameAFileByNameAtTheTopLevel) {
    const CAEDesc name = MakeUnicode(u"/tmp/a.plist");
    const CAEDesc number = MakeScalar<int32_t>(typeSInt32, 1);
    const CAEDesc none;
    const CAEDesc folder = MakeSpecifier(FourCC("cfol"), formName, name.mDesc, &none.mDesc);
    struct Case {
        const char* name;
        DescType want;
        DescType form;
        const AEDesc& seld;
        const AEDesc& from;
        bool isFile;
    } cases[] = {
        {"file by name", cFile, formName, name.mDesc, none.mDesc, true},
        {"alias by name", typeAlias, formName, name.mDesc, none.mDesc, true},
        {"inside a folder", cFile, formName, name.mDesc, folder.mDesc, false},
        {"by index", cFile, formAbsolutePosition, name.mDesc, none.mDesc, false},
        {"non-text key data", cFile, formName, number.mDesc, none.mDesc, false},
        {"a document", cDocument, formName, name.mDesc, none.mDesc, false},
    };
    for (const Case& c : cases) {
        CAEDesc specifier = MakeSpecifier(c.want, c.form, c.seld, &c.from);
        EXPECT_EQ(IsFileReference(&specifier.mDesc), c.isFile) << c.name;
    }

    CAEDesc noContainer = MakeSpecifier(cFile, formName, name.mDesc, nullptr);
    EXPECT_EQ(StatusOf([&] { IsFileReference(&noContainer.mDesc); }), errAEDescNotFound);
    CAEDesc noForm = MakeSpecifier(cFile, 0, name.mDesc, &none.mDesc);
    PTReset();
    EXPECT_EQ(StatusOf([&] { IsFileReference(&noForm.mDesc); }), errAEDescNotFound);
    EXPECT_EQ(PTCallCount("AEGetParamDesc"), 1u);  // 'form' comes first; nothing after it
}

TEST_F(FileReferenceTest, ToCFURLPaths) {
    struct Case {
        const char* name;
        CAEDesc desc;
        const char* url;
    } cases[] = {
        {"file URL", MakeDesc(typeFileURL, "file:///tmp/a.plist"), "file:///tmp/a.plist"},
        {"URL text", MakeUnicode(u"http://x.org/p?q"), "http://x.org/p?q"},
        {"text with a space", MakeUnicode(u"file:///tmp/a b"), "file:///tmp/a%20b"},
        {"POSIX path stays relative", MakeUnicode(u"tmp/a.plist"), "tmp/a.plist"},
        {"alias", MakeDesc(typeAlias, "/tmp/a.plist"), "file:///tmp/a.plist"},
        {"POSIX file", MakeDesc(kTypePOSIXFile, "/tmp/a b"), "file:///tmp/a%20b"},
    };
    for (const Case& c : cases) {
        CFRef<CFURLRef> url(ToCFURL(&c.desc.mDesc));
        ASSERT_TRUE(url) << c.name;
        EXPECT_EQ(URLString(url.Get()), c.url) << c.name;
    }
}

TEST_F(FileReferenceTest, ToCFURLFailures) {
    CAEDesc null;
    EXPECT_EQ(StatusOf([&] { CFRef<CFURLRef>(ToCFURL(&null.mDesc)); }), errAECoercionFail);
    EXPECT_EQ(PTCallCount("AECoerceDesc"), 0u);

    // 'utf8' reaches the URL code only as a 'furl' coerced by the manager.
    CoercionScript script{{-4711}, {}};
    ScopedCoercion refuse(typeUTF8Text, {typeFileURL}, script);
    CAEDesc utf8 = MakeDesc(typeUTF8Text, "file:///tmp/a");
    EXPECT_EQ(StatusOf([&] { CFRef<CFURLRef>(ToCFURL(&utf8.mDesc)); }), -4711);
    EXPECT_EQ(script.asked, std::vector<DescType>{typeFileURL});
}

TEST_F(FileReferenceTest, CreateURLFromDescStatuses) {
    CAEDesc furl = MakeDesc(typeFileURL, "file:///tmp/a");
    CAEDesc text = MakeUnicode(u"file:///tmp/a");
    struct Case {
        const char* name;
        const AEDesc& source;
        const char* failing;  // platform function made to fail
        long times;
        int32_t injected;
        int32_t status;
    } cases[] = {
        {"furl, no block", furl.mDesc, "NewPtr", 1, memFullErr, memFullErr},
        {"furl, data unreadable", furl.mDesc, "AEGetDescData", 1, errAECorruptData,
         errAECorruptData},
        {"furl, no URL", furl.mDesc, "CFURLCreateWithBytes", 1, 0, coreFoundationUnknownErr},
        {"text, refused", text.mDesc, "AECoerceDesc", 1, -4711, -4711},
        {"text, no block", text.mDesc, "NewPtr", 1, memFullErr, coreFoundationUnknownErr},
        {"text, no string", text.mDesc, "CFStringCreateWithCharacters", 1, 0,
         coreFoundationUnknownErr},
        {"text, no URL", text.mDesc, "CFURLCreateWithString", 2, 0, coreFoundationUnknownErr},
    };
    for (const Case& c : cases) {
        PTFailCalls(c.failing, 0, c.times, c.injected);
        CFURLRef url = reinterpret_cast<CFURLRef>(1);  // must be cleared
        EXPECT_EQ(CreateURLFromDesc(kCFAllocatorDefault, &c.source, &url), c.status) << c.name;
        EXPECT_EQ(url, nullptr) << c.name;
        PTClearFaults();
    }
    CAEDesc number = MakeScalar<int32_t>(typeSInt32, 1);
    CFURLRef url = nullptr;
    EXPECT_EQ(CreateURLFromDesc(kCFAllocatorDefault, &number.mDesc, &url), errAECoercionFail);
    EXPECT_EQ(url, nullptr);
}

}  // namespace
