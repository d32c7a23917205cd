#pragma once

#include <jni.h>

// The Java side of the scan in progress. The scan native sets it before the
// scan starts; the pages delivered during that scan go to this object. The
// environment pointer is only valid on the scanning thread, which is the only
// thread that delivers pages.
struct JavaContext {
    JNIEnv* env = nullptr;
    jobject scan = nullptr;
};

JavaContext& CurrentJavaContext();
