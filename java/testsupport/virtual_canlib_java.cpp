// JNI side of com.tessivar.bms.can.kvaser.testing.VirtualCanlib: hands the virtual CANlib's control
// interface to Java. Test code, but it runs inside the JVM, so bad arguments raise Java exceptions
// and never reach memory: arrays are only touched through the bounds-checked region calls.
#include <string.h>

#include "com_tessivar_bms_can_kvaser_testing_VirtualCanlib.h"
#include "virtual_canlib_control.h"

namespace {

// Must match the record layout in VirtualCanlib.java.
constexpr jsize kRecordLength = 13;
constexpr jsize kFrameDataLength = 8;

void throwJava(JNIEnv* env, const char* className, const char* message) {
  jclass exceptionClass = env->FindClass(className);
  if (exceptionClass != nullptr) env->ThrowNew(exceptionClass, message);
}

bool arrayHolds(JNIEnv* env, jarray array, jsize wanted, const char* name) {
  if (array == nullptr) {
    throwJava(env, "java/lang/NullPointerException", name);
    return false;
  }
  if (env->GetArrayLength(array) < wanted) {
    throwJava(env, "java/lang/IllegalArgumentException", name);
    return false;
  }
  return true;
}

}  // namespace

extern "C" {

JNIEXPORT void JNICALL Java_com_tessivar_bms_can_kvaser_testing_VirtualCanlib_nativeReset(JNIEnv*,
                                                                                          jclass) {
  vcanReset();
}

JNIEXPORT jint JNICALL Java_com_tessivar_bms_can_kvaser_testing_VirtualCanlib_nativeSetChannelCount(
    JNIEnv*, jclass, jint count) {
  return vcanSetChannelCount(count);
}

JNIEXPORT jint JNICALL Java_com_tessivar_bms_can_kvaser_testing_VirtualCanlib_nativeFailCall(
    JNIEnv* env, jclass, jstring function, jint status, jint count, jint handle) {
  if (function == nullptr) {
    throwJava(env, "java/lang/NullPointerException", "function");
    return 0;
  }
  const char* name = env->GetStringUTFChars(function, nullptr);
  if (name == nullptr) return 0;  // the VM's OutOfMemoryError is pending
  const jint result = vcanFailCall(name, status, count, handle);
  env->ReleaseStringUTFChars(function, name);
  return result;
}

JNIEXPORT void JNICALL
Java_com_tessivar_bms_can_kvaser_testing_VirtualCanlib_nativeClearFaults(JNIEnv*, jclass) {
  vcanClearFaults();
}

JNIEXPORT jint JNICALL Java_com_tessivar_bms_can_kvaser_testing_VirtualCanlib_nativeInjectFrame(
    JNIEnv* env, jclass, jint handle, jint id, jint flags, jint dlc, jbyteArray data) {
  if (!arrayHolds(env, data, 0, "data")) return 0;
  VcanFrame frame;
  memset(&frame, 0, sizeof frame);
  frame.id = id;
  frame.flags = static_cast<uint32_t>(flags);
  frame.dlc = static_cast<uint32_t>(dlc);
  const jsize length = env->GetArrayLength(data);
  env->GetByteArrayRegion(data, 0, length < kFrameDataLength ? length : kFrameDataLength,
                          reinterpret_cast<jbyte*>(frame.data));
  return vcanInjectFrame(handle, &frame);
}

JNIEXPORT jint JNICALL
Java_com_tessivar_bms_can_kvaser_testing_VirtualCanlib_nativeReceiveQueueLength(JNIEnv*, jclass,
                                                                                jint handle) {
  return vcanReceiveQueueLength(handle);
}

JNIEXPORT jint JNICALL
Java_com_tessivar_bms_can_kvaser_testing_VirtualCanlib_nativeTransmitQueueLength(JNIEnv*, jclass,
                                                                                 jint handle) {
  return vcanTransmitQueueLength(handle);
}

JNIEXPORT void JNICALL Java_com_tessivar_bms_can_kvaser_testing_VirtualCanlib_nativeRecordCalls(
    JNIEnv*, jclass, jboolean on) {
  vcanRecordCalls(on ? 1 : 0);
}

JNIEXPORT jint JNICALL
Java_com_tessivar_bms_can_kvaser_testing_VirtualCanlib_nativeCallCount(JNIEnv*, jclass) {
  return vcanCallCount();
}

JNIEXPORT jint JNICALL Java_com_tessivar_bms_can_kvaser_testing_VirtualCanlib_nativeCallAt(
    JNIEnv* env, jclass, jint index, jlongArray record, jbyteArray data) {
  if (!arrayHolds(env, record, kRecordLength, "record") ||
      !arrayHolds(env, data, kFrameDataLength, "data")) {
    return 0;
  }
  VcanCallRecord call;
  memset(&call, 0, sizeof call);
  const int status = vcanCallAt(index, &call);
  if (status != 0) return status;

  const jlong numbers[kRecordLength] = {
      call.call,        call.handle,    call.args[0],       call.args[1], call.args[2],
      call.args[3],     call.args[4],   call.args[5],       call.result,  call.frame.id,
      call.frame.flags, call.frame.dlc, call.frame.time_ms,
  };
  env->SetLongArrayRegion(record, 0, kRecordLength, numbers);
  env->SetByteArrayRegion(data, 0, kFrameDataLength,
                          reinterpret_cast<const jbyte*>(call.frame.data));
  return 0;
}

}  // extern "C"
