// The one way this library reports a failure to Java.
#ifndef VELMORA_NATIVE_THROW_CAN_EXCEPTION_H
#define VELMORA_NATIVE_THROW_CAN_EXCEPTION_H

#include <jni.h>

#include "canlib.h"

// Leaves a java.lang.Exception pending whose message is `format` filled with `value`, ": " and
// CANlib's text for `status`. `format` holds at most one "%d".
void throwCanException(JNIEnv* env, const char* format, int value, canStatus status);

// Leaves a java.lang.NullPointerException pending that names the null argument.
void throwNullArgument(JNIEnv* env, const char* argumentName);

#endif
