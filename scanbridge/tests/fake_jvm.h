#pragma once

#include <jni.h>

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

// A small Java environment of the tests' own for driving the natives of
// scanbridge.dll under Wine, where no JVM for Windows exists. It knows the
// few JNI functions the natives may use; any other one ends the test
// program. Like -Xcheck:jni it records every call made with an exception
// pending, and every call made after a Java method returned without the
// native checking for an exception first.
class FakeJvm {
public:
    FakeJvm();
    ~FakeJvm();
    FakeJvm(const FakeJvm&) = delete;
    FakeJvm& operator=(const FakeJvm&) = delete;

    JNIEnv* Env() { return &env_; }
    // A cz.plamix.scan.Scan object with the three callbacks.
    jobject Scan() { return scan_; }
    jstring NewString(const std::u16string& text);
    // The strings of a String[] that a native answered.
    std::vector<std::u16string> Strings(jobjectArray array) const;

    // Scripting.
    std::set<std::string> missingMethods;   // looked up in vain
    std::set<std::string> throwingMethods;  // throw when called
    int failingByteArrays = 0;              // the next N arrays exhaust the heap
    // Runs inside every callback, after it was recorded.
    std::function<void(const std::string& method)> onCallback;

    // Observations.
    std::vector<std::string> calls;  // callbacks in order, by name
    std::vector<std::vector<unsigned char>> pages;
    std::vector<std::string> described;  // exceptions described and cleared
    std::vector<std::string> violations;
    int LiveLocalReferences() const { return liveLocals_; }

    // Frees what the natives created and no longer hold a local reference
    // to, as a collector would once Java drops it too, so that a long run
    // measures the natives' memory and not the pages this double kept.
    // The strings of an answered String[] go too: read them first.
    void CollectGarbage();

    // Where the time of each page's delivery goes, for the benchmarks. Its
    // record opens when the natives ask for a byte array and closes when
    // fireNewImage is entered; insideJvm is the time spent in this double's
    // own functions in between (zeroing the new array, copying into it,
    // looking up the callback).
    struct PageTiming {
        std::chrono::steady_clock::time_point arrayAsked;
        std::chrono::steady_clock::time_point callbackEntered;
        std::chrono::nanoseconds insideJvm{};
    };
    std::vector<PageTiming> pageTimings;

    // For the function table.
    struct Object;
    static FakeJvm& Current();
    Object* Deref(jobject reference) const;
    jobject NewLocal(std::unique_ptr<Object> object);
    void DeleteLocal(jobject reference);
    void Throw(const std::string& exception);
    void Check(const char* function);
    void OnArrayAsked(std::chrono::steady_clock::time_point at);
    void OnCallbackEntered(std::chrono::steady_clock::time_point at);
    std::chrono::nanoseconds timeInside{};  // in the function table, all told
    std::string pending;
    bool mustCheck = false;

private:
    JNINativeInterface_ table_{};
    JNIEnv env_{};
    jobject scan_ = nullptr;
    std::vector<std::unique_ptr<Object>> objects_;
    int liveLocals_ = 0;
    // The page whose array was asked for and whose callback has not come.
    bool pageOpen_ = false;
    std::chrono::steady_clock::time_point arrayAsked_;
    std::chrono::nanoseconds insideWhenAsked_{};
};

struct FakeJvm::Object {
    enum class Kind { Scan, Class, String, ByteArray, ObjectArray } kind;
    std::string className;
    std::u16string text;
    std::vector<unsigned char> bytes;
    std::vector<jobject> elements;
    bool local = false;
    bool madeByNatives = false;
};
