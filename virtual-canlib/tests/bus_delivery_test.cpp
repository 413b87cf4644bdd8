// Who receives a frame, what canRead hands over, acknowledgement, the transmit wait and overrun.
#include <chrono>
#include <thread>

#include "virtual_canlib_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

long millisecondsSince(Clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Runs canWriteSync(sender, 5000) on another thread, does `meanwhile` once it is waiting, and
// returns its status; fails the test when the wait only ended by its timeout.
template <typename Action>
canStatus writeSyncWhile(CanHandle sender, Action meanwhile) {
  const Clock::time_point start = Clock::now();
  canStatus waited = canERR_INTERNAL;
  std::thread waiter([&] { waited = canWriteSync(sender, 5000); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  meanwhile();
  waiter.join();
  EXPECT_LT(millisecondsSince(start), 2500) << "woken by the event, not by the timeout";
  return waited;
}

using BusDelivery = VirtualCanlibTest;

TEST_F(BusDelivery, FrameReachesTheOtherChannelWithItsFields) {
  const CanHandle sender = openOnBus(0);
  const CanHandle receiver = openOnBus(1);
  ASSERT_EQ(canOK, sendStandard(sender, 0x123, {0xA1, 0xB2, 0xC3}));
  uint8_t payload[8] = {8, 7, 6, 5, 4, 3, 2, 1};
  ASSERT_EQ(canOK, canWrite(sender, 0x1ABCDEF0, payload, 8, canMSG_EXT));
  ASSERT_EQ(canOK, canWrite(sender, 0x55, nullptr, 2, canMSG_STD | canMSG_RTR));

  const ReadResult standard = readFrame(receiver);
  ASSERT_EQ(canOK, standard.status);
  EXPECT_EQ(0x123, standard.id);
  EXPECT_EQ(3u, standard.dlc);
  EXPECT_EQ(static_cast<unsigned>(canMSG_STD), standard.flags);
  // Only the frame's own bytes are written; the rest of the buffer is left as it was.
  const uint8_t expected_data[8] = {0xA1, 0xB2, 0xC3, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(0, memcmp(expected_data, standard.data, 8));

  const ReadResult extended = readFrame(receiver);
  ASSERT_EQ(canOK, extended.status);
  EXPECT_EQ(0x1ABCDEF0, extended.id);
  EXPECT_EQ(static_cast<unsigned>(canMSG_EXT), extended.flags);
  EXPECT_EQ(0, memcmp(payload, extended.data, 8));

  const ReadResult remote = readFrame(receiver);
  ASSERT_EQ(canOK, remote.status);
  EXPECT_EQ(static_cast<unsigned>(canMSG_STD | canMSG_RTR), remote.flags);
  EXPECT_EQ(2u, remote.dlc);
  EXPECT_EQ(ReadResult::kUntouched, remote.data[0]) << "a remote request has no data";

  EXPECT_EQ(canERR_NOMSG, readFrame(receiver).status);
  EXPECT_EQ(canERR_NOMSG, readFrame(sender).status) << "never back to the sender";
}

TEST_F(BusDelivery, LargeDlcDeliversAtMostEightBytes) {
  const CanHandle sender = openOnBus(0, canBITRATE_500K, canOPEN_ACCEPT_LARGE_DLC);
  const CanHandle receiver = openOnBus(1);
  uint8_t payload[15] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  ASSERT_EQ(canOK, canWrite(sender, 0x10, payload, 12, canMSG_STD));
  const ReadResult frame = readFrame(receiver);
  ASSERT_EQ(canOK, frame.status);
  EXPECT_EQ(12u, frame.dlc);
  EXPECT_EQ(0, memcmp(payload, frame.data, 8));
}

TEST_F(BusDelivery, ReadToleratesNullOutputs) {
  const CanHandle sender = openOnBus(0);
  const CanHandle receiver = openOnBus(1);
  ASSERT_EQ(canOK, sendStandard(sender, 0x10, {1, 2}));
  EXPECT_EQ(canOK, canRead(receiver, nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(0, vcanReceiveQueueLength(receiver)) << "the frame was taken";
}

TEST_F(BusDelivery, TimeStampsAreMilliseconds) {
  const CanHandle sender = openOnBus(0);
  const CanHandle receiver = openOnBus(1);
  ASSERT_EQ(canOK, sendStandard(sender, 0x1, {}));
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  ASSERT_EQ(canOK, sendStandard(sender, 0x2, {}));
  const ReadResult first = readFrame(receiver);
  const ReadResult second = readFrame(receiver);
  ASSERT_EQ(canOK, second.status);
  EXPECT_GE(second.time - first.time, 40u);
  EXPECT_LT(second.time - first.time, 10000u) << "milliseconds, not a finer unit";
}

TEST_F(BusDelivery, OtherHandlesOnTheSendersChannelHearTheLocalEcho) {
  const CanHandle sender = openOnBus(0);
  const CanHandle neighbour = openOnBus(0);
  const CanHandle remote = openOnBus(1);
  const CanHandle off_bus = canOpenChannel(1, 0);
  ASSERT_EQ(canOK, sendStandard(sender, 0x42, {9}));
  EXPECT_EQ(1, vcanReceiveQueueLength(neighbour));
  EXPECT_EQ(1, vcanReceiveQueueLength(remote));
  EXPECT_EQ(0, vcanReceiveQueueLength(sender));
  EXPECT_EQ(0, vcanReceiveQueueLength(off_bus)) << "a handle not on the bus hears nothing";
}

TEST_F(BusDelivery, PredefinedAndExplicitRatesOfTheSameSpeedMeet) {
  const CanHandle sender = openOnBus(0, canBITRATE_62K);
  const CanHandle receiver = openOnBus(1, 62500);
  ASSERT_EQ(canOK, sendStandard(sender, 0x1, {}));
  ASSERT_EQ(canOK, canWriteSync(sender, 0));
  EXPECT_EQ(1, vcanReceiveQueueLength(receiver));
}

TEST_F(BusDelivery, WithoutAcknowledgeTheFrameWaitsUntilANodeJoins) {
  const CanHandle sender = openOnBus(0);
  const CanHandle neighbour = openOnBus(0);  // same channel: hears the echo, cannot acknowledge
  const CanHandle other_rate = openOnBus(1, canBITRATE_250K);
  ASSERT_EQ(canOK, sendStandard(sender, 0x1, {1}));
  ASSERT_EQ(canOK, sendStandard(sender, 0x2, {2}));
  EXPECT_EQ(2, vcanTransmitQueueLength(sender));

  const Clock::time_point start = Clock::now();
  EXPECT_EQ(canERR_TIMEOUT, canWriteSync(sender, 30));
  EXPECT_GE(millisecondsSince(start), 30);
  EXPECT_EQ(canERR_TIMEOUT, canWriteSync(sender, 0));
  EXPECT_EQ(0, vcanReceiveQueueLength(neighbour));
  EXPECT_EQ(0, vcanReceiveQueueLength(other_rate));

  // Matching the bit rate makes channel 1 an acknowledging node: the queue goes out in order.
  ASSERT_EQ(canOK, canSetBusParams(other_rate, canBITRATE_500K, 0, 0, 0, 0, 0));
  EXPECT_EQ(0, vcanTransmitQueueLength(sender));
  EXPECT_EQ(canOK, canWriteSync(sender, 0));
  for (const CanHandle receiver : {neighbour, other_rate}) {
    const std::vector<ReadResult> frames = readAll(receiver);
    ASSERT_EQ(2u, frames.size());
    EXPECT_EQ(0x1, frames[0].id);
    EXPECT_EQ(0x2, frames[1].id);
  }
}

TEST_F(BusDelivery, FramesWrittenOffTheBusGoOutAtBusOn) {
  const CanHandle receiver = openOnBus(1);
  const CanHandle sender = canOpenChannel(0, 0);
  ASSERT_EQ(canOK, sendStandard(sender, 0x7, {}));
  EXPECT_EQ(0, vcanReceiveQueueLength(receiver));
  ASSERT_EQ(canOK, canBusOn(sender));
  EXPECT_EQ(1, vcanReceiveQueueLength(receiver));
}

TEST_F(BusDelivery, WaitingWriteSyncWakesWhenANodeJoins) {
  const CanHandle sender = openOnBus(0);
  ASSERT_EQ(canOK, sendStandard(sender, 0x1, {}));

  EXPECT_EQ(canOK, writeSyncWhile(sender, [] { openOnBus(1); }));
}

TEST_F(BusDelivery, ClosingAHandleDropsItsQueuesAndEndsItsWait) {
  const CanHandle sender = openOnBus(0);
  ASSERT_EQ(canOK, sendStandard(sender, 0x1, {}));

  EXPECT_EQ(canERR_INVHANDLE, writeSyncWhile(sender, [&] { EXPECT_EQ(canOK, canClose(sender)); }));

  // The dropped frame never reaches a node that joins afterwards.
  const CanHandle reopened = openOnBus(0);
  const CanHandle receiver = openOnBus(1);
  EXPECT_EQ(0, vcanReceiveQueueLength(receiver));
  EXPECT_EQ(0, vcanTransmitQueueLength(reopened));
}

TEST_F(BusDelivery, ReadNeverWaitsAndWriteSyncOnAnEmptyQueueReturnsAtOnce) {
  const CanHandle handle = openOnBus(0);
  EXPECT_EQ(canERR_NOMSG, readFrame(handle).status);
  EXPECT_EQ(canOK, canWriteSync(handle, 0));
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(canOK, canWriteSync(handle, 5000));
  EXPECT_LT(millisecondsSince(start), 2500);
}

TEST_F(BusDelivery, OverflowDropsNewFramesAndFlagsTheNextRead) {
  const CanHandle sender = openOnBus(0);
  const CanHandle receiver = openOnBus(1);
  for (int i = 0; i < VCAN_RECEIVE_QUEUE_CAPACITY + 3; ++i) {
    ASSERT_EQ(canOK, canWrite(sender, i & 0x7FF, nullptr, 0, canMSG_STD)) << "frame " << i;
  }
  EXPECT_EQ(VCAN_RECEIVE_QUEUE_CAPACITY, vcanReceiveQueueLength(receiver));

  const std::vector<ReadResult> frames = readAll(receiver);
  ASSERT_EQ(static_cast<size_t>(VCAN_RECEIVE_QUEUE_CAPACITY), frames.size());
  EXPECT_EQ(static_cast<unsigned>(canMSG_STD | canMSGERR_SW_OVERRUN), frames[0].flags);
  for (size_t i = 1; i < frames.size(); ++i) {
    ASSERT_EQ(static_cast<unsigned>(canMSG_STD), frames[i].flags) << "frame " << i;
    ASSERT_EQ(static_cast<long>(i & 0x7FF), frames[i].id) << "the oldest frames are kept";
  }

  // Once reported, the overrun is gone.
  ASSERT_EQ(canOK, sendStandard(sender, 0x1, {}));
  EXPECT_EQ(static_cast<unsigned>(canMSG_STD), readFrame(receiver).flags);
}

}  // namespace
