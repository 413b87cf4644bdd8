// Calls VelmoraJava's entry points in a loop with a minimal stand-in for the JNI environment, for
// callgrind: instructions per call, split into the library's own, CANlib's and JNI's. A real VM's
// JNI functions cost more than these stand-ins; the Java benchmark measures that part as floors.
//
// Usage: velmora_call_driver read-empty|read-frame|send CALLS
#include <jni.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "canlib.h"
#include "com_tessivar_bms_can_kvaser_Velmora.h"
#include "virtual_canlib_control.h"

namespace {

constexpr int kBatch = 512;

// A Java byte[] as the stand-in VM knows it: the jbyteArray handed to the library points here.
struct ByteArray {
  jsize length;
  jbyte elements[12];
};

ByteArray* array(jarray handle) {
  return reinterpret_cast<ByteArray*>(handle);
}

// The JNI functions the library calls on these paths; each does the least it can.
jsize JNICALL getArrayLength(JNIEnv*, jarray handle) {
  return array(handle)->length;
}
jbyte* JNICALL getByteArrayElements(JNIEnv*, jbyteArray handle, jboolean* isCopy) {
  if (isCopy != nullptr) *isCopy = JNI_FALSE;
  return array(handle)->elements;
}
void JNICALL releaseByteArrayElements(JNIEnv*, jbyteArray, jbyte*, jint) {}

JNIEnv* minimalEnvironment() {
  static JNINativeInterface_ functions;
  static JNIEnv environment;
  functions.GetArrayLength = getArrayLength;
  functions.GetByteArrayElements = getByteArrayElements;
  functions.ReleaseByteArrayElements = releaseByteArrayElements;
  environment.functions = &functions;
  return &environment;
}

CanHandle openOnBus(int channel) {
  const CanHandle handle = canOpenChannel(channel, canOPEN_OVERRIDE_EXCLUSIVE);
  if (handle < 0 || canSetBusParams(handle, canBITRATE_1M, 0, 0, 0, 0, 0) != canOK ||
      canBusOn(handle) != canOK) {
    fprintf(stderr, "velmora_call_driver: cannot open channel %d on the virtual bus\n", channel);
    exit(2);
  }
  return handle;
}

void fail(const char* what) {
  fprintf(stderr, "velmora_call_driver: %s\n", what);
  exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) fail("usage: velmora_call_driver read-empty|read-frame|send CALLS");
  const char* path = argv[1];
  const int calls = atoi(argv[2]);
  JNIEnv* env = minimalEnvironment();
  canInitializeLibrary();
  const CanHandle sender = openOnBus(0);
  const CanHandle receiver = openOnBus(1);
  ByteArray pdu{12, {}};
  ByteArray payload{8, {1, 2, 3, 4, 5, 6, 7, 8}};
  jbyteArray pduHandle = reinterpret_cast<jbyteArray>(&pdu);
  jbyteArray payloadHandle = reinterpret_cast<jbyteArray>(&payload);

  int unexpected = 0;
  if (strcmp(path, "read-empty") == 0) {
    for (int i = 0; i < calls; ++i) {
      unexpected += Java_com_tessivar_bms_can_kvaser_Velmora__1read(env, nullptr, receiver,
                                                                    pduHandle) != JNI_FALSE;
    }
  } else if (strcmp(path, "read-frame") == 0) {
    VcanFrame frame{};
    frame.id = 0x123;
    frame.flags = canMSG_STD;
    frame.dlc = 8;
    for (int done = 0; done < calls; done += kBatch) {
      for (int i = 0; i < kBatch; ++i) vcanInjectFrame(receiver, &frame);
      for (int i = 0; i < kBatch; ++i) {
        unexpected += Java_com_tessivar_bms_can_kvaser_Velmora__1read(env, nullptr, receiver,
                                                                      pduHandle) != JNI_TRUE;
      }
    }
  } else if (strcmp(path, "send") == 0) {
    long id;
    unsigned char data[8];
    unsigned int dlc, flags;
    unsigned long time;
    for (int done = 0; done < calls; done += kBatch) {
      for (int i = 0; i < kBatch; ++i) {
        unexpected += Java_com_tessivar_bms_can_kvaser_Velmora__1send(
                          env, nullptr, sender, 0x123, JNI_FALSE, payloadHandle) != JNI_TRUE;
      }
      while (canRead(receiver, &id, data, &dlc, &flags, &time) == canOK) {
      }
    }
  } else {
    fail("unknown path; use read-empty, read-frame or send");
  }
  if (unexpected != 0) fail("a call did not answer as expected (an exception would be pending)");
  return 0;
}
