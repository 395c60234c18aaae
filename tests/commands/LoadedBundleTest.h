// A fixture for tests that reach the commands through the built bundle: one host loads
// PlistBridge.osax for the whole suite, and every test checks it is still loaded.
#ifndef TESTS_COMMANDS_LOADEDBUNDLETEST_H
#define TESTS_COMMANDS_LOADEDBUNDLETEST_H

#include <gtest/gtest.h>

#include <memory>

#include "host/AdditionHost.h"
#include "support/PlatformTest.h"

class LoadedBundleTest : public PlatformTest {
protected:
    static void SetUpTestSuite() {
        sHost = std::make_unique<CAdditionHost>();
        ASSERT_EQ(sHost->Load(PLISTBRIDGE_BINARY_DIR "/bin/PlistBridge.osax"), noErr);
    }
    static void TearDownTestSuite() { sHost.reset(); }
    void SetUp() override {
        PlatformTest::SetUp();
        ASSERT_TRUE(sHost && sHost->IsLoaded());
    }

    static inline std::unique_ptr<CAdditionHost> sHost;
};

#endif
