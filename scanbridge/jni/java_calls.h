#pragma once

#include <jni.h>

// Java exceptions never cross the bridge: whatever a call into Java leaves
// pending is printed by the Java runtime and cleared here. Answers whether
// there was one.
bool DescribeAndClear(JNIEnv* env);

// Calls the void method name with signature on target. The method is looked
// up afresh every time, because the object's class is the Java side's
// business; when it is missing nothing is called.
void CallVoidCallback(JNIEnv* env, jobject target, const char* name, const char* signature);
void CallVoidCallback(JNIEnv* env, jobject target, const char* name, const char* signature,
                      jobject argument);
