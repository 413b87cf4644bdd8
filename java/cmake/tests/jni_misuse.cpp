// Native half of JniMisuseTest: raises an exception and, on request, then makes one more JNI call,
// which JNI forbids and -Xcheck:jni reports as a warning on stdout.
#include "com_tessivar_junitcheck_JniMisuseTest.h"

extern "C" JNIEXPORT void JNICALL Java_com_tessivar_junitcheck_JniMisuseTest_raise(
    JNIEnv* env, jclass, jboolean thenCallWithExceptionPending) {
  jclass illegalState = env->FindClass("java/lang/IllegalStateException");
  if (illegalState == nullptr) return;
  env->ThrowNew(illegalState, "raised by JniMisuseTest");
  if (thenCallWithExceptionPending) env->FindClass("java/lang/String");
}
