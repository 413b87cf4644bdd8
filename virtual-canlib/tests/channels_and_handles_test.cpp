// Opening channels, handle numbers, exclusive access, the channel count, unknown handles.
#include <stdlib.h>

#include <functional>
#include <set>
#include <string>

#include "virtual_canlib_fixture.h"

namespace {

using ChannelsAndHandles = VirtualCanlibTest;

TEST_F(ChannelsAndHandles, OpensTheDefaultTwoChannelsAndNoOthers) {
  // The first handle on a fresh bus is 0, which is a valid handle.
  EXPECT_EQ(0, canOpenChannel(0, 0));
  EXPECT_GE(canOpenChannel(1, 0), 0);
  EXPECT_EQ(canERR_NOTFOUND, canOpenChannel(2, 0));
  EXPECT_EQ(canERR_NOTFOUND, canOpenChannel(-1, 0));
}

TEST_F(ChannelsAndHandles, EveryOpenGivesANewHandleUntilTheyRunOut) {
  std::set<CanHandle> handles;
  for (int i = 0; i < VCAN_MAX_HANDLES; ++i) {
    const CanHandle handle = canOpenChannel(i % 2, 0);
    ASSERT_GE(handle, 0) << "open number " << i;
    handles.insert(handle);
  }
  EXPECT_EQ(static_cast<size_t>(VCAN_MAX_HANDLES), handles.size());
  EXPECT_EQ(canERR_NOHANDLES, canOpenChannel(0, 0));

  ASSERT_EQ(canOK, canClose(5));
  EXPECT_EQ(5, canOpenChannel(1, 0)) << "a closed handle's slot is free again";
}

TEST_F(ChannelsAndHandles, ExclusiveOpens) {
  struct Case {
    int first_flags;
    int second_flags;
    int expected;  // canOK for "opens", else the status
  };
  const Case cases[] = {
      {0, 0, canOK},
      {canOPEN_EXCLUSIVE, 0, canERR_NOCHANNELS},
      {canOPEN_EXCLUSIVE, canOPEN_EXCLUSIVE, canERR_NOCHANNELS},
      {0, canOPEN_EXCLUSIVE, canERR_NOCHANNELS},
      {canOPEN_EXCLUSIVE, canOPEN_OVERRIDE_EXCLUSIVE, canOK},
      {0, canOPEN_EXCLUSIVE | canOPEN_OVERRIDE_EXCLUSIVE, canOK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "first " << c.first_flags << ", second " << c.second_flags);
    vcanReset();
    canInitializeLibrary();
    ASSERT_GE(canOpenChannel(0, c.first_flags), 0);
    const CanHandle second = canOpenChannel(0, c.second_flags);
    if (c.expected == canOK) {
      EXPECT_GE(second, 0);
    } else {
      EXPECT_EQ(c.expected, second);
    }
    EXPECT_GE(canOpenChannel(1, 0), 0) << "the other channel is not affected";
  }
}

TEST_F(ChannelsAndHandles, OpenFlagsOutsideTheKnownSetAreRejected) {
  EXPECT_GE(canOpenChannel(0, canOPEN_ACCEPT_VIRTUAL | canOPEN_REQUIRE_EXTENDED |
                                  canOPEN_ACCEPT_LARGE_DLC | canOPEN_OVERRIDE_EXCLUSIVE),
            0);
  EXPECT_EQ(canERR_PARAM, canOpenChannel(0, 0x1));
  EXPECT_EQ(canERR_PARAM, canOpenChannel(0, canOPEN_OVERRIDE_EXCLUSIVE | 0x10000));
}

class ChannelCountFromEnvironment : public VirtualCanlibTest {
 protected:
  void TearDown() override {
    unsetenv(VCAN_CHANNELS_ENV);
    VirtualCanlibTest::TearDown();
  }
  // Opens the highest channel that should exist and the first that should not.
  static void expectChannels(int count) {
    EXPECT_GE(canOpenChannel(count - 1, 0), 0) << count << " channels";
    EXPECT_EQ(canERR_NOTFOUND, canOpenChannel(count, 0)) << count << " channels";
  }
};

TEST_F(ChannelCountFromEnvironment, IsReadAtInitialisation) {
  const std::pair<const char*, int> cases[] = {
      {"5", 5},
      {"1", 1},
      {"64", VCAN_MAX_CHANNELS},
      {"65", VCAN_DEFAULT_CHANNELS},
      {"0", VCAN_DEFAULT_CHANNELS},
      {"3x", VCAN_DEFAULT_CHANNELS},
      {"", VCAN_DEFAULT_CHANNELS},
  };
  for (const auto& [text, channels] : cases) {
    SCOPED_TRACE(std::string("VIRTUAL_CANLIB_CHANNELS=") + text);
    setenv(VCAN_CHANNELS_ENV, text, 1);
    canInitializeLibrary();
    expectChannels(channels);
  }
}

TEST_F(ChannelCountFromEnvironment, SetChannelCountWinsUntilReset) {
  setenv(VCAN_CHANNELS_ENV, "5", 1);
  ASSERT_EQ(canOK, vcanSetChannelCount(3));
  canInitializeLibrary();
  expectChannels(3);

  vcanReset();
  expectChannels(5);

  EXPECT_EQ(canERR_PARAM, vcanSetChannelCount(0));
  EXPECT_EQ(canERR_PARAM, vcanSetChannelCount(VCAN_MAX_CHANNELS + 1));
}

TEST_F(ChannelsAndHandles, EveryCallRejectsAHandleThatIsNotOpen) {
  const CanHandle closed = canOpenChannel(0, 0);
  ASSERT_EQ(canOK, canClose(closed));

  uint8_t data[8] = {};
  long id;
  unsigned int dlc, flags;
  unsigned long time;
  const std::pair<const char*, std::function<int(CanHandle)>> calls[] = {
      {"canSetBusParams",
       [](CanHandle h) { return canSetBusParams(h, canBITRATE_500K, 0, 0, 0, 0, 0); }},
      {"canBusOn", [](CanHandle h) { return canBusOn(h); }},
      {"canWrite", [&](CanHandle h) { return canWrite(h, 1, data, 1, canMSG_STD); }},
      {"canWriteSync", [](CanHandle h) { return canWriteSync(h, 0); }},
      {"canRead", [&](CanHandle h) { return canRead(h, &id, data, &dlc, &flags, &time); }},
      {"canClose", [](CanHandle h) { return canClose(h); }},
      {"vcanInjectFrame",
       [](CanHandle h) {
         const VcanFrame frame{};
         return vcanInjectFrame(h, &frame);
       }},
      {"vcanReceiveQueueLength", [](CanHandle h) { return vcanReceiveQueueLength(h); }},
      {"vcanTransmitQueueLength", [](CanHandle h) { return vcanTransmitQueueLength(h); }},
  };
  for (const auto& [name, call] : calls) {
    for (const CanHandle handle : {closed, -1, VCAN_MAX_HANDLES, 1000000}) {
      EXPECT_EQ(canERR_INVHANDLE, call(handle)) << name << " on handle " << handle;
    }
  }
}

}  // namespace
