#include "throw_can_exception.h"

#include <stdio.h>

namespace {

constexpr unsigned kMessageCapacity = 100;
constexpr unsigned kCanlibTextCapacity = 100;
constexpr unsigned kExceptionTextCapacity = 200;

void raise(JNIEnv* env, const char* className, const char* text) {
  jclass exceptionClass = env->FindClass(className);
  // A null class means the VM already has an error pending (e.g. NoClassDefFoundError); raising
  // again would be illegal, so that error is what the caller gets.
  if (exceptionClass == nullptr) return;
  env->ThrowNew(exceptionClass, text);
}

}  // namespace

void throwCanException(JNIEnv* env, const char* format, int value, canStatus status) {
  char message[kMessageCapacity];
  snprintf(message, sizeof message, format, value);

  // CANlib promises a terminated text, but a failing or foreign CANlib may leave the buffer as it
  // was: start from an empty string and never trust the last byte.
  char canlibText[kCanlibTextCapacity] = {};
  const canStatus textStatus = canGetErrorText(status, canlibText, sizeof canlibText);
  canlibText[sizeof canlibText - 1] = '\0';
  if (textStatus < 0 || canlibText[0] == '\0') {
    snprintf(canlibText, sizeof canlibText, "unknown CANlib status %d", static_cast<int>(status));
  }

  char exceptionText[kExceptionTextCapacity];
  // The longest message has 42 characters; the precision only tells the compiler that message,
  // ": " and a 99-character CANlib text always fit (gcc -O0 flags a possible truncation otherwise).
  snprintf(exceptionText, sizeof exceptionText, "%.98s: %s", message, canlibText);
  raise(env, "java/lang/Exception", exceptionText);
}

void throwNullArgument(JNIEnv* env, const char* argumentName) {
  char text[kMessageCapacity];
  snprintf(text, sizeof text, "%s must not be null", argumentName);
  raise(env, "java/lang/NullPointerException", text);
}
