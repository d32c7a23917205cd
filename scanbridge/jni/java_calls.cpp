#include "java_calls.h"

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
        return;
    }
    env->CallVoidMethod(target, method, arguments...);
    DescribeAndClear(env);
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
