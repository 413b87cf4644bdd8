// Shared setup for the virtual CANlib tests: a fresh, initialised bus per test and small helpers
// for opening handles and reading frames.
#ifndef VELMORA_VIRTUAL_CANLIB_TESTS_FIXTURE_H
#define VELMORA_VIRTUAL_CANLIB_TESTS_FIXTURE_H

#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <vector>

#include "canlib.h"
#include "virtual_canlib_control.h"

// What one canRead returned. `data` starts as kUntouched bytes, so a test sees what was written.
struct ReadResult {
  static constexpr uint8_t kUntouched = 0xEE;
  canStatus status;
  long id = -1;
  uint8_t data[8];
  unsigned int dlc = 99;
  unsigned int flags = 0;
  unsigned long time = 0;
};

inline ReadResult readFrame(CanHandle handle) {
  ReadResult result;
  for (uint8_t& byte : result.data) byte = ReadResult::kUntouched;
  result.status =
      canRead(handle, &result.id, result.data, &result.dlc, &result.flags, &result.time);
  return result;
}

// Everything waiting on `handle`, in order.
inline std::vector<ReadResult> readAll(CanHandle handle) {
  std::vector<ReadResult> frames;
  for (ReadResult frame = readFrame(handle); frame.status == canOK; frame = readFrame(handle)) {
    frames.push_back(frame);
  }
  return frames;
}

inline canStatus sendStandard(CanHandle handle, long id, std::vector<uint8_t> data) {
  return canWrite(handle, id, data.data(), static_cast<unsigned int>(data.size()), canMSG_STD);
}

class VirtualCanlibTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vcanReset();
    canInitializeLibrary();
  }
  void TearDown() override { vcanReset(); }

  // A new handle on `channel`, at `freq`, on the bus; fails the test when any step fails.
  static CanHandle openOnBus(int channel, long freq = canBITRATE_500K, int flags = 0) {
    const CanHandle handle = canOpenChannel(channel, flags);
    EXPECT_GE(handle, 0) << "canOpenChannel(" << channel << ")";
    EXPECT_EQ(canOK, canSetBusParams(handle, freq, 0, 0, 0, 0, 0));
    EXPECT_EQ(canOK, canBusOn(handle));
    return handle;
  }
};

#endif
