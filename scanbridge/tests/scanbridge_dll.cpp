#include "scanbridge_dll.h"

#include <cstdio>
#include <cstdlib>

ScanbridgeDll::ScanbridgeDll(const std::string& path) : module_(LoadLibraryA(path.c_str())) {}

ScanbridgeDll::~ScanbridgeDll() {
    if (module_ != nullptr) FreeLibrary(module_);
}

FARPROC ScanbridgeDll::Native(const char* method) const {
    const std::string name = std::string("Java_cz_plamix_scan_Scan_") + method;
    const FARPROC native = GetProcAddress(module_, name.c_str());
    if (native == nullptr) {
        std::fprintf(stderr, "scanbridge.dll does not export %s\n", name.c_str());
        std::abort();
    }
    return native;
}

jboolean ScanbridgeDll::isTwainAvailble(JNIEnv* env, jobject self) const {
    return As<jboolean(JNICALL*)(JNIEnv*, jobject)>("isTwainAvailble")(env, self);
}

jobjectArray ScanbridgeDll::getAvailableSources(JNIEnv* env, jobject self) const {
    return As<jobjectArray(JNICALL*)(JNIEnv*, jobject)>("getAvailableSources")(env, self);
}

jboolean ScanbridgeDll::scan(JNIEnv* env, jobject self, jint count) const {
    return As<jboolean(JNICALL*)(JNIEnv*, jobject, jint)>("scan")(env, self, count);
}

jint ScanbridgeDll::setShowUI(JNIEnv* env, jobject self, jboolean show) const {
    return As<jint(JNICALL*)(JNIEnv*, jobject, jboolean)>("setShowUI")(env, self, show);
}

jboolean ScanbridgeDll::selectSource(JNIEnv* env, jobject self, jstring name) const {
    return As<jboolean(JNICALL*)(JNIEnv*, jobject, jstring)>("selectSource")(env, self, name);
}

jboolean ScanbridgeDll::selectDefaultSource(JNIEnv* env, jobject self, jint ignored) const {
    return As<jboolean(JNICALL*)(JNIEnv*, jobject, jint)>("selectDefaultSource")(env, self,
                                                                                 ignored);
}

void ScanbridgeDll::initInstance(JNIEnv* env, jobject self) const {
    As<void(JNICALL*)(JNIEnv*, jobject)>("initInstance")(env, self);
}

void ScanbridgeDll::releaseInstance(JNIEnv* env, jobject self) const {
    As<void(JNICALL*)(JNIEnv*, jobject)>("releaseInstance")(env, self);
}

jboolean ScanbridgeDll::isScanning(JNIEnv* env, jobject self) const {
    return As<jboolean(JNICALL*)(JNIEnv*, jobject)>("isScanning")(env, self);
}

jint ScanbridgeDll::stopScanning(JNIEnv* env, jobject self) const {
    return As<jint(JNICALL*)(JNIEnv*, jobject)>("stopScanning")(env, self);
}

jboolean ScanbridgeDll::setPixelType(JNIEnv* env, jobject self, jint type) const {
    return As<jboolean(JNICALL*)(JNIEnv*, jobject, jint)>("setPixelType")(env, self, type);
}

jboolean ScanbridgeDll::setDPI(JNIEnv* env, jobject self, jint x, jint y) const {
    return As<jboolean(JNICALL*)(JNIEnv*, jobject, jint, jint)>("setDPI")(env, self, x, y);
}

jboolean ScanbridgeDll::setDoubleSided(JNIEnv* env, jobject self, jboolean on) const {
    return As<jboolean(JNICALL*)(JNIEnv*, jobject, jboolean)>("setDoubleSided")(env, self, on);
}
