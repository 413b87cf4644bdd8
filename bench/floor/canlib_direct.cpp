// Diagnostics beside the floors: native methods that make _read's and _send's CANlib and JNI calls
// with nothing of VelmoraJava's own around them (no checks, no packing, no exceptions). A call
// minus its direct twin is the library's own cost measured where it runs, inside the VM, rather
// than by subtracting the virtual CANlib's cost from a separate C++ benchmark.
#include <jni.h>

#include "canlib.h"

#define DIRECT_EXPORT extern "C" JNIEXPORT __attribute__((visibility("default")))

// canRead exactly as _read calls it; the JNI calls of a received frame only when one came.
DIRECT_EXPORT jboolean JNICALL Java_com_tessivar_bms_can_kvaser_bench_CanlibDirect_read(
    JNIEnv* env, jobject, jint handle, jbyteArray pdu) {
  long id;
  unsigned char data[8];
  unsigned int dlc;
  unsigned int flags;
  unsigned long time;
  if (canRead(handle, &id, data, &dlc, &flags, &time) != canOK) return JNI_FALSE;
  const jsize length = env->GetArrayLength(pdu);
  jbyte* elements = env->GetByteArrayElements(pdu, nullptr);
  if (elements == nullptr) return JNI_FALSE;
  env->ReleaseByteArrayElements(pdu, elements, 0);
  return length > 0 ? JNI_TRUE : JNI_FALSE;
}

// _send's JNI calls around canWrite, then canWriteSync, as _send makes them.
DIRECT_EXPORT jboolean JNICALL Java_com_tessivar_bms_can_kvaser_bench_CanlibDirect_send(
    JNIEnv* env, jobject, jint handle, jint id, jboolean, jbyteArray data) {
  const jsize length = env->GetArrayLength(data);
  jbyte* elements = env->GetByteArrayElements(data, nullptr);
  if (elements == nullptr) return JNI_FALSE;
  const canStatus written =
      canWrite(handle, id, elements, static_cast<unsigned int>(length), canMSG_STD);
  env->ReleaseByteArrayElements(data, elements, JNI_ABORT);
  return written == canOK && canWriteSync(handle, 30) == canOK ? JNI_TRUE : JNI_FALSE;
}
