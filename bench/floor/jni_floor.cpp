// The floors the benchmark puts beside VelmoraJava's calls: native methods with the same
// signatures as _read and _send that make only the JNI calls those make, and no CANlib call. What
// VelmoraJava costs beyond them is its own work plus CANlib's.
#include <jni.h>

#define FLOOR_EXPORT extern "C" JNIEXPORT __attribute__((visibility("default")))

// The JNI transition alone: _read's signature, no work at all.
FLOOR_EXPORT jboolean JNICALL
Java_com_tessivar_bms_can_kvaser_bench_JniFloor_emptyRead(JNIEnv*, jobject, jint, jbyteArray) {
  return JNI_FALSE;
}

// The JNI calls _read makes for a received frame: length, elements, release with copy-back.
FLOOR_EXPORT jboolean JNICALL Java_com_tessivar_bms_can_kvaser_bench_JniFloor_readFrameCalls(
    JNIEnv* env, jobject, jint, jbyteArray pdu) {
  const jsize length = env->GetArrayLength(pdu);
  jbyte* elements = env->GetByteArrayElements(pdu, nullptr);
  if (elements == nullptr) return JNI_FALSE;
  env->ReleaseByteArrayElements(pdu, elements, 0);
  return length > 0 ? JNI_TRUE : JNI_FALSE;
}

// The JNI calls _send makes: length, elements, release without copy-back.
FLOOR_EXPORT jboolean JNICALL Java_com_tessivar_bms_can_kvaser_bench_JniFloor_sendCalls(
    JNIEnv* env, jobject, jint, jint, jboolean, jbyteArray data) {
  const jsize length = env->GetArrayLength(data);
  jbyte* elements = env->GetByteArrayElements(data, nullptr);
  if (elements == nullptr) return JNI_FALSE;
  env->ReleaseByteArrayElements(data, elements, JNI_ABORT);
  return length >= 0 ? JNI_TRUE : JNI_FALSE;
}

// The JNI calls a failing call makes to raise: class lookup and ThrowNew, with a message of the
// same shape as a real one.
FLOOR_EXPORT jboolean JNICALL Java_com_tessivar_bms_can_kvaser_bench_JniFloor_raise(JNIEnv* env,
                                                                                    jobject, jint,
                                                                                    jbyteArray) {
  jclass exceptionClass = env->FindClass("java/lang/Exception");
  if (exceptionClass != nullptr) env->ThrowNew(exceptionClass, "canRead failed: Handle is invalid");
  return JNI_FALSE;
}

// Not a floor of today's _read: what writing the 12-byte PDU with one SetByteArrayRegion would
// cost instead of taking, copying back and releasing the elements (HotSpot copies them both ways).
FLOOR_EXPORT jboolean JNICALL Java_com_tessivar_bms_can_kvaser_bench_JniFloor_readFrameRegion(
    JNIEnv* env, jobject, jint, jbyteArray pdu) {
  const jbyte packed[12] = {};
  env->SetByteArrayRegion(pdu, 0, 12, packed);
  return JNI_TRUE;
}
