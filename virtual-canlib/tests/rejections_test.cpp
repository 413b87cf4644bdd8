// What canSetBusParams and canWrite refuse, and that a refused call changes nothing.
#include "virtual_canlib_fixture.h"

namespace {

using Rejections = VirtualCanlibTest;

TEST_F(Rejections, BusParams) {
  struct Case {
    long freq;
    unsigned int samples;
    canStatus expected;
  };
  const Case cases[] = {
      {canBITRATE_1M, 0, canOK},
      {canBITRATE_500K, 1, canOK},
      {canBITRATE_250K, 3, canOK},
      {canBITRATE_125K, 0, canOK},
      {canBITRATE_100K, 0, canOK},
      {canBITRATE_62K, 0, canOK},
      {canBITRATE_50K, 0, canOK},
      {canBITRATE_83K, 0, canOK},
      {canBITRATE_10K, 0, canOK},
      {-10, 0, canERR_PARAM},
      {-1000, 0, canERR_PARAM},
      {0, 0, canERR_PARAM},
      {4999, 0, canERR_PARAM},
      {5000, 0, canOK},
      {500000, 0, canOK},
      {1000000, 0, canOK},
      {1000001, 0, canERR_PARAM},
      {canBITRATE_500K, 2, canERR_PARAM},
      {canBITRATE_500K, 4, canERR_PARAM},
  };
  const CanHandle handle = canOpenChannel(0, 0);
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, canSetBusParams(handle, c.freq, 0, 0, 0, c.samples, 0))
        << "freq " << c.freq << ", samples " << c.samples;
  }
}

TEST_F(Rejections, RefusedBitRateKeepsThePreviousOne) {
  const CanHandle sender = openOnBus(0, canBITRATE_250K);
  const CanHandle receiver = openOnBus(1, canBITRATE_250K);
  ASSERT_EQ(canERR_PARAM, canSetBusParams(receiver, -42, 0, 0, 0, 0, 0));
  ASSERT_EQ(canOK, sendStandard(sender, 0x10, {1}));
  EXPECT_EQ(canOK, readFrame(receiver).status);
}

TEST_F(Rejections, Write) {
  struct Case {
    const char* what;
    long id;
    bool null_data;
    unsigned int dlc;
    unsigned int flag;
    bool large_dlc_channel;
    canStatus expected;
  };
  const Case cases[] = {
      {"highest standard id", 0x7FF, false, 8, canMSG_STD, false, canOK},
      {"standard id 0x800", 0x800, false, 8, canMSG_STD, false, canERR_PARAM},
      {"no type flag is standard", 0x800, false, 1, 0, false, canERR_PARAM},
      {"highest extended id", 0x1FFFFFFF, false, 8, canMSG_EXT, false, canOK},
      {"extended id 2^29", 0x20000000, false, 8, canMSG_EXT, false, canERR_PARAM},
      {"negative standard id", -1, false, 1, canMSG_STD, false, canERR_PARAM},
      {"negative extended id", -1, false, 1, canMSG_EXT, false, canERR_PARAM},
      {"both STD and EXT", 0x10, false, 1, canMSG_STD | canMSG_EXT, false, canERR_PARAM},
      {"dlc 9", 0x10, false, 9, canMSG_STD, false, canERR_PARAM},
      {"dlc 9 with large DLC", 0x10, false, 9, canMSG_STD, true, canOK},
      {"dlc 15 with large DLC", 0x10, false, 15, canMSG_STD, true, canOK},
      {"dlc 16 with large DLC", 0x10, false, 16, canMSG_STD, true, canERR_PARAM},
      {"null data, dlc 1", 0x10, true, 1, canMSG_STD, false, canERR_PARAM},
      {"null data, dlc 0", 0x10, true, 0, canMSG_STD, false, canOK},
      {"null data, remote request", 0x10, true, 4, canMSG_STD | canMSG_RTR, false, canOK},
  };
  uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    vcanReset();
    canInitializeLibrary();
    const CanHandle sender =
        openOnBus(0, canBITRATE_500K, c.large_dlc_channel ? canOPEN_ACCEPT_LARGE_DLC : 0);
    const CanHandle receiver = openOnBus(1);
    EXPECT_EQ(c.expected, canWrite(sender, c.id, c.null_data ? nullptr : data, c.dlc, c.flag));
    EXPECT_EQ(c.expected == canOK ? 1 : 0, vcanReceiveQueueLength(receiver));
    EXPECT_EQ(0, vcanTransmitQueueLength(sender));
  }
}

TEST_F(Rejections, FullTransmitQueue) {
  const CanHandle lonely = openOnBus(0);  // nobody acknowledges, so every frame stays queued
  for (int i = 0; i < VCAN_TRANSMIT_QUEUE_CAPACITY; ++i) {
    ASSERT_EQ(canOK, sendStandard(lonely, i, {})) << "frame " << i;
  }
  EXPECT_EQ(canERR_TXBUFOFL, sendStandard(lonely, 0x7FF, {}));
  EXPECT_EQ(VCAN_TRANSMIT_QUEUE_CAPACITY, vcanTransmitQueueLength(lonely));

  // The refused frame is not sent later either.
  const CanHandle listener = openOnBus(1);
  const std::vector<ReadResult> frames = readAll(listener);
  ASSERT_EQ(static_cast<size_t>(VCAN_TRANSMIT_QUEUE_CAPACITY), frames.size());
  EXPECT_EQ(VCAN_TRANSMIT_QUEUE_CAPACITY - 1, frames.back().id);
}

}  // namespace
