#include "fake_jvm.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {
FakeJvm* current = nullptr;
}  // namespace

namespace jni {

struct Method {
    const char* name;
    const char* signature;
};
const Method kScanMethods[] = {
    {"fireStartScanning", "()V"},
    {"fireStopScanning", "()V"},
    {"fireNewImage", "([B)V"},
};

using Object = FakeJvm::Object;
using Clock = std::chrono::steady_clock;

// Adds the time of one call into this double to its total, so that a
// benchmark can take the double's own cost out of a span it measured. A
// callback that calls natives which call back in here is counted once.
class Inside {
public:
    Inside() : outermost_(depth++ == 0), start_(Clock::now()) {}
    ~Inside() {
        --depth;
        if (outermost_) FakeJvm::Current().timeInside += Clock::now() - start_;
    }
    Inside(const Inside&) = delete;
    Inside& operator=(const Inside&) = delete;

private:
    static inline thread_local int depth = 0;
    bool outermost_;
    Clock::time_point start_;
};

template <std::size_t Slot>
void JNICALL Unexpected() {
    std::fprintf(stderr, "fake JVM: the natives called JNI function slot %u\n",
                 static_cast<unsigned>(Slot));
    std::abort();
}

template <std::size_t... Slots>
void FillWithTraps(void** slots, std::index_sequence<Slots...>) {
    ((slots[Slots] = reinterpret_cast<void*>(&Unexpected<Slots>)), ...);
}

Object* Deref(jobject reference) { return FakeJvm::Current().Deref(reference); }

jobject NewLocal(Object::Kind kind, std::string className = {}) {
    auto object = std::make_unique<Object>();
    object->kind = kind;
    object->className = std::move(className);
    return FakeJvm::Current().NewLocal(std::move(object));
}

jclass JNICALL FindClass(JNIEnv*, const char* name) {
    const Inside inside;
    FakeJvm::Current().Check("FindClass");
    return static_cast<jclass>(NewLocal(Object::Kind::Class, name));
}

jclass JNICALL GetObjectClass(JNIEnv*, jobject object) {
    const Inside inside;
    FakeJvm::Current().Check("GetObjectClass");
    return static_cast<jclass>(NewLocal(Object::Kind::Class, Deref(object)->className));
}

jmethodID JNICALL GetMethodID(JNIEnv*, jclass type, const char* name, const char* signature) {
    const Inside inside;
    FakeJvm& jvm = FakeJvm::Current();
    jvm.Check("GetMethodID");
    if (Deref(type)->className == "cz/plamix/scan/Scan" && !jvm.missingMethods.count(name)) {
        for (const Method& method : kScanMethods) {
            if (std::strcmp(method.name, name) == 0 &&
                std::strcmp(method.signature, signature) == 0) {
                return reinterpret_cast<jmethodID>(const_cast<Method*>(&method));
            }
        }
    }
    jvm.Throw(std::string("java.lang.NoSuchMethodError: ") + name);
    return nullptr;
}

void JNICALL CallVoidMethodV(JNIEnv*, jobject target, jmethodID id, va_list arguments) {
    const Clock::time_point entered = Clock::now();
    FakeJvm& jvm = FakeJvm::Current();
    const auto* method = reinterpret_cast<const Method*>(id);
    if (std::strcmp(method->name, "fireNewImage") == 0) jvm.OnCallbackEntered(entered);
    const Inside inside;
    jvm.Check("CallVoidMethodV");
    if (Deref(target)->kind != Object::Kind::Scan) jvm.violations.push_back("call on non-Scan");
    jvm.calls.push_back(method->name);
    if (std::strcmp(method->name, "fireNewImage") == 0) {
        const jobject array = va_arg(arguments, jobject);
        jvm.pages.push_back(Deref(array)->bytes);
    }
    if (jvm.onCallback) jvm.onCallback(method->name);
    if (jvm.throwingMethods.count(method->name)) {
        jvm.Throw(std::string("java.lang.IllegalStateException: from ") + method->name);
    }
    jvm.mustCheck = true;
}

jboolean JNICALL ExceptionCheck(JNIEnv*) {
    const Inside inside;
    FakeJvm& jvm = FakeJvm::Current();
    jvm.mustCheck = false;
    return jvm.pending.empty() ? JNI_FALSE : JNI_TRUE;
}

void JNICALL ExceptionDescribe(JNIEnv*) {
    const Inside inside;
    FakeJvm& jvm = FakeJvm::Current();
    jvm.described.push_back(jvm.pending);
}

void JNICALL ExceptionClear(JNIEnv*) {
    const Inside inside;
    FakeJvm& jvm = FakeJvm::Current();
    jvm.pending.clear();
    jvm.mustCheck = false;
}

void JNICALL DeleteLocalRef(JNIEnv*, jobject reference) {
    const Inside inside;
    FakeJvm::Current().DeleteLocal(reference);
}

jbyteArray JNICALL NewByteArray(JNIEnv*, jsize length) {
    FakeJvm& jvm = FakeJvm::Current();
    jvm.OnArrayAsked(Clock::now());
    const Inside inside;
    jvm.Check("NewByteArray");
    if (jvm.failingByteArrays > 0) {
        --jvm.failingByteArrays;
        jvm.Throw("java.lang.OutOfMemoryError: Java heap space");
        return nullptr;
    }
    const jobject array = NewLocal(Object::Kind::ByteArray, "[B");
    Deref(array)->bytes.resize(static_cast<std::size_t>(length));
    return static_cast<jbyteArray>(array);
}

void JNICALL SetByteArrayRegion(JNIEnv*, jbyteArray array, jsize start, jsize length,
                                const jbyte* bytes) {
    const Inside inside;
    FakeJvm& jvm = FakeJvm::Current();
    jvm.Check("SetByteArrayRegion");
    std::vector<unsigned char>& target = Deref(array)->bytes;
    if (start < 0 || length < 0 || static_cast<std::size_t>(start) + length > target.size()) {
        jvm.Throw("java.lang.ArrayIndexOutOfBoundsException");
        return;
    }
    std::memcpy(target.data() + start, bytes, static_cast<std::size_t>(length));
}

jobjectArray JNICALL NewObjectArray(JNIEnv*, jsize length, jclass type, jobject initial) {
    const Inside inside;
    FakeJvm::Current().Check("NewObjectArray");
    const jobject array = NewLocal(Object::Kind::ObjectArray, "[L" + Deref(type)->className);
    Deref(array)->elements.assign(static_cast<std::size_t>(length), initial);
    return static_cast<jobjectArray>(array);
}

void JNICALL SetObjectArrayElement(JNIEnv*, jobjectArray array, jsize index, jobject value) {
    const Inside inside;
    FakeJvm& jvm = FakeJvm::Current();
    jvm.Check("SetObjectArrayElement");
    std::vector<jobject>& elements = Deref(array)->elements;
    if (index < 0 || static_cast<std::size_t>(index) >= elements.size()) {
        jvm.Throw("java.lang.ArrayIndexOutOfBoundsException");
        return;
    }
    // The array keeps the object alive; a test reads it after the native
    // released its local reference.
    elements[static_cast<std::size_t>(index)] = value;
}

jstring JNICALL NewString(JNIEnv*, const jchar* chars, jsize length) {
    const Inside inside;
    FakeJvm::Current().Check("NewString");
    const jobject text = NewLocal(Object::Kind::String, "java/lang/String");
    Deref(text)->text.assign(reinterpret_cast<const char16_t*>(chars),
                             static_cast<std::size_t>(length));
    return static_cast<jstring>(text);
}

jsize JNICALL GetStringLength(JNIEnv*, jstring text) {
    const Inside inside;
    FakeJvm::Current().Check("GetStringLength");
    return static_cast<jsize>(Deref(text)->text.size());
}

void JNICALL GetStringRegion(JNIEnv*, jstring text, jsize start, jsize length, jchar* chars) {
    const Inside inside;
    FakeJvm& jvm = FakeJvm::Current();
    jvm.Check("GetStringRegion");
    const std::u16string& source = Deref(text)->text;
    if (start < 0 || length < 0 || static_cast<std::size_t>(start) + length > source.size()) {
        jvm.Throw("java.lang.StringIndexOutOfBoundsException");
        return;
    }
    std::memcpy(chars, source.data() + start, static_cast<std::size_t>(length) * sizeof(jchar));
}

}  // namespace jni

