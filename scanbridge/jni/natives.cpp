// The native methods of cz.plamix.scan.Scan.

#include <jni.h>

#include <optional>
#include <string>
#include <vector>

#include "ansi_text.h"
#include "bridge_gate.h"
#include "java_calls.h"
#include "java_context.h"
#include "scan_engine.h"

namespace {

jboolean Answer(bool value) { return value ? JNI_TRUE : JNI_FALSE; }

// Java may hand over any byte as a boolean; only JNI_TRUE means yes.
bool IsTrue(jboolean value) { return value == JNI_TRUE; }

// TWAIN carries the transfer count as a signed 16-bit value in which -1 asks
// for every page; a wider count would reach the source cut to 16 bits, so
// 65535 would turn into "all pages".
bool IsPageCount(jint count) { return count == -1 || (count >= 1 && count <= 32767); }

// Resolutions and pixel types reach the source as unsigned 16-bit values;
// anything wider would arrive cut, as some other setting.
bool IsResolution(jint dpi) { return dpi >= 1 && dpi <= 65535; }
bool IsPixelType(jint type) { return type >= 0 && type <= 65535; }

jobjectArray NewStringArray(JNIEnv* env, jsize length) {
    const jclass stringClass = env->FindClass("java/lang/String");
    if (stringClass == nullptr) {
        DescribeAndClear(env);
        return nullptr;
    }
    const jobjectArray array = env->NewObjectArray(length, stringClass, nullptr);
    env->DeleteLocalRef(stringClass);
    if (DescribeAndClear(env)) return nullptr;
    return array;
}

std::vector<std::string> SplitNames(const std::string& list) {
    std::vector<std::string> names;
    for (std::size_t at = 0; at < list.size() && list[at] != '\0';) {
        const std::size_t end = list.find('\0', at);
        const std::size_t stop = end == std::string::npos ? list.size() : end;
        names.emplace_back(list, at, stop - at);
        at = stop + 1;
    }
    return names;
}

jstring NewJavaString(JNIEnv* env, const std::string& ansi) {
    const std::u16string text = AnsiToUtf16(ansi);
    const std::vector<jchar> chars(text.begin(), text.end());
    return env->NewString(chars.data(), static_cast<jsize>(chars.size()));
}

// The name as the manager spells it, or nothing when no source can bear it.
std::optional<std::string> AnsiName(JNIEnv* env, jstring name) {
    const jsize length = env->GetStringLength(name);
    std::vector<jchar> chars(static_cast<std::size_t>(length));
    env->GetStringRegion(name, 0, length, chars.data());
    if (DescribeAndClear(env)) return std::nullopt;
    auto ansi = Utf16ToAnsi(std::u16string(chars.begin(), chars.end()));
    // The manager compares zero-terminated names; an embedded zero would
    // make the name a prefix of itself.
    if (ansi && ansi->find('\0') != std::string::npos) return std::nullopt;
    return ansi;
}

}  // namespace

