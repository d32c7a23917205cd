// The native methods of cz.plamix.scan.Scan.

#include <jni.h>

#include <optional>
#include <string>
#include <vector>

#include "ansi_text.h"
#include "bridge_gate.h"
#include "java_calls.h"
#include "java_context.h"
#include "native_trace.h"
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

std::string Numbers(long first) { return std::to_string(first); }
std::string Numbers(long first, long second) {
    return std::to_string(first) + ", " + std::to_string(second);
}
std::string Flag(jboolean value) { return value == JNI_TRUE ? "true" : "false"; }
auto None() {
    return [] { return std::string(); };
}

}  // namespace

extern "C" {

// A fixed answer that touches nothing shared, so it never needs the gate.
JNIEXPORT jboolean JNICALL Java_cz_plamix_scan_Scan_isTwainAvailble(JNIEnv*, jobject) {
    NativeTrace trace("isTwainAvailble", None());
    return trace.Answer(static_cast<jboolean>(JNI_TRUE));
}

JNIEXPORT jobjectArray JNICALL Java_cz_plamix_scan_Scan_getAvailableSources(JNIEnv* env, jobject) {
    NativeTrace trace("getAvailableSources", None());
    const BridgeEntry entry;
    if (!entry.Admitted()) return trace.Refuse(NewStringArray(env, 0), "busy");
    const std::vector<std::string> names = SplitNames(TheScanEngine().ListSourceNames());
    trace.Answered(std::to_string(names.size()) + " sources");

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
    NativeTrace trace("scan", [&] { return Numbers(count); });
    if (!IsPageCount(count)) return trace.Refuse(JNI_FALSE, "page count out of range");
    BridgeEntry entry(BridgeEntry::Kind::Scan);
    if (!entry.Admitted()) return trace.Refuse(JNI_FALSE, "busy");

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
    return trace.Answer(Answer(answer));
}

// Answers 1 as always, and 0 when the bridge was busy and nothing changed.
JNIEXPORT jint JNICALL Java_cz_plamix_scan_Scan_setShowUI(JNIEnv*, jobject, jboolean show) {
    NativeTrace trace("setShowUI", [&] { return Flag(show); });
    const BridgeEntry entry;
    if (!entry.Admitted()) return trace.Refuse(0, "busy");
    return trace.Answer(static_cast<jint>(TheScanEngine().SetShowUI(IsTrue(show))));
}

JNIEXPORT jboolean JNICALL Java_cz_plamix_scan_Scan_selectSource(JNIEnv* env, jobject,
                                                                 jstring name) {
    NativeTrace trace("selectSource", None());
    if (name == nullptr) return trace.Refuse(JNI_FALSE, "no name");
    const BridgeEntry entry;
    if (!entry.Admitted()) return trace.Refuse(JNI_FALSE, "busy");
    const auto ansi = AnsiName(env, name);
    if (!ansi) return trace.Refuse(JNI_FALSE, "no source can bear that name");
    trace.Arguments("\"" + *ansi + "\"");
    return trace.Answer(Answer(TheScanEngine().OpenSourceByName(ansi->c_str())));
}

JNIEXPORT jboolean JNICALL Java_cz_plamix_scan_Scan_selectDefaultSource(JNIEnv*, jobject,
                                                                        jint ignored) {
    NativeTrace trace("selectDefaultSource", [&] { return Numbers(ignored); });
    const BridgeEntry entry;
    if (!entry.Admitted()) return trace.Refuse(JNI_FALSE, "busy");
    return trace.Answer(Answer(TheScanEngine().PickDefaultSource()));
}

JNIEXPORT void JNICALL Java_cz_plamix_scan_Scan_initInstance(JNIEnv*, jobject) {
    NativeTrace trace("initInstance", None());
}

JNIEXPORT void JNICALL Java_cz_plamix_scan_Scan_releaseInstance(JNIEnv*, jobject) {
    NativeTrace trace("releaseInstance", None());
}

// Only reads the scanning flag, so any thread may ask at any time.
JNIEXPORT jboolean JNICALL Java_cz_plamix_scan_Scan_isScanning(JNIEnv*, jobject) {
    NativeTrace trace("isScanning", None());
    return trace.Answer(Answer(TheScanEngine().IsScanning()));
}

JNIEXPORT jint JNICALL Java_cz_plamix_scan_Scan_stopScanning(JNIEnv*, jobject) {
    NativeTrace trace("stopScanning", None());
    const StopEntry entry;
    switch (entry.way()) {
        case StopEntry::Way::Refused:
            return trace.Refuse(0, "busy");
        case StopEntry::Way::Noted:
            // The scan it was meant for will not start.
            return trace.Answer(static_cast<jint>(1));
        case StopEntry::Way::BesideScan:
            return trace.Answer(static_cast<jint>(TheScanEngine().RequestStop()));
        case StopEntry::Way::Alone:
            break;
    }
    return trace.Answer(static_cast<jint>(TheScanEngine().StopScan()));
}

JNIEXPORT jboolean JNICALL Java_cz_plamix_scan_Scan_setPixelType(JNIEnv*, jobject, jint type) {
    NativeTrace trace("setPixelType", [&] { return Numbers(type); });
    if (!IsPixelType(type)) return trace.Refuse(JNI_FALSE, "pixel type out of range");
    const BridgeEntry entry;
    if (!entry.Admitted()) return trace.Refuse(JNI_FALSE, "busy");
    return trace.Answer(Answer(TheScanEngine().ApplyPixelType(type)));
}

JNIEXPORT jboolean JNICALL Java_cz_plamix_scan_Scan_setDPI(JNIEnv*, jobject, jint x, jint y) {
    NativeTrace trace("setDPI", [&] { return Numbers(x, y); });
    if (!IsResolution(x) || !IsResolution(y))
        return trace.Refuse(JNI_FALSE, "resolution out of range");
    const BridgeEntry entry;
    if (!entry.Admitted()) return trace.Refuse(JNI_FALSE, "busy");
    return trace.Answer(Answer(TheScanEngine().ApplyResolution(x, y)));
}

JNIEXPORT jboolean JNICALL Java_cz_plamix_scan_Scan_setDoubleSided(JNIEnv*, jobject, jboolean on) {
    NativeTrace trace("setDoubleSided", [&] { return Flag(on); });
    const BridgeEntry entry;
    if (!entry.Admitted()) return trace.Refuse(JNI_FALSE, "busy");
    return trace.Answer(Answer(TheScanEngine().ApplyDuplex(IsTrue(on))));
}

}  // extern "C"
