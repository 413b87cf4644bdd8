// _read: one frame from CANlib, packed into the 12-byte receive PDU.
#include <cstring>

#include "canlib.h"
#include "contract_fixture.h"

namespace {

using fakejni::VmFailure;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kUntouched = 0x5A;  // what rx_pdu holds before the call
constexpr jint kUnknownHandle = 99;

VcanFrame frame(std::int32_t id, std::uint32_t flags, const Bytes& data) {
  VcanFrame frame{};
  frame.id = id;
  frame.flags = flags;
  frame.dlc = static_cast<std::uint32_t>(data.size());
  if (!data.empty()) std::memcpy(frame.data, data.data(), data.size());
  return frame;
}

const std::vector<std::string> kDelivered = {"canRead({h}) -> 0", "GetArrayLength(rx_pdu)",
                                             "GetByteArrayElements(rx_pdu, isCopy=null)",
                                             "ReleaseByteArrayElements(rx_pdu, 0)"};

// ---- Frames into PDUs ------------------------------------------------------------------------

struct PduCase {
  const char* name;
  VcanFrame frame;
  Bytes pdu;
};

std::ostream& operator<<(std::ostream& out, const PduCase& c) {
  return out << c.name;
}

const PduCase kPduCases[] = {
    // Bytes CANlib does not write keep the 0xFF they were filled with.
    {"StandardFrame",
     frame(0x123, canMSG_STD, {0x01, 0x02}),
     {0x00, 0x00, 0x01, 0x23, 0x01, 0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
    {"ExtendedFrame",
     frame(0x18FF50E5, canMSG_EXT, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}),
     {0x98, 0xFF, 0x50, 0xE5, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}},
    // The top bit of byte 0 is the extended flag, never an identifier bit.
    {"HighestStandardId",
     frame(0x7FF, canMSG_STD, {0, 0, 0, 0, 0, 0, 0, 0}),
     {0x00, 0x00, 0x07, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"SmallExtendedId",
     frame(0x5, canMSG_EXT, {0xAB}),
     {0x80, 0x00, 0x00, 0x05, 0xAB, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
    {"HighestExtendedId",
     frame(0x1FFFFFFF, canMSG_EXT, {}),
     {0x9F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
    // A remote request looks like a data frame without data.
    {"RemoteRequest",
     frame(0x123, canMSG_STD | canMSG_RTR, {}),
     {0x00, 0x00, 0x01, 0x23, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
};

class ReadPdus : public ChannelContract, public testing::WithParamInterface<PduCase> {};

TEST_P(ReadPdus, PacksTheFrame) {
  const PduCase& c = GetParam();
  ASSERT_EQ(vcanInjectFrame(handle_, &c.frame), canOK);
  jbyteArray pdu = jni_.newByteArray("rx_pdu", Bytes(12, kUntouched));

  const jboolean result = velmora_.read(jni_.env(), jni_.velmora(), handle_, pdu);

  expectOutcome(result, {true, nullptr, nullptr, kDelivered});
  EXPECT_EQ(jni_.contents(pdu), c.pdu);
}

INSTANTIATE_TEST_SUITE_P(Read, ReadPdus, testing::ValuesIn(kPduCases), caseName<PduCase>);

// ---- Paths, array lengths included ------------------------------------------------------------

struct ReadCase {
  const char* name;
  bool frameWaiting;  // the standard frame 0x123 [01 02]
  bool unknownHandle;
  int arrayLength;  // -1: null
  std::vector<CanlibFault> canlibFaults;
  std::vector<VmFailure> vmFailures;
  Bytes arrayAfter;
  int framesLeft;
  Outcome outcome;
};

std::ostream& operator<<(std::ostream& out, const ReadCase& c) {
  return out << c.name;
}

const std::vector<std::string> kDeliveredToWrongLength = {
    "canRead({h}) -> 0",
    "GetArrayLength(rx_pdu)",
    "GetByteArrayElements(rx_pdu, isCopy=null)",
    "ReleaseByteArrayElements(rx_pdu, 0)",
    "canGetErrorText(0, buf, 100) -> 0",
    "FindClass(\"java/lang/Exception\")",
    "ThrowNew(java/lang/Exception, \"rx_pdu must be 12 bytes long: No error\")"};

const ReadCase kReadCases[] = {
    // An empty poll costs one CANlib call and no JNI call.
    {"EmptyQueue",
     false,
     false,
     12,
     {},
     {},
     Bytes(12, kUntouched),
     0,
     {false, nullptr, nullptr, {"canRead({h}) -> -2"}}},

    {"ReadFails",
     false,
     true,
     12,
     {},
     {},
     Bytes(12, kUntouched),
     0,
     {false,
      "java/lang/Exception",
      "canRead failed: Handle is invalid",
      {"canRead(99) -> -10", "canGetErrorText(-10, buf, 100) -> 0",
       "FindClass(\"java/lang/Exception\")",
       "ThrowNew(java/lang/Exception, \"canRead failed: Handle is invalid\")"}}},

    {"ReadFailsWithoutErrorText",
     true,
     false,
     12,
     {{"canRead", canERR_INTERNAL}, {"canGetErrorText", canERR_PARAM, canERR_INTERNAL}},
     {},
     Bytes(12, kUntouched),
     1,
     {false,
      "java/lang/Exception",
      "canRead failed: unknown CANlib status -30",
      {"canRead({h}) -> -30", "canGetErrorText(-30, buf, 100) -> -1",
       "FindClass(\"java/lang/Exception\")",
       "ThrowNew(java/lang/Exception, \"canRead failed: unknown CANlib status -30\")"}}},

    // Checked before canRead, so the waiting frame is not lost.
    {"NullRxPdu",
     true,
     false,
     -1,
     {},
     {},
     {},
     1,
     {false,
      "java/lang/NullPointerException",
      "rx_pdu must not be null",
      {"FindClass(\"java/lang/NullPointerException\")",
       "ThrowNew(java/lang/NullPointerException, \"rx_pdu must not be null\")"}}},

    // The frame is taken, the VM's OutOfMemoryError stays the exception, nothing is released.
    {"ElementsUnavailable",
     true,
     false,
     12,
     {},
     {VmFailure::GetByteArrayElements},
     Bytes(12, kUntouched),
     0,
     {true,
      "java/lang/OutOfMemoryError",
      "no room for the elements",
      {"canRead({h}) -> 0", "GetArrayLength(rx_pdu)",
       "GetByteArrayElements(rx_pdu, isCopy=null) -> null"}}},

    // A wrong length gets the PDU as far as the array goes, never beyond, then the exception.
    {"Length0",
     true,
     false,
     0,
     {},
     {},
     {},
     0,
     {true, "java/lang/Exception", "rx_pdu must be 12 bytes long: No error",
      kDeliveredToWrongLength}},
    {"Length1",
     true,
     false,
     1,
     {},
     {},
     {0x00},
     0,
     {true, "java/lang/Exception", "rx_pdu must be 12 bytes long: No error",
      kDeliveredToWrongLength}},
    {"Length11",
     true,
     false,
     11,
     {},
     {},
     {0x00, 0x00, 0x01, 0x23, 0x01, 0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
     0,
     {true, "java/lang/Exception", "rx_pdu must be 12 bytes long: No error",
      kDeliveredToWrongLength}},
    {"Length12",
     true,
     false,
     12,
     {},
     {},
     {0x00, 0x00, 0x01, 0x23, 0x01, 0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
     0,
     {true, nullptr, nullptr, kDelivered}},
    {"Length13",
     true,
     false,
     13,
     {},
     {},
     {0x00, 0x00, 0x01, 0x23, 0x01, 0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, kUntouched},
     0,
     {true, "java/lang/Exception", "rx_pdu must be 12 bytes long: No error",
      kDeliveredToWrongLength}},

    {"ExceptionClassUnavailable",
     true,
     false,
     13,
     {},
     {VmFailure::FindClass},
     {0x00, 0x00, 0x01, 0x23, 0x01, 0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, kUntouched},
     0,
     {true,
      "java/lang/NoClassDefFoundError",
      "java/lang/Exception",
      {"canRead({h}) -> 0", "GetArrayLength(rx_pdu)", "GetByteArrayElements(rx_pdu, isCopy=null)",
       "ReleaseByteArrayElements(rx_pdu, 0)", "canGetErrorText(0, buf, 100) -> 0",
       "FindClass(\"java/lang/Exception\") -> null"}}},
};

class ReadPaths : public ChannelContract, public testing::WithParamInterface<ReadCase> {};

TEST_P(ReadPaths, CallsResultExceptionAndArray) {
  const ReadCase& c = GetParam();
  if (c.frameWaiting) {
    const VcanFrame waiting = frame(0x123, canMSG_STD, {0x01, 0x02});
    ASSERT_EQ(vcanInjectFrame(handle_, &waiting), canOK);
  }
  arm(c.canlibFaults);
  inject(c.vmFailures);
  jbyteArray pdu =
      c.arrayLength < 0
          ? nullptr
          : jni_.newByteArray("rx_pdu", Bytes(static_cast<size_t>(c.arrayLength), kUntouched));

  const jboolean result =
      velmora_.read(jni_.env(), jni_.velmora(), c.unknownHandle ? kUnknownHandle : handle_, pdu);

  expectOutcome(result, c.outcome);
  if (pdu != nullptr) {
    EXPECT_EQ(jni_.contents(pdu), c.arrayAfter);
  }
  EXPECT_EQ(vcanReceiveQueueLength(handle_), c.framesLeft);
  EXPECT_EQ(jni_.handleFieldWrites(), 0);
}

INSTANTIATE_TEST_SUITE_P(Read, ReadPaths, testing::ValuesIn(kReadCases), caseName<ReadCase>);

}  // namespace
