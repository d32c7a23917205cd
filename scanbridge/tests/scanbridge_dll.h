#pragma once

// clang-format off
#include <windows.h>
// clang-format on

#include <jni.h>

#include <string>

// scanbridge.dll as a JVM sees it: loaded by LoadLibrary, its natives found
// by their exact exported names.
class ScanbridgeDll {
public:
    explicit ScanbridgeDll(const std::string& path);
    ~ScanbridgeDll();
    ScanbridgeDll(const ScanbridgeDll&) = delete;
    ScanbridgeDll& operator=(const ScanbridgeDll&) = delete;

    bool Loaded() const { return module_ != nullptr; }
    // The native of cz.plamix.scan.Scan of that name, or null.
    FARPROC Native(const char* method) const;

    jboolean isTwainAvailble(JNIEnv* env, jobject self) const;
    jobjectArray getAvailableSources(JNIEnv* env, jobject self) const;
    jboolean scan(JNIEnv* env, jobject self, jint count) const;
    jint setShowUI(JNIEnv* env, jobject self, jboolean show) const;
    jboolean selectSource(JNIEnv* env, jobject self, jstring name) const;
    jboolean selectDefaultSource(JNIEnv* env, jobject self, jint ignored) const;
    void initInstance(JNIEnv* env, jobject self) const;
    void releaseInstance(JNIEnv* env, jobject self) const;
    jboolean isScanning(JNIEnv* env, jobject self) const;
    jint stopScanning(JNIEnv* env, jobject self) const;
    jboolean setPixelType(JNIEnv* env, jobject self, jint type) const;
    jboolean setDPI(JNIEnv* env, jobject self, jint x, jint y) const;
    jboolean setDoubleSided(JNIEnv* env, jobject self, jboolean on) const;

private:
    template <typename Function>
    Function As(const char* method) const {
        // GetProcAddress answers a generic function pointer; the real type is
        // the native's own.
        return reinterpret_cast<Function>(reinterpret_cast<void*>(Native(method)));
    }

    HMODULE module_;
};
