// A scan engine for the JVM tests: the Java test scripts it through the static
// natives of cz.plamix.scan.test.StandIn, and its "scan" hands the DIBs the
// test queued to the image hook, each in a block of its own. One engine call
// can be held, so that a test may call natives from another thread while a
// Java thread is inside the bridge.
#include <jni.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "image_delivery.h"
#include "java_context.h"
#include "scan_engine.h"

extern "C" {
JNIEXPORT jboolean JNICALL Java_cz_plamix_scan_Scan_scan(JNIEnv*, jobject, jint);
JNIEXPORT jint JNICALL Java_cz_plamix_scan_Scan_setShowUI(JNIEnv*, jobject, jboolean);
JNIEXPORT jboolean JNICALL Java_cz_plamix_scan_Scan_setDoubleSided(JNIEnv*, jobject, jboolean);
}

namespace {

struct Page {
    std::vector<unsigned char> block;  // the DIB, then whatever else the block holds
};

struct Block {
    void operator()(unsigned char* at) const { std::free(at); }
};

// The engine call named by the test waits inside the engine until the test
// lets it go.
class Hold {
public:
    void Arm(const std::string& call) {
        const std::lock_guard<std::mutex> lock(mutex_);
        armed_ = call;
        holding_ = false;
        released_ = false;
    }

    void At(const std::string& call) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (armed_.empty() || armed_ != call) return;
        armed_.clear();
        holding_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return released_; });
        holding_ = false;
    }

    bool AwaitHolding() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return holding_; });
    }

    void Release() {
        const std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string armed_;
    bool holding_ = false;
    bool released_ = false;
};

Hold& TheHold() {
    static Hold hold;
    return hold;
}

// Read and cleared from any thread, as the real scanning flag is.
std::atomic<bool> scanningFlag{false};
std::atomic<bool> stopAsked{false};

class StandInEngine : public ScanEngine {
public:
    std::string sources = std::string(1, '\0');
    std::vector<Page> pages;
    std::string log;
    std::string openedName;
    bool answer = true;
    int stopAnswer = 1;
    long long lastDeliveryNanos = 0;

    // Natives that reach the engine while another thread is inside it would
    // write here at the same time.
    void Log(const std::string& entry) {
        {
            static std::mutex mutex;
            const std::lock_guard<std::mutex> lock(mutex);
            log += entry + ";";
        }
        TheHold().At(entry.substr(0, entry.find('(')));
    }

    std::string ListSourceNames() override {
        Log("ListSourceNames");
        return sources;
    }
    bool OpenSourceByName(const char* name) override {
        openedName = name;
        Log("OpenSourceByName");
        std::size_t at = 0;
        while (at < sources.size() && sources[at] != '\0') {
            if (openedName == sources.c_str() + at) return true;
            at += std::strlen(sources.c_str() + at) + 1;
        }
        return false;
    }
    bool PickDefaultSource() override {
        Log("PickDefaultSource");
        return answer;
    }
    bool ApplyPixelType(int type) override {
        Log("ApplyPixelType(" + std::to_string(type) + ")");
        return answer;
    }
    bool ApplyResolution(int x, int y) override {
        Log("ApplyResolution(" + std::to_string(x) + "," + std::to_string(y) + ")");
        return answer;
    }
    bool ApplyDuplex(bool on) override {
        Log(std::string("ApplyDuplex(") + (on ? "true" : "false") + ")");
        return answer;
    }
    int SetShowUI(bool show) override {
        Log(std::string("SetShowUI(") + (show ? "true" : "false") + ")");
        return 1;
    }
    // The real engine's shape: the scan counts as running and forgets old
    // stops when it is admitted, and a stop that comes while RunScan is
    // still starting ends it before its first page.
    void BeginScan() override {
        stopAsked = false;
        scanningFlag = true;
    }
    bool RunScan(int count) override {
        Log("RunScan(" + std::to_string(count) + ")");
        std::vector<Page> queued;
        queued.swap(pages);
        // As in the real engine, a stop drops the pages not yet transferred.
        for (Page& page : queued) {
            if (stopAsked) break;
            // A block of exactly its size, as GlobalSize reports it.
            const std::size_t size = page.block.size();
            const std::unique_ptr<unsigned char, Block> block(
                static_cast<unsigned char*>(std::malloc(size)));
            std::memcpy(block.get(), page.block.data(), size);
            std::vector<unsigned char>().swap(page.block);
            const auto start = std::chrono::steady_clock::now();
            DeliverImage(block.get(), size);
            lastDeliveryNanos = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                    std::chrono::steady_clock::now() - start)
                                    .count();
        }
        scanningFlag = false;
        return true;
    }
    int StopScan() override { return Stop("StopScan"); }
    int RequestStop() override { return Stop("RequestStop"); }
    bool IsScanning() const override { return scanningFlag; }

