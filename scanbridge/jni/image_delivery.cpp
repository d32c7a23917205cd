#include "image_delivery.h"

#include "java_calls.h"
#include "java_context.h"

namespace {

class LocalArray {
public:
    LocalArray(JNIEnv* env, jsize length) : env_(env), array_(env->NewByteArray(length)) {}
    ~LocalArray() {
        if (array_ != nullptr) env_->DeleteLocalRef(array_);
    }
    LocalArray(const LocalArray&) = delete;
    LocalArray& operator=(const LocalArray&) = delete;

    jbyteArray get() const { return array_; }

private:
    JNIEnv* env_;
    jbyteArray array_;
};

}  // namespace

bool FillBmpArray(void* dib, const BmpLayout& layout, JNIEnv* env, jbyteArray array) {
    StoreSizeImage(dib, layout);
    const auto header = BmpFileHeader(layout);
    env->SetByteArrayRegion(array, 0, static_cast<jsize>(header.size()),
                            reinterpret_cast<const jbyte*>(header.data()));
    if (DescribeAndClear(env)) return false;
    env->SetByteArrayRegion(array, static_cast<jsize>(header.size()),
                            static_cast<jsize>(layout.DibBytes()), static_cast<const jbyte*>(dib));
    return !DescribeAndClear(env);
}

namespace {

// Hands a Java array of length bytes, filled by fill, to fireNewImage of the
// current scan. An OutOfMemoryError when the page does not fit the Java heap
// loses the page, as does a refused fill.
template <typename Fill>
void HandToJava(jsize length, Fill fill) {
    const JavaContext& context = CurrentJavaContext();
    JNIEnv* env = context.env;
    if (env == nullptr) return;
    const LocalArray bmp(env, length);
    if (DescribeAndClear(env) || bmp.get() == nullptr) return;
    if (!fill(env, bmp.get())) return;
    CallVoidCallback(env, context.scan, "fireNewImage", "([B)V", bmp.get());
}

}  // namespace

void DeliverImage(void* dib, std::size_t size) {
    if (CurrentJavaContext().env == nullptr) return;
    const auto layout = MeasureDib(dib, size);
    if (!layout) return;
    HandToJava(static_cast<jsize>(layout->fileSize), [&](JNIEnv* env, jbyteArray array) {
        return FillBmpArray(dib, *layout, env, array);
    });
}

void DeliverBmpFile(const void* bmp, std::size_t size) {
    if (size > 0x7FFFFFFF) return;
    HandToJava(static_cast<jsize>(size), [&](JNIEnv* env, jbyteArray array) {
        env->SetByteArrayRegion(array, 0, static_cast<jsize>(size), static_cast<const jbyte*>(bmp));
        return !DescribeAndClear(env);
    });
}
