// scanbridge.dll on a machine without a TWAIN manager: the load is accepted
// and every native answers, without raising anything.

#include <gtest/gtest.h>

#include "fake_jvm.h"
#include "scanbridge_dll.h"

TEST(ScanWithoutManager, EveryNativeAnswersAndAScanStillFramesItsCallbacks) {
    FakeJvm jvm;
    ScanbridgeDll dll("scanbridge.dll");
    ASSERT_TRUE(dll.Loaded());
    JNIEnv* env = jvm.Env();
    jobject self = jvm.Scan();

    EXPECT_EQ(dll.isTwainAvailble(env, self), JNI_TRUE);
    jobjectArray sources = dll.getAvailableSources(env, self);
    EXPECT_TRUE(jvm.Strings(sources).empty());
    jvm.DeleteLocal(sources);
    EXPECT_EQ(dll.selectSource(env, self, jvm.NewString(u"Alpha")), JNI_FALSE);
    EXPECT_EQ(dll.selectDefaultSource(env, self, 0), JNI_FALSE);
    EXPECT_EQ(dll.setPixelType(env, self, 0), JNI_FALSE);
    EXPECT_EQ(dll.setDPI(env, self, 300, 300), JNI_FALSE);
    EXPECT_EQ(dll.setDoubleSided(env, self, JNI_TRUE), JNI_FALSE);
    EXPECT_EQ(dll.setShowUI(env, self, JNI_FALSE), 1);
    dll.initInstance(env, self);
    dll.releaseInstance(env, self);

    EXPECT_EQ(dll.scan(env, self, 1), JNI_TRUE);
    EXPECT_EQ(jvm.calls, (std::vector<std::string>{"fireStartScanning", "fireStopScanning"}));
    EXPECT_EQ(dll.isScanning(env, self), JNI_FALSE);
    EXPECT_EQ(dll.stopScanning(env, self), 0);
    EXPECT_EQ(jvm.violations, std::vector<std::string>{});
    EXPECT_EQ(jvm.LiveLocalReferences(), 0);
}
