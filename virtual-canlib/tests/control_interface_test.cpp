// The control interface: armed faults, injected frames, the call log, reset.
#include "virtual_canlib_fixture.h"

namespace {

using ControlInterface = VirtualCanlibTest;

TEST_F(ControlInterface, FaultFiresOnceWithoutDoingTheWork) {
  const CanHandle sender = openOnBus(0);
  const CanHandle receiver = openOnBus(1);
  ASSERT_EQ(canOK, vcanFailCall("canWrite", canERR_HARDWARE, 1, VCAN_ANY_HANDLE));
  EXPECT_EQ(canERR_HARDWARE, sendStandard(sender, 0x1, {}));
  EXPECT_EQ(0, vcanReceiveQueueLength(receiver)) << "a faulted write sends nothing";
  EXPECT_EQ(canOK, sendStandard(sender, 0x2, {}));
  EXPECT_EQ(0x2, readFrame(receiver).id);
}

TEST_F(ControlInterface, FaultForNCallsOnOneHandle) {
  const CanHandle first = openOnBus(0);
  const CanHandle second = openOnBus(1);
  ASSERT_EQ(canOK, vcanFailCall("canRead", canERR_INTERNAL, 2, second));
  ASSERT_EQ(canOK, sendStandard(first, 0x1, {}));
  EXPECT_EQ(canERR_NOMSG, readFrame(first).status) << "the other handle is not faulted";
  EXPECT_EQ(canERR_INTERNAL, readFrame(second).status);
  EXPECT_EQ(canERR_INTERNAL, readFrame(second).status);
  EXPECT_EQ(canOK, readFrame(second).status) << "the faulted reads left the frame queued";
}

TEST_F(ControlInterface, FaultsOnEveryCallThatHasAResult) {
  const CanHandle handle = openOnBus(0);
  const CanHandle receiver = openOnBus(1);

  ASSERT_EQ(canOK, vcanFailCall("canOpenChannel", canERR_NOCHANNELS, 1, 1));
  EXPECT_GE(canOpenChannel(0, 0), 0) << "the fault is for channel 1";
  EXPECT_EQ(canERR_NOCHANNELS, canOpenChannel(1, 0));

  ASSERT_EQ(canOK, vcanFailCall("canSetBusParams", canERR_PARAM, 1, handle));
  EXPECT_EQ(canERR_PARAM, canSetBusParams(handle, canBITRATE_500K, 0, 0, 0, 0, 0));
  ASSERT_EQ(canOK, vcanFailCall("canBusOn", canERR_HARDWARE, 1, VCAN_ANY_HANDLE));
  EXPECT_EQ(canERR_HARDWARE, canBusOn(handle));
  ASSERT_EQ(canOK, vcanFailCall("canWriteSync", canERR_TIMEOUT, 1, VCAN_ANY_HANDLE));
  EXPECT_EQ(canERR_TIMEOUT, canWriteSync(handle, 1000));

  ASSERT_EQ(canOK, vcanFailCall("canClose", canERR_INTERNAL, 1, handle));
  EXPECT_EQ(canERR_INTERNAL, canClose(handle));
  ASSERT_EQ(canOK, sendStandard(handle, 0x1, {})) << "a faulted close left the handle open";
  EXPECT_EQ(1, vcanReceiveQueueLength(receiver));

  ASSERT_EQ(canOK, vcanFailCall("canGetErrorText", canERR_INTERNAL, 1, canERR_TIMEOUT));
  char text[16] = "before";
  EXPECT_EQ(canERR_INTERNAL, canGetErrorText(canERR_TIMEOUT, text, sizeof text));
  EXPECT_STREQ("before", text) << "a faulted call leaves the buffer alone";
  EXPECT_EQ(canOK, canGetErrorText(canERR_TIMEOUT, text, sizeof text));
  EXPECT_STREQ("Timeout occurre", text);
}

TEST_F(ControlInterface, FirstArmedMatchingFaultFiresFirst) {
  const CanHandle handle = openOnBus(0);
  ASSERT_EQ(canOK, vcanFailCall("canBusOn", canERR_HARDWARE, 1, VCAN_ANY_HANDLE));
  ASSERT_EQ(canOK, vcanFailCall("canBusOn", canERR_DRIVER, 1, handle));
  EXPECT_EQ(canERR_HARDWARE, canBusOn(handle));
  EXPECT_EQ(canERR_DRIVER, canBusOn(handle));
  EXPECT_EQ(canOK, canBusOn(handle));
}

TEST_F(ControlInterface, ArmingRejectsWhatCannotFire) {
  EXPECT_EQ(canERR_PARAM, vcanFailCall("canFlyToTheMoon", canERR_PARAM, 1, VCAN_ANY_HANDLE));
  EXPECT_EQ(canERR_PARAM, vcanFailCall(nullptr, canERR_PARAM, 1, VCAN_ANY_HANDLE));
  EXPECT_EQ(canERR_PARAM, vcanFailCall("canInitializeLibrary", canERR_PARAM, 1, VCAN_ANY_HANDLE));
  EXPECT_EQ(canERR_PARAM, vcanFailCall("canWrite", canERR_PARAM, 0, VCAN_ANY_HANDLE));

  int armed = 0;
  while (vcanFailCall("canRead", canERR_INTERNAL, 1, 99) == canOK) {
    ASSERT_LT(++armed, 10000) << "the fault table never fills";
  }
  EXPECT_GT(armed, 0);
  vcanClearFaults();
  EXPECT_EQ(canOK, vcanFailCall("canRead", canERR_INTERNAL, 1, 99)) << "cleared, room again";
}

TEST_F(ControlInterface, ClearedFaultsNoLongerFire) {
  const CanHandle handle = openOnBus(0);
  ASSERT_EQ(canOK, vcanFailCall("canBusOn", canERR_HARDWARE, 5, VCAN_ANY_HANDLE));
  vcanClearFaults();
  EXPECT_EQ(canOK, canBusOn(handle));
}

TEST_F(ControlInterface, InjectedFramesAreReadAsGiven) {
  const CanHandle handle = openOnBus(0);
  VcanFrame frame{};
  frame.id = 0x18FF1234;
  frame.flags = canMSG_EXT;
  frame.dlc = 2;
  frame.data[0] = 0xCA;
  frame.data[1] = 0xFE;
  ASSERT_EQ(canOK, vcanInjectFrame(handle, &frame));
  frame.id = 0;
  frame.flags = canMSG_ERROR_FRAME;
  frame.dlc = 0;
  ASSERT_EQ(canOK, vcanInjectFrame(handle, &frame));
  EXPECT_EQ(canERR_PARAM, vcanInjectFrame(handle, nullptr));

  const ReadResult extended = readFrame(handle);
  ASSERT_EQ(canOK, extended.status);
  EXPECT_EQ(0x18FF1234, extended.id);
  EXPECT_EQ(static_cast<unsigned>(canMSG_EXT), extended.flags);
  EXPECT_EQ(2u, extended.dlc);
  EXPECT_EQ(0xCA, extended.data[0]);
  EXPECT_EQ(0xFE, extended.data[1]);
  EXPECT_EQ(ReadResult::kUntouched, extended.data[2]);
  EXPECT_EQ(static_cast<unsigned>(canMSG_ERROR_FRAME), readFrame(handle).flags);
}

TEST_F(ControlInterface, InjectingIntoAFullQueueMarksAnOverrun) {
  const CanHandle handle = openOnBus(0);
  VcanFrame frame{};
  frame.flags = canMSG_STD;
  for (int i = 0; i <= VCAN_RECEIVE_QUEUE_CAPACITY; ++i) {
    ASSERT_EQ(canOK, vcanInjectFrame(handle, &frame));
  }
  EXPECT_EQ(VCAN_RECEIVE_QUEUE_CAPACITY, vcanReceiveQueueLength(handle));
  EXPECT_NE(0u, readFrame(handle).flags & canMSGERR_SW_OVERRUN);
}

TEST_F(ControlInterface, CallLogRecordsEveryCallWithItsArguments) {
  const CanHandle sender = openOnBus(0);
  const CanHandle receiver = openOnBus(1);
  ASSERT_EQ(0, vcanCallCount()) << "not recording by default";

  vcanRecordCalls(1);
  canInitializeLibrary();
  const CanHandle opened = canOpenChannel(1, canOPEN_ACCEPT_VIRTUAL);
  canSetBusParams(opened, 250000, 1, 2, 3, 1, 0);
  canBusOn(opened);
  uint8_t payload[3] = {7, 8, 9};
  canWrite(sender, 0x321, payload, 3, canMSG_STD);
  canWriteSync(sender, 30);
  readFrame(receiver);
  readFrame(receiver);
  char text[10];
  canGetErrorText(canERR_NOMSG, text, sizeof text);
  canClose(opened);

  struct Expected {
    VcanCall call;
    int handle;
    std::vector<int64_t> args;
    int result;
  };
  const Expected expected[] = {
      {VCAN_CALL_INITIALIZE_LIBRARY, 0, {}, 0},
      {VCAN_CALL_OPEN_CHANNEL, 1, {canOPEN_ACCEPT_VIRTUAL}, opened},
      {VCAN_CALL_SET_BUS_PARAMS, opened, {250000, 1, 2, 3, 1, 0}, canOK},
      {VCAN_CALL_BUS_ON, opened, {}, canOK},
      {VCAN_CALL_WRITE, sender, {0x321, 3, canMSG_STD, 1}, canOK},
      {VCAN_CALL_WRITE_SYNC, sender, {30}, canOK},
      {VCAN_CALL_READ, receiver, {}, canOK},
      {VCAN_CALL_READ, receiver, {}, canERR_NOMSG},
      {VCAN_CALL_GET_ERROR_TEXT, canERR_NOMSG, {10, 1}, canOK},
      {VCAN_CALL_CLOSE, opened, {}, canOK},
  };
  ASSERT_EQ(static_cast<int>(std::size(expected)), vcanCallCount());
  for (int i = 0; i < vcanCallCount(); ++i) {
    VcanCallRecord record;
    ASSERT_EQ(canOK, vcanCallAt(i, &record));
    EXPECT_EQ(expected[i].call, record.call) << "record " << i;
    EXPECT_EQ(expected[i].handle, record.handle) << "record " << i;
    EXPECT_EQ(expected[i].result, record.result) << "record " << i;
    for (size_t arg = 0; arg < expected[i].args.size(); ++arg) {
      EXPECT_EQ(expected[i].args[arg], record.args[arg]) << "record " << i << " arg " << arg;
    }
  }

  VcanCallRecord write, read;
  ASSERT_EQ(canOK, vcanCallAt(4, &write));
  EXPECT_EQ(0x321, write.frame.id);
  EXPECT_EQ(3u, write.frame.dlc);
  EXPECT_EQ(0, memcmp(payload, write.frame.data, 3));
  ASSERT_EQ(canOK, vcanCallAt(6, &read));
  EXPECT_EQ(0x321, read.frame.id);
  EXPECT_EQ(static_cast<unsigned>(canMSG_STD), read.frame.flags);
  EXPECT_EQ(0, memcmp(payload, read.frame.data, 3));

  VcanCallRecord unused;
  EXPECT_EQ(canERR_PARAM, vcanCallAt(-1, &unused));
  EXPECT_EQ(canERR_PARAM, vcanCallAt(vcanCallCount(), &unused));
  EXPECT_EQ(canERR_PARAM, vcanCallAt(0, nullptr));

  vcanRecordCalls(0);
  EXPECT_EQ(0, vcanCallCount()) << "stopping empties the log";
  canBusOn(sender);
  EXPECT_EQ(0, vcanCallCount());
}

TEST_F(ControlInterface, CallLogKeepsTheFirstCallsWhenFull) {
  const CanHandle handle = openOnBus(0);
  vcanRecordCalls(1);
  canBusOn(handle);
  for (int i = 0; i < VCAN_CALL_LOG_CAPACITY + 10; ++i) readFrame(handle);
  EXPECT_EQ(VCAN_CALL_LOG_CAPACITY, vcanCallCount());
  VcanCallRecord first;
  ASSERT_EQ(canOK, vcanCallAt(0, &first));
  EXPECT_EQ(VCAN_CALL_BUS_ON, first.call);
}

TEST_F(ControlInterface, ResetStartsAFreshBus) {
  const CanHandle sender = openOnBus(0);
  const CanHandle receiver = openOnBus(1);
  ASSERT_EQ(canOK, sendStandard(sender, 0x1, {}));
  ASSERT_EQ(canOK, vcanFailCall("canBusOn", canERR_HARDWARE, 1, VCAN_ANY_HANDLE));
  vcanRecordCalls(1);
  ASSERT_EQ(canOK, vcanSetChannelCount(8));

  vcanReset();
  EXPECT_EQ(canERR_INVHANDLE, canClose(sender)) << "every handle closed";
  EXPECT_EQ(canERR_INVHANDLE, vcanReceiveQueueLength(receiver));
  EXPECT_EQ(0, vcanCallCount()) << "log emptied and off";
  EXPECT_EQ(canERR_NOTFOUND, canOpenChannel(7, 0)) << "channel count back to the default";
  const CanHandle fresh = canOpenChannel(0, 0);
  EXPECT_EQ(0, fresh) << "handle numbers start again";
  EXPECT_EQ(canOK, canBusOn(fresh)) << "faults cleared";
  EXPECT_EQ(0, vcanReceiveQueueLength(fresh));
}

}  // namespace
