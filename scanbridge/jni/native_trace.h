#pragma once

#include <jni.h>

#include <string>

#include "trace.h"

// One native's line in the trace: its name and arguments, then its answer or
// why it was refused, written when the native returns. Nothing is built
// while the trace is off.
class NativeTrace {
public:
    template <typename Describe>
    NativeTrace(const char* name, Describe arguments) : on_(trace::On()) {
        if (on_) call_ = std::string("native ") + name + "(" + arguments() + ")";
    }
    ~NativeTrace() {
        if (on_) trace::Line(call_ + (refusal_ ? std::string(" refused: ") + refusal_ : answer_));
    }
    NativeTrace(const NativeTrace&) = delete;
    NativeTrace& operator=(const NativeTrace&) = delete;

    jboolean Answer(jboolean value) {
        if (on_) answer_ = value == JNI_TRUE ? " -> true" : " -> false";
        return value;
    }
    jint Answer(jint value) {
        if (on_) answer_ = " -> " + std::to_string(value);
        return value;
    }
    // An answer that is no number or boolean, in words.
    void Answered(const std::string& words) {
        if (on_) answer_ = " -> " + words;
    }
    // Arguments known only once the native has read them.
    void Arguments(const std::string& text) {
        if (on_) call_ = call_.substr(0, call_.find('(')) + "(" + text + ")";
    }
    // The failure answer, with the reason.
    template <typename Value>
    Value Refuse(Value value, const char* why) {
        refusal_ = why;
        return value;
    }

private:
    bool on_;
    std::string call_;
    std::string answer_;
    const char* refusal_ = nullptr;
};
