// The four native methods of com.tessivar.bms.can.kvaser.Velmora. The library keeps no state: the
// CAN handle lives in the Java object and comes back as an argument on every call.
#include <string.h>

#include "canlib.h"
#include "com_tessivar_bms_can_kvaser_Velmora.h"
#include "throw_can_exception.h"

namespace {

constexpr unsigned long kTransmitWaitMs = 30;
constexpr int kReceivePduLength = 12;
constexpr unsigned char kReceivePduExtendedBit = 0x80;

// Receive PDU: identifier big-endian with the extended flag in the top bit, then 8 data bytes.
// Writes at most `length` bytes, so a short array is never overrun.
void packReceivePdu(jbyte* pdu, jsize length, long id, unsigned int flags,
                    const unsigned char* data) {
  const unsigned long identifier = static_cast<unsigned long>(id);
  unsigned char packed[kReceivePduLength];
  packed[0] = static_cast<unsigned char>(((flags & canMSG_EXT) ? kReceivePduExtendedBit : 0) |
                                         ((identifier >> 24) & 0xFF));
  packed[1] = static_cast<unsigned char>((identifier >> 16) & 0xFF);
  packed[2] = static_cast<unsigned char>((identifier >> 8) & 0xFF);
  packed[3] = static_cast<unsigned char>(identifier & 0xFF);
  memcpy(packed + 4, data, 8);
  if (length >= kReceivePduLength) {
    memcpy(pdu, packed, kReceivePduLength);  // fixed size: a few plain stores, no library call
    return;
  }
  for (jsize index = 0; index < length; ++index) pdu[index] = static_cast<jbyte>(packed[index]);
}

}  // namespace

extern "C" {

JNIEXPORT jboolean JNICALL Java_com_tessivar_bms_can_kvaser_Velmora__1init(JNIEnv* env,
                                                                           jobject object,
                                                                           jint channel,
                                                                           jint bitrate) {
  canInitializeLibrary();
  const CanHandle handle = canOpenChannel(channel, canOPEN_OVERRIDE_EXCLUSIVE);
  if (handle < 0) {
    throwCanException(env, "Cannot open CAN channel %d", channel, canOK);
    return JNI_FALSE;
  }

  const canStatus paramsStatus = canSetBusParams(handle, static_cast<long>(bitrate), 0, 0, 0, 0, 0);
  if (paramsStatus < 0) {
    // The handle is not recorded, so nobody could ever close it: close it here.
    canClose(handle);
    throwCanException(env, "canSetBusParams failed, stat=%d", paramsStatus, paramsStatus);
    return JNI_FALSE;
  }

  const canStatus busOnStatus = canBusOn(handle);

  // Recorded whatever bus-on answered, so the caller can still close the channel.
  jclass objectClass = env->GetObjectClass(object);
  jfieldID handleField =
      objectClass != nullptr ? env->GetFieldID(objectClass, "_handle", "I") : nullptr;
  if (handleField == nullptr) {
    // The VM's NoSuchFieldError stays pending; with nowhere to record the handle, close it.
    canClose(handle);
    return JNI_FALSE;
  }
  env->SetIntField(object, handleField, handle);

  if (busOnStatus < 0) {
    throwCanException(env, "canBusOn failed, stat=%d", busOnStatus, busOnStatus);
  }
  return JNI_TRUE;
}

JNIEXPORT jboolean JNICALL Java_com_tessivar_bms_can_kvaser_Velmora__1send(JNIEnv* env, jobject,
                                                                           jint handle, jint id,
                                                                           jboolean extended,
                                                                           jbyteArray data) {
  if (data == nullptr) {
    throwNullArgument(env, "data");
    return JNI_FALSE;
  }
  const jsize length = env->GetArrayLength(data);
  jbyte* elements = env->GetByteArrayElements(data, nullptr);
  if (elements == nullptr) return JNI_FALSE;  // the VM's OutOfMemoryError is pending

  // No copy: CANlib has taken the payload over when canWrite returns.
  const canStatus writeStatus =
      canWrite(handle, static_cast<long>(id), elements, static_cast<unsigned int>(length),
               extended ? canMSG_EXT : canMSG_STD);
  env->ReleaseByteArrayElements(data, elements, JNI_ABORT);
  if (writeStatus < 0) {
    throwCanException(env, "Cannot send CAN packet, CAN-ID=%d", id, writeStatus);
  }

  const canStatus syncStatus = canWriteSync(handle, kTransmitWaitMs);
  // After a failed write an exception is already pending and JNI allows no second one: the
  // write failure is the one the caller gets.
  if (syncStatus < 0 && writeStatus >= 0) {
    throwCanException(env, "Cannot write sync", 0, syncStatus);
  }
  return JNI_TRUE;
}

JNIEXPORT jboolean JNICALL Java_com_tessivar_bms_can_kvaser_Velmora__1read(JNIEnv* env, jobject,
                                                                           jint handle,
                                                                           jbyteArray rx_pdu) {
  // Checked before canRead, so a frame is never taken from the queue only to be lost.
  if (rx_pdu == nullptr) {
    throwNullArgument(env, "rx_pdu");
    return JNI_FALSE;
  }

  unsigned char data[8];
  memset(data, 0xFF, sizeof data);
  long id = 0;
  unsigned int dlc = 0;
  unsigned int flags = 0;
  unsigned long time = 0;
  const canStatus readStatus = canRead(handle, &id, data, &dlc, &flags, &time);
  if (readStatus == canERR_NOMSG) return JNI_FALSE;
  if (readStatus < 0) {
    throwCanException(env, "canRead failed", 0, readStatus);
    return JNI_FALSE;
  }

  const jsize length = env->GetArrayLength(rx_pdu);
  jbyte* elements = env->GetByteArrayElements(rx_pdu, nullptr);
  if (elements == nullptr) return JNI_TRUE;  // frame taken; the VM's OutOfMemoryError is pending
  packReceivePdu(elements, length, id, flags, data);
  env->ReleaseByteArrayElements(rx_pdu, elements, 0);

  if (length != kReceivePduLength) {
    throwCanException(env, "rx_pdu must be 12 bytes long", 0, canOK);
  }
  return JNI_TRUE;
}

JNIEXPORT void JNICALL Java_com_tessivar_bms_can_kvaser_Velmora__1close(JNIEnv* env, jobject,
                                                                        jint handle) {
  const canStatus closeStatus = canClose(handle);
  if (closeStatus < 0) throwCanException(env, "Failed to close", 0, closeStatus);
}

}  // extern "C"
