// _send: one frame handed to CANlib straight from the array's elements, then the 30 ms wait.
#include "canlib.h"
#include "contract_fixture.h"

namespace {

using fakejni::VmFailure;

struct SendCase {
  const char* name;
  jint id;
  jboolean extended;
  bool nullData;
  std::vector<std::uint8_t> data;
  std::vector<CanlibFault> canlibFaults;
  std::vector<VmFailure> vmFailures;
  Outcome outcome;
};

std::ostream& operator<<(std::ostream& out, const SendCase& c) {
  return out << c.name;
}

const SendCase kSendCases[] = {
    {"StandardFrame",
     0x123,
     JNI_FALSE,
     false,
     {0x01, 0x02},
     {},
     {},
     {true,
      nullptr,
      nullptr,
      {"GetArrayLength(data)", "GetByteArrayElements(data, isCopy=null)",
       "canWrite({h}, 291, [01 02], 2, 0x2) -> 0", "ReleaseByteArrayElements(data, JNI_ABORT)",
       "canWriteSync({h}, 30) -> 0"}}},

    {"ExtendedFrame",
     0x18FF50E5,
     JNI_TRUE,
     false,
     {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88},
     {},
     {},
     {true,
      nullptr,
      nullptr,
      {"GetArrayLength(data)", "GetByteArrayElements(data, isCopy=null)",
       "canWrite({h}, 419385573, [11 22 33 44 55 66 77 88], 8, 0x4) -> 0",
       "ReleaseByteArrayElements(data, JNI_ABORT)", "canWriteSync({h}, 30) -> 0"}}},

    // Any nonzero jboolean selects an extended frame.
    {"AnyNonzeroExtendedFlag",
     0x123,
     static_cast<jboolean>(0x80),
     false,
     {0x01},
     {},
     {},
     {true,
      nullptr,
      nullptr,
      {"GetArrayLength(data)", "GetByteArrayElements(data, isCopy=null)",
       "canWrite({h}, 291, [01], 1, 0x4) -> 0", "ReleaseByteArrayElements(data, JNI_ABORT)",
       "canWriteSync({h}, 30) -> 0"}}},

    {"EmptyPayload",
     0x7FF,
     JNI_FALSE,
     false,
     {},
     {},
     {},
     {true,
      nullptr,
      nullptr,
      {"GetArrayLength(data)", "GetByteArrayElements(data, isCopy=null)",
       "canWrite({h}, 2047, [], 0, 0x2) -> 0", "ReleaseByteArrayElements(data, JNI_ABORT)",
       "canWriteSync({h}, 30) -> 0"}}},

    // The array length goes to CANlib as the DLC unchanged; this channel refuses more than 8.
    {"NineBytesGoUncutToCanlib",
     0x123,
     JNI_FALSE,
     false,
     {1, 2, 3, 4, 5, 6, 7, 8, 9},
     {},
     {},
     {true,
      "java/lang/Exception",
      "Cannot send CAN packet, CAN-ID=291: Error in parameter",
      {"GetArrayLength(data)", "GetByteArrayElements(data, isCopy=null)",
       "canWrite({h}, 291, msg, 9, 0x2) -> -1", "ReleaseByteArrayElements(data, JNI_ABORT)",
       "canGetErrorText(-1, buf, 100) -> 0", "FindClass(\"java/lang/Exception\")",
       "ThrowNew(java/lang/Exception, \"Cannot send CAN packet, CAN-ID=291: Error in "
       "parameter\")",
       "canWriteSync({h}, 30) -> 0"}}},

    // No masking to 11 bits: CANlib sees 0x800 and rejects it.
    {"StandardIdGoesUnmaskedToCanlib",
     0x800,
     JNI_FALSE,
     false,
     {0x01},
     {},
     {},
     {true,
      "java/lang/Exception",
      "Cannot send CAN packet, CAN-ID=2048: Error in parameter",
      {"GetArrayLength(data)", "GetByteArrayElements(data, isCopy=null)",
       "canWrite({h}, 2048, msg, 1, 0x2) -> -1", "ReleaseByteArrayElements(data, JNI_ABORT)",
       "canGetErrorText(-1, buf, 100) -> 0", "FindClass(\"java/lang/Exception\")",
       "ThrowNew(java/lang/Exception, \"Cannot send CAN packet, CAN-ID=2048: Error in "
       "parameter\")",
       "canWriteSync({h}, 30) -> 0"}}},

    // Released before the raise; the transmit wait still runs.
    {"WriteRejected",
     -1,
     JNI_TRUE,
     false,
     {0x01, 0x02},
     {{"canWrite", canERR_TXBUFOFL}},
     {},
     {true,
      "java/lang/Exception",
      "Cannot send CAN packet, CAN-ID=-1: Transmit buffer overflow",
      {"GetArrayLength(data)", "GetByteArrayElements(data, isCopy=null)",
       "canWrite({h}, -1, msg, 2, 0x4) -> -13", "ReleaseByteArrayElements(data, JNI_ABORT)",
       "canGetErrorText(-13, buf, 100) -> 0", "FindClass(\"java/lang/Exception\")",
       "ThrowNew(java/lang/Exception, \"Cannot send CAN packet, CAN-ID=-1: Transmit buffer "
       "overflow\")",
       "canWriteSync({h}, 30) -> 0"}}},

    {"TransmitWaitFails",
     0x123,
     JNI_FALSE,
     false,
     {0x01, 0x02},
     {{"canWriteSync", canERR_TIMEOUT}},
     {},
     {true,
      "java/lang/Exception",
      "Cannot write sync: Timeout occurred",
      {"GetArrayLength(data)", "GetByteArrayElements(data, isCopy=null)",
       "canWrite({h}, 291, [01 02], 2, 0x2) -> 0", "ReleaseByteArrayElements(data, JNI_ABORT)",
       "canWriteSync({h}, 30) -> -7", "canGetErrorText(-7, buf, 100) -> 0",
       "FindClass(\"java/lang/Exception\")",
       "ThrowNew(java/lang/Exception, \"Cannot write sync: Timeout occurred\")"}}},

    // The first failure stays the exception; a second raise would be illegal JNI.
    {"WriteAndTransmitWaitFail",
     0x123,
     JNI_FALSE,
     false,
     {0x01, 0x02},
     {{"canWrite", canERR_TXBUFOFL}, {"canWriteSync", canERR_TIMEOUT}},
     {},
     {true,
      "java/lang/Exception",
      "Cannot send CAN packet, CAN-ID=291: Transmit buffer overflow",
      {"GetArrayLength(data)", "GetByteArrayElements(data, isCopy=null)",
       "canWrite({h}, 291, msg, 2, 0x2) -> -13", "ReleaseByteArrayElements(data, JNI_ABORT)",
       "canGetErrorText(-13, buf, 100) -> 0", "FindClass(\"java/lang/Exception\")",
       "ThrowNew(java/lang/Exception, \"Cannot send CAN packet, CAN-ID=291: Transmit buffer "
       "overflow\")",
       "canWriteSync({h}, 30) -> -7"}}},

    {"TransmitWaitFailsWithoutErrorText",
     0x123,
     JNI_FALSE,
     false,
     {0x01},
     {{"canWriteSync", canERR_TIMEOUT}, {"canGetErrorText", canERR_PARAM, canERR_TIMEOUT}},
     {},
     {true,
      "java/lang/Exception",
      "Cannot write sync: unknown CANlib status -7",
      {"GetArrayLength(data)", "GetByteArrayElements(data, isCopy=null)",
       "canWrite({h}, 291, [01], 1, 0x2) -> 0", "ReleaseByteArrayElements(data, JNI_ABORT)",
       "canWriteSync({h}, 30) -> -7", "canGetErrorText(-7, buf, 100) -> -1",
       "FindClass(\"java/lang/Exception\")",
       "ThrowNew(java/lang/Exception, \"Cannot write sync: unknown CANlib status -7\")"}}},

    // No CANlib call at all for a null payload.
    {"NullData",
     0x123,
     JNI_FALSE,
     true,
     {},
     {},
     {},
     {false,
      "java/lang/NullPointerException",
      "data must not be null",
      {"FindClass(\"java/lang/NullPointerException\")",
       "ThrowNew(java/lang/NullPointerException, \"data must not be null\")"}}},

    // Without elements nothing is sent and the VM's OutOfMemoryError stays the exception.
    {"ElementsUnavailable",
     0x123,
     JNI_FALSE,
     false,
     {0x01, 0x02},
     {},
     {VmFailure::GetByteArrayElements},
     {false,
      "java/lang/OutOfMemoryError",
      "no room for the elements",
      {"GetArrayLength(data)", "GetByteArrayElements(data, isCopy=null) -> null"}}},

    {"ExceptionClassUnavailable",
     0x123,
     JNI_FALSE,
     false,
     {0x01},
     {{"canWrite", canERR_TXBUFOFL}},
     {VmFailure::FindClass},
     {true,
      "java/lang/NoClassDefFoundError",
      "java/lang/Exception",
      {"GetArrayLength(data)", "GetByteArrayElements(data, isCopy=null)",
       "canWrite({h}, 291, msg, 1, 0x2) -> -13", "ReleaseByteArrayElements(data, JNI_ABORT)",
       "canGetErrorText(-13, buf, 100) -> 0", "FindClass(\"java/lang/Exception\") -> null",
       "canWriteSync({h}, 30) -> 0"}}},
};

class SendPaths : public ChannelContract, public testing::WithParamInterface<SendCase> {};

TEST_P(SendPaths, CallsResultAndException) {
  const SendCase& c = GetParam();
  arm(c.canlibFaults);
  inject(c.vmFailures);
  jbyteArray data = c.nullData ? nullptr : jni_.newByteArray("data", c.data);

  const jboolean result =
      velmora_.send(jni_.env(), jni_.velmora(), handle_, c.id, c.extended, data);

  expectOutcome(result, c.outcome);
  if (data != nullptr) {
    EXPECT_EQ(jni_.contents(data), c.data) << "the payload is never written";
  }
  EXPECT_EQ(jni_.handleFieldWrites(), 0);
}

INSTANTIATE_TEST_SUITE_P(Send, SendPaths, testing::ValuesIn(kSendCases), caseName<SendCase>);

// With nobody on the bus to acknowledge it the frame stays queued and the wait runs out.
TEST_F(ChannelContract, SendOnALonelyBusReportsTheTransmitWait) {
  ASSERT_EQ(canClose(peer_), canOK);
  startRecording();
  jbyteArray data = jni_.newByteArray("data", {0x01, 0x02});

  const jboolean result =
      velmora_.send(jni_.env(), jni_.velmora(), handle_, 0x123, JNI_FALSE, data);

  expectOutcome(result,
                {true,
                 "java/lang/Exception",
                 "Cannot write sync: Timeout occurred",
                 {"GetArrayLength(data)", "GetByteArrayElements(data, isCopy=null)",
                  "canWrite({h}, 291, [01 02], 2, 0x2) -> 0",
                  "ReleaseByteArrayElements(data, JNI_ABORT)", "canWriteSync({h}, 30) -> -7",
                  "canGetErrorText(-7, buf, 100) -> 0", "FindClass(\"java/lang/Exception\")",
                  "ThrowNew(java/lang/Exception, \"Cannot write sync: Timeout occurred\")"}});
}

}  // namespace