FakeJvm::FakeJvm() {
    using namespace jni;
    current = this;
    constexpr std::size_t kSlots = sizeof(table_) / sizeof(void*);
    FillWithTraps(reinterpret_cast<void**>(&table_), std::make_index_sequence<kSlots>{});
    table_.FindClass = FindClass;
    table_.GetObjectClass = GetObjectClass;
    table_.GetMethodID = GetMethodID;
    table_.CallVoidMethodV = CallVoidMethodV;
    table_.ExceptionCheck = ExceptionCheck;
    table_.ExceptionDescribe = ExceptionDescribe;
    table_.ExceptionClear = ExceptionClear;
    table_.DeleteLocalRef = DeleteLocalRef;
    table_.NewByteArray = NewByteArray;
    table_.SetByteArrayRegion = SetByteArrayRegion;
    table_.NewObjectArray = NewObjectArray;
    table_.SetObjectArrayElement = SetObjectArrayElement;
    table_.NewString = jni::NewString;
    table_.GetStringLength = GetStringLength;
    table_.GetStringRegion = GetStringRegion;
    env_.functions = &table_;

    auto scan = std::make_unique<Object>();
    scan->kind = Object::Kind::Scan;
    scan->className = "cz/plamix/scan/Scan";
    scan_ = reinterpret_cast<jobject>(scan.get());
    objects_.push_back(std::move(scan));
}

