// _init: opening a channel, configuring it, putting it on the bus and recording the handle.
#include "canlib.h"
#include "contract_fixture.h"

namespace {

using fakejni::VmFailure;

struct InitCase {
  const char* name;
  jint channel;
  jint bitrate;
  std::vector<CanlibFault> canlibFaults;
  std::vector<VmFailure> vmFailures;
  bool handleRecorded;
  Outcome outcome;
};

std::ostream& operator<<(std::ostream& out, const InitCase& c) {
  return out << c.name;
}

const InitCase kInitCases[] = {
    {"Success",
     0,
     500000,
     {},
     {},
     true,
     {true,
      nullptr,
      nullptr,
      {"canInitializeLibrary()", "canOpenChannel(0, 0x40) -> {open}",
       "canSetBusParams({open}, 500000, 0, 0, 0, 0, 0) -> 0", "canBusOn({open}) -> 0",
       "GetObjectClass(velmora)",
       "GetFieldID(com/tessivar/bms/can/kvaser/Velmora, \"_handle\", \"I\")",
       "SetIntField(velmora, _handle, {open})"}}},

    // The error text is CANlib's text for status 0, not for the open's own status.
    {"ChannelCannotBeOpened",
     7,
     500000,
     {},
     {},
     false,
     {false,
      "java/lang/Exception",
      "Cannot open CAN channel 7: No error",
      {"canInitializeLibrary()", "canOpenChannel(7, 0x40) -> -3",
       "canGetErrorText(0, buf, 100) -> 0", "FindClass(\"java/lang/Exception\")",
       "ThrowNew(java/lang/Exception, \"Cannot open CAN channel 7: No error\")"}}},

    // The handle is never recorded, so the channel is closed here or by nobody.
    {"BitrateRejectedClosesTheChannel",
     0,
     -100,
     {},
     {},
     false,
     {false,
      "java/lang/Exception",
      "canSetBusParams failed, stat=-1: Error in parameter",
      {"canInitializeLibrary()", "canOpenChannel(0, 0x40) -> {open}",
       "canSetBusParams({open}, -100, 0, 0, 0, 0, 0) -> -1", "canClose({open}) -> 0",
       "canGetErrorText(-1, buf, 100) -> 0", "FindClass(\"java/lang/Exception\")",
       "ThrowNew(java/lang/Exception, \"canSetBusParams failed, stat=-1: Error in parameter\")"}}},

    // The handle is recorded first, so the caller can still close the channel.
    {"BusOnFailsAfterRecordingTheHandle",
     0,
     500000,
     {{"canBusOn", canERR_HARDWARE}},
     {},
     true,
     {true,
      "java/lang/Exception",
      "canBusOn failed, stat=-15: A hardware error was detected",
      {"canInitializeLibrary()", "canOpenChannel(0, 0x40) -> {open}",
       "canSetBusParams({open}, 500000, 0, 0, 0, 0, 0) -> 0", "canBusOn({open}) -> -15",
       "GetObjectClass(velmora)",
       "GetFieldID(com/tessivar/bms/can/kvaser/Velmora, \"_handle\", \"I\")",
       "SetIntField(velmora, _handle, {open})", "canGetErrorText(-15, buf, 100) -> 0",
       "FindClass(\"java/lang/Exception\")",
       "ThrowNew(java/lang/Exception, \"canBusOn failed, stat=-15: A hardware error was "
       "detected\")"}}},

    {"BusOnFailsWithoutErrorText",
     0,
     500000,
     {{"canBusOn", canERR_HARDWARE}, {"canGetErrorText", canERR_PARAM, canERR_HARDWARE}},
     {},
     true,
     {true,
      "java/lang/Exception",
      "canBusOn failed, stat=-15: unknown CANlib status -15",
      {"canInitializeLibrary()", "canOpenChannel(0, 0x40) -> {open}",
       "canSetBusParams({open}, 500000, 0, 0, 0, 0, 0) -> 0", "canBusOn({open}) -> -15",
       "GetObjectClass(velmora)",
       "GetFieldID(com/tessivar/bms/can/kvaser/Velmora, \"_handle\", \"I\")",
       "SetIntField(velmora, _handle, {open})", "canGetErrorText(-15, buf, 100) -> -1",
       "FindClass(\"java/lang/Exception\")",
       "ThrowNew(java/lang/Exception, \"canBusOn failed, stat=-15: unknown CANlib status "
       "-15\")"}}},

    // Nowhere to record the handle: close the channel, leave the VM's error as it is.
    {"ClassWithoutHandleField",
     0,
     500000,
     {},
     {VmFailure::GetFieldID},
     false,
     {false,
      "java/lang/NoSuchFieldError",
      "_handle",
      {"canInitializeLibrary()", "canOpenChannel(0, 0x40) -> {open}",
       "canSetBusParams({open}, 500000, 0, 0, 0, 0, 0) -> 0", "canBusOn({open}) -> 0",
       "GetObjectClass(velmora)",
       "GetFieldID(com/tessivar/bms/can/kvaser/Velmora, \"_handle\", \"I\") -> null",
       "canClose({open}) -> 0"}}},

    // One exception only: the VM's error is pending, so the bus-on failure is not raised.
    {"BusOnFailsOnClassWithoutHandleField",
     0,
     500000,
     {{"canBusOn", canERR_HARDWARE}},
     {VmFailure::GetFieldID},
     false,
     {false,
      "java/lang/NoSuchFieldError",
      "_handle",
      {"canInitializeLibrary()", "canOpenChannel(0, 0x40) -> {open}",
       "canSetBusParams({open}, 500000, 0, 0, 0, 0, 0) -> 0", "canBusOn({open}) -> -15",
       "GetObjectClass(velmora)",
       "GetFieldID(com/tessivar/bms/can/kvaser/Velmora, \"_handle\", \"I\") -> null",
       "canClose({open}) -> 0"}}},

    {"ObjectClassUnavailable",
     0,
     500000,
     {},
     {VmFailure::GetObjectClass},
     false,
     {false,
      "java/lang/OutOfMemoryError",
      "no room for a local reference",
      {"canInitializeLibrary()", "canOpenChannel(0, 0x40) -> {open}",
       "canSetBusParams({open}, 500000, 0, 0, 0, 0, 0) -> 0", "canBusOn({open}) -> 0",
       "GetObjectClass(velmora) -> null", "canClose({open}) -> 0"}}},

    // No exception class: the VM's NoClassDefFoundError is what the caller gets.
    {"ExceptionClassUnavailable",
     7,
     500000,
     {},
     {VmFailure::FindClass},
     false,
     {false,
      "java/lang/NoClassDefFoundError",
      "java/lang/Exception",
      {"canInitializeLibrary()", "canOpenChannel(7, 0x40) -> -3",
       "canGetErrorText(0, buf, 100) -> 0", "FindClass(\"java/lang/Exception\") -> null"}}},
};

class InitPaths : public InitContract, public testing::WithParamInterface<InitCase> {};

TEST_P(InitPaths, CallsResultAndException) {
  const InitCase& c = GetParam();
  arm(c.canlibFaults);
  inject(c.vmFailures);

  const jboolean result = velmora_.init(jni_.env(), jni_.velmora(), c.channel, c.bitrate);

  expectOutcome(result, c.outcome);
  if (c.handleRecorded) {
    EXPECT_EQ(jni_.handleFieldWrites(), 1);
    EXPECT_EQ(jni_.handleField(), openedHandle(0));
  } else {
    EXPECT_EQ(jni_.handleFieldWrites(), 0);
  }
  // A channel stays open exactly when its handle reached the caller.
  const int opened = openedHandle(0);
  if (opened >= 0) {
    EXPECT_EQ(vcanReceiveQueueLength(opened) >= 0, c.handleRecorded) << "handle " << opened;
  }
}

INSTANTIATE_TEST_SUITE_P(Init, InitPaths, testing::ValuesIn(kInitCases), caseName<InitCase>);

// The Java bit rate reaches CANlib unchanged, CANlib's negative predefined codes included.
class InitBitrates : public InitContract, public testing::WithParamInterface<jint> {};

TEST_P(InitBitrates, PassedUnchangedWithZeroTiming) {
  const jint bitrate = GetParam();
  EXPECT_EQ(velmora_.init(jni_.env(), jni_.velmora(), 1, bitrate), JNI_TRUE);
  EXPECT_FALSE(jni_.exceptionPending()) << jni_.pendingExceptionMessage();
  const std::string expected = "canSetBusParams({open}, " +
                               std::to_string(static_cast<long>(bitrate)) + ", 0, 0, 0, 0, 0) -> 0";
  EXPECT_NE(callSequence().find(expectedSequence({expected})), std::string::npos) << callSequence();
}

INSTANTIATE_TEST_SUITE_P(Init, InitBitrates,
                         testing::Values(1000000, 125000, 10000, canBITRATE_1M, canBITRATE_500K,
                                         canBITRATE_83K, canBITRATE_10K));

// Every _init initialises CANlib and opens a new handle; the last one is what _handle holds.
TEST_F(InitContract, SecondInitOpensAnotherHandleAndOverwritesTheField) {
  ASSERT_EQ(velmora_.init(jni_.env(), jni_.velmora(), 0, 500000), JNI_TRUE);
  ASSERT_EQ(velmora_.init(jni_.env(), jni_.velmora(), 0, 250000), JNI_TRUE);

  EXPECT_FALSE(jni_.exceptionPending()) << jni_.pendingExceptionMessage();
  EXPECT_NE(openedHandle(0), openedHandle(1));
  EXPECT_EQ(jni_.handleFieldWrites(), 2);
  EXPECT_EQ(jni_.handleField(), openedHandle(1));
  EXPECT_EQ(callSequence(),
            expectedSequence({"canInitializeLibrary()", "canOpenChannel(0, 0x40) -> {open}",
                              "canSetBusParams({open}, 500000, 0, 0, 0, 0, 0) -> 0",
                              "canBusOn({open}) -> 0", "GetObjectClass(velmora)",
                              "GetFieldID(com/tessivar/bms/can/kvaser/Velmora, \"_handle\", \"I\")",
                              "SetIntField(velmora, _handle, {open})", "canInitializeLibrary()",
                              "canOpenChannel(0, 0x40) -> {open2}",
                              "canSetBusParams({open2}, 250000, 0, 0, 0, 0, 0) -> 0",
                              "canBusOn({open2}) -> 0", "GetObjectClass(velmora)",
                              "GetFieldID(com/tessivar/bms/can/kvaser/Velmora, \"_handle\", \"I\")",
                              "SetIntField(velmora, _handle, {open2})"}));
}

}  // namespace