private:
    // Either way of stopping, as the log names it: the pages not yet
    // delivered are dropped.
    int Stop(const char* call) {
        Log(call);
        scanningFlag = false;
        stopAsked = true;
        return stopAnswer;
    }
};

StandInEngine& Engine() {
    static StandInEngine engine;
    return engine;
}

std::vector<unsigned char> Bytes(JNIEnv* env, jbyteArray array) {
    std::vector<unsigned char> bytes(static_cast<std::size_t>(env->GetArrayLength(array)));
    env->GetByteArrayRegion(array, 0, static_cast<jsize>(bytes.size()),
                            reinterpret_cast<jbyte*>(bytes.data()));
    return bytes;
}

}  // namespace

ScanEngine& TheScanEngine() { return Engine(); }

extern "C" {

JNIEXPORT void JNICALL Java_cz_plamix_scan_test_StandIn_reset(JNIEnv*, jclass) {
    Engine() = StandInEngine();
    scanningFlag = false;
    stopAsked = false;
}

// The next engine call of that name (as the log spells it, without its
// arguments) waits inside the engine until release.
JNIEXPORT void JNICALL Java_cz_plamix_scan_test_StandIn_hold(JNIEnv* env, jclass, jstring call) {
    const char* chars = env->GetStringUTFChars(call, nullptr);
    if (chars == nullptr) return;
    TheHold().Arm(chars);
    env->ReleaseStringUTFChars(call, chars);
}

// Whether the held call has arrived and waits, within ten seconds.
JNIEXPORT jboolean JNICALL Java_cz_plamix_scan_test_StandIn_awaitHeld(JNIEnv*, jclass) {
    return TheHold().AwaitHolding() ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT void JNICALL Java_cz_plamix_scan_test_StandIn_release(JNIEnv*, jclass) {
    TheHold().Release();
}

JNIEXPORT void JNICALL Java_cz_plamix_scan_test_StandIn_addSource(JNIEnv* env, jclass,
                                                                  jbyteArray ansiName) {
    std::string& list = Engine().sources;
    const auto name = Bytes(env, ansiName);
    list.insert(list.size() - 1, reinterpret_cast<const char*>(name.data()), name.size());
    list.insert(list.size() - 1, 1, '\0');
}

JNIEXPORT void JNICALL Java_cz_plamix_scan_test_StandIn_setAnswers(JNIEnv*, jclass, jboolean answer,
                                                                   jint stop) {
    Engine().answer = answer == JNI_TRUE;
    Engine().stopAnswer = stop;
}

JNIEXPORT void JNICALL Java_cz_plamix_scan_test_StandIn_queuePage(JNIEnv* env, jclass,
                                                                  jbyteArray block) {
    Engine().pages.push_back(Page{Bytes(env, block)});
}

// A page made here rather than in Java, for pages larger than the Java heap.
JNIEXPORT void JNICALL Java_cz_plamix_scan_test_StandIn_queueLargePage(JNIEnv*, jclass, jint width,
                                                                       jint height) {
    const std::size_t stride = (std::size_t(width) * 3 + 3) / 4 * 4;
    std::vector<unsigned char> block(40 + stride * std::size_t(height));
    const std::uint32_t header[] = {40, std::uint32_t(width), std::uint32_t(height)};
    std::memcpy(block.data(), header, sizeof header);
    const std::uint16_t planesAndBits[] = {1, 24};
    std::memcpy(block.data() + 12, planesAndBits, sizeof planesAndBits);
    for (std::size_t at = 40; at < block.size(); ++at)
        block[at] = static_cast<unsigned char>(at * 7);
    Engine().pages.push_back(Page{std::move(block)});
}

JNIEXPORT jstring JNICALL Java_cz_plamix_scan_test_StandIn_takeLog(JNIEnv* env, jclass) {
    const jstring log = env->NewStringUTF(Engine().log.c_str());
    Engine().log.clear();
    return log;
}

JNIEXPORT jbyteArray JNICALL Java_cz_plamix_scan_test_StandIn_openedName(JNIEnv* env, jclass) {
    const std::string& name = Engine().openedName;
    const jbyteArray bytes = env->NewByteArray(static_cast<jsize>(name.size()));
    if (bytes == nullptr) return nullptr;
    env->SetByteArrayRegion(bytes, 0, static_cast<jsize>(name.size()),
                            reinterpret_cast<const jbyte*>(name.data()));
    return bytes;
}

JNIEXPORT jlong JNICALL Java_cz_plamix_scan_test_StandIn_lastDeliveryNanos(JNIEnv*, jclass) {
    return Engine().lastDeliveryNanos;
}

// The baseline of the benchmark: one plain copy of as many bytes, into
// memory that is already mapped.
JNIEXPORT jlong JNICALL Java_cz_plamix_scan_test_StandIn_memcpyNanos(JNIEnv*, jclass, jint bytes) {
    std::vector<unsigned char> from(static_cast<std::size_t>(bytes), 1);
    std::vector<unsigned char> to(static_cast<std::size_t>(bytes), 2);
    const auto start = std::chrono::steady_clock::now();
    std::memcpy(to.data(), from.data(), from.size());
    const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();
    volatile unsigned char sink = to[to.size() / 2];
    (void)sink;
    return nanos;
}

// The part of a delivery that is the JVM's own: a new array, which it zeroes.
JNIEXPORT jlong JNICALL Java_cz_plamix_scan_test_StandIn_newArrayNanos(JNIEnv* env, jclass,
                                                                       jint bytes) {
    const auto start = std::chrono::steady_clock::now();
    const jbyteArray array = env->NewByteArray(bytes);
    const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();
    if (array == nullptr) return -1;
    env->DeleteLocalRef(array);
    return nanos;
}

// The natives with what the Java language cannot pass: another object in
// place of the Scan, a boolean byte other than 0 and 1.
JNIEXPORT jboolean JNICALL Java_cz_plamix_scan_test_StandIn_scanWith(JNIEnv* env, jclass,
                                                                     jobject target, jint count) {
    return Java_cz_plamix_scan_Scan_scan(env, target, count);
}

JNIEXPORT jint JNICALL Java_cz_plamix_scan_test_StandIn_setShowUIRaw(JNIEnv* env, jclass,
                                                                     jobject scan, jint raw) {
    return Java_cz_plamix_scan_Scan_setShowUI(env, scan, static_cast<jboolean>(raw));
}

JNIEXPORT jboolean JNICALL Java_cz_plamix_scan_test_StandIn_setDoubleSidedRaw(JNIEnv* env, jclass,
                                                                              jobject scan,
                                                                              jint raw) {
    return Java_cz_plamix_scan_Scan_setDoubleSided(env, scan, static_cast<jboolean>(raw));
}

// One page straight to the image hook, with target as the scanning object.
JNIEXPORT void JNICALL Java_cz_plamix_scan_test_StandIn_deliverTo(JNIEnv* env, jclass,
                                                                  jobject target, jbyteArray dib) {
    auto block = Bytes(env, dib);
    CurrentJavaContext() = JavaContext{env, target};
    DeliverImage(block.data(), block.size());
}

}  // extern "C"