extern "C" {

// A fixed answer that touches nothing shared, so it never needs the gate.
JNIEXPORT jboolean JNICALL Java_cz_plamix_scan_Scan_isTwainAvailble(JNIEnv*, jobject) {
    return JNI_TRUE;
}

JNIEXPORT jobjectArray JNICALL Java_cz_plamix_scan_Scan_getAvailableSources(JNIEnv* env, jobject) {
    const BridgeEntry entry;
    if (!entry.Admitted()) return NewStringArray(env, 0);
    const std::vector<std::string> names = SplitNames(TheScanEngine().ListSourceNames());

    const jobjectArray array = NewStringArray(env, static_cast<jsize>(names.size()));
    if (array == nullptr) return nullptr;
    for (std::size_t index = 0; index < names.size(); ++index) {
        const jstring name = NewJavaString(env, names[index]);
        if (DescribeAndClear(env) || name == nullptr) break;
        env->SetObjectArrayElement(array, static_cast<jsize>(index), name);
        env->DeleteLocalRef(name);
        if (DescribeAndClear(env)) break;
    }
    return array;
}

JNIEXPORT jboolean JNICALL Java_cz_plamix_scan_Scan_scan(JNIEnv* env, jobject self, jint count) {
    if (!IsPageCount(count)) return JNI_FALSE;
    BridgeEntry entry(BridgeEntry::Kind::Scan);
    if (!entry.Admitted()) return JNI_FALSE;

    // Before the first callback: the scan counts as running from here, and
    // no stop can reach the engine until StartEngineUnlessStopped.
    TheScanEngine().BeginScan();
    CallVoidCallback(env, self, "fireStartScanning", "()V");
    bool answer = true;
    if (entry.StartEngineUnlessStopped()) {
        CurrentJavaContext() = JavaContext{env, self};
        answer = TheScanEngine().RunScan(count);
        // The object is a local reference of this call, dead once it returns.
        CurrentJavaContext() = JavaContext{};
    } else {
        // Stopped before it began. The stop reaches the engine from this
        // thread, which closes an open source as the end of a scan would.
        TheScanEngine().StopScan();
    }
    CallVoidCallback(env, self, "fireStopScanning", "()V");
    return Answer(answer);
}

// Answers 1 as always, and 0 when the bridge was busy and nothing changed.
JNIEXPORT jint JNICALL Java_cz_plamix_scan_Scan_setShowUI(JNIEnv*, jobject, jboolean show) {
    const BridgeEntry entry;
    if (!entry.Admitted()) return 0;
    return TheScanEngine().SetShowUI(IsTrue(show));
}

JNIEXPORT jboolean JNICALL Java_cz_plamix_scan_Scan_selectSource(JNIEnv* env, jobject,
                                                                 jstring name) {
    if (name == nullptr) return JNI_FALSE;
    const BridgeEntry entry;
    if (!entry.Admitted()) return JNI_FALSE;
    const auto ansi = AnsiName(env, name);
    if (!ansi) return JNI_FALSE;
    return Answer(TheScanEngine().OpenSourceByName(ansi->c_str()));
}

JNIEXPORT jboolean JNICALL Java_cz_plamix_scan_Scan_selectDefaultSource(JNIEnv*, jobject, jint) {
    const BridgeEntry entry;
    if (!entry.Admitted()) return JNI_FALSE;
    return Answer(TheScanEngine().PickDefaultSource());
}

JNIEXPORT void JNICALL Java_cz_plamix_scan_Scan_initInstance(JNIEnv*, jobject) {}

JNIEXPORT void JNICALL Java_cz_plamix_scan_Scan_releaseInstance(JNIEnv*, jobject) {}

// Only reads the scanning flag, so any thread may ask at any time.
JNIEXPORT jboolean JNICALL Java_cz_plamix_scan_Scan_isScanning(JNIEnv*, jobject) {
    return Answer(TheScanEngine().IsScanning());
}

JNIEXPORT jint JNICALL Java_cz_plamix_scan_Scan_stopScanning(JNIEnv*, jobject) {
    const StopEntry entry;
    switch (entry.way()) {
        case StopEntry::Way::Refused:
            return 0;
        case StopEntry::Way::Noted:
            // The scan it was meant for will not start.
            return 1;
        case StopEntry::Way::BesideScan:
            return TheScanEngine().RequestStop();
        case StopEntry::Way::Alone:
            break;
    }
    return TheScanEngine().StopScan();
}

JNIEXPORT jboolean JNICALL Java_cz_plamix_scan_Scan_setPixelType(JNIEnv*, jobject, jint type) {
    if (!IsPixelType(type)) return JNI_FALSE;
    const BridgeEntry entry;
    if (!entry.Admitted()) return JNI_FALSE;
    return Answer(TheScanEngine().ApplyPixelType(type));
}

JNIEXPORT jboolean JNICALL Java_cz_plamix_scan_Scan_setDPI(JNIEnv*, jobject, jint x, jint y) {
    if (!IsResolution(x) || !IsResolution(y)) return JNI_FALSE;
    const BridgeEntry entry;
    if (!entry.Admitted()) return JNI_FALSE;
    return Answer(TheScanEngine().ApplyResolution(x, y));
}

JNIEXPORT jboolean JNICALL Java_cz_plamix_scan_Scan_setDoubleSided(JNIEnv*, jobject, jboolean on) {
    const BridgeEntry entry;
    if (!entry.Admitted()) return JNI_FALSE;
    return Answer(TheScanEngine().ApplyDuplex(IsTrue(on)));
}

}  // extern "C"