FakeJvm::~FakeJvm() { current = nullptr; }

FakeJvm& FakeJvm::Current() { return *current; }

FakeJvm::Object* FakeJvm::Deref(jobject reference) const {
    auto* object = reinterpret_cast<Object*>(reference);
    if (object == nullptr) {
        std::fprintf(stderr, "fake JVM: a native used a null reference\n");
        std::abort();
    }
    return object;
}

jobject FakeJvm::NewLocal(std::unique_ptr<Object> object) {
    object->local = true;
    object->madeByNatives = true;
    ++liveLocals_;
    const jobject reference = reinterpret_cast<jobject>(object.get());
    objects_.push_back(std::move(object));
    return reference;
}

void FakeJvm::DeleteLocal(jobject reference) {
    if (reference == nullptr) return;
    Object* object = Deref(reference);
    if (!object->local) {
        violations.push_back("DeleteLocalRef of a reference that is not local");
        return;
    }
    object->local = false;
    --liveLocals_;
}

void FakeJvm::CollectGarbage() {
    objects_.erase(std::remove_if(objects_.begin(), objects_.end(),
                                  [](const std::unique_ptr<Object>& object) {
                                      return object->madeByNatives && !object->local;
                                  }),
                   objects_.end());
    objects_.shrink_to_fit();
}

void FakeJvm::OnArrayAsked(std::chrono::steady_clock::time_point at) {
    pageOpen_ = true;
    arrayAsked_ = at;
    insideWhenAsked_ = timeInside;
}

void FakeJvm::OnCallbackEntered(std::chrono::steady_clock::time_point at) {
    if (!pageOpen_) return;
    pageOpen_ = false;
    pageTimings.push_back(PageTiming{arrayAsked_, at, timeInside - insideWhenAsked_});
}

void FakeJvm::Throw(const std::string& exception) { pending = exception; }

void FakeJvm::Check(const char* function) {
    if (!pending.empty()) {
        violations.push_back(std::string("JNI call made with exception pending: ") + function);
    }
    if (mustCheck) {
        violations.push_back(std::string("JNI call made without checking exceptions: ") + function);
    }
}

jstring FakeJvm::NewString(const std::u16string& text) {
    auto object = std::make_unique<Object>();
    object->kind = Object::Kind::String;
    object->className = "java/lang/String";
    object->text = text;
    const jobject reference = reinterpret_cast<jobject>(object.get());
    objects_.push_back(std::move(object));
    return static_cast<jstring>(reference);
}

std::vector<std::u16string> FakeJvm::Strings(jobjectArray array) const {
    std::vector<std::u16string> strings;
    for (jobject element : Deref(array)->elements) {
        auto* object = reinterpret_cast<Object*>(element);
        strings.push_back(object == nullptr ? u"<null>" : object->text);
    }
    return strings;
}
