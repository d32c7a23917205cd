#include "java_calls.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "trace.h"

namespace {

// A local class reference, released on every path.
class LocalClass {
public:
    LocalClass(JNIEnv* env, jobject object) : env_(env), class_(env->GetObjectClass(object)) {}
    ~LocalClass() {
        if (class_ != nullptr) env_->DeleteLocalRef(class_);
    }
    LocalClass(const LocalClass&) = delete;
    LocalClass& operator=(const LocalClass&) = delete;

    jclass get() const { return class_; }

private:
    JNIEnv* env_;
    jclass class_;
};

template <typename... Arguments>
void Call(JNIEnv* env, jobject target, const char* name, const char* signature,
          Arguments... arguments) {
    if (env == nullptr || target == nullptr) return;
    const LocalClass type(env, target);
    if (type.get() == nullptr) {
        DescribeAndClear(env);
        return;
    }
    const jmethodID method = env->GetMethodID(type.get(), name, signature);
    if (method == nullptr) {
        // The NoSuchMethodError of the look-up.
        DescribeAndClear(env);
        if (trace::On()) trace::Line(std::string("callback ") + name + ": no such method");
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    env->CallVoidMethod(target, method, arguments...);
    const bool threw = DescribeAndClear(env);
    if (trace::On()) {
        // How long Java kept the bridge waiting.
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        char took[32];
        std::snprintf(took, sizeof took, "%.1f ms", ms);
        trace::Line(std::string("callback ") + name + " " + took + (threw ? ", threw" : ""));
    }
}

}  // namespace

bool DescribeAndClear(JNIEnv* env) {
    if (!env->ExceptionCheck()) return false;
    env->ExceptionDescribe();
    env->ExceptionClear();
    return true;
}

void CallVoidCallback(JNIEnv* env, jobject target, const char* name, const char* signature) {
    Call(env, target, name, signature);
}

void CallVoidCallback(JNIEnv* env, jobject target, const char* name, const char* signature,
                      jobject argument) {
    Call(env, target, name, signature, argument);
}
