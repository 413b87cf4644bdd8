// Many threads on many handles at once: every frame arrives exactly once, in order per sender.
#include <atomic>
#include <chrono>
#include <thread>

#include "virtual_canlib_fixture.h"

namespace {

using Concurrency = VirtualCanlibTest;

constexpr int kNodes = 4;
constexpr int kFramesPerNode = 3000;

// Frame `sequence` from node `node`: the node in the id, the sequence in the first data bytes.
canStatus sendNumbered(CanHandle handle, int node, int sequence) {
  uint8_t data[3] = {static_cast<uint8_t>(sequence), static_cast<uint8_t>(sequence >> 8),
                     static_cast<uint8_t>(node)};
  return canWrite(handle, 0x100 + node, data, 3, canMSG_STD);
}

TEST_F(Concurrency, EveryFrameArrivesOnceAndInOrderPerSender) {
  ASSERT_EQ(canOK, vcanSetChannelCount(kNodes));
  CanHandle handles[kNodes];
  for (int node = 0; node < kNodes; ++node) handles[node] = openOnBus(node);

  std::atomic<bool> failed{false};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::vector<std::thread> threads;
  for (int node = 0; node < kNodes; ++node) {
    // A sender, which backs off while a receiver falls behind so no queue overflows.
    threads.emplace_back([&, node] {
      for (int sequence = 0; sequence < kFramesPerNode && !failed; ++sequence) {
        for (int other = 0; other < kNodes; ++other) {
          while (vcanReceiveQueueLength(handles[other]) > VCAN_RECEIVE_QUEUE_CAPACITY / 2 &&
                 !failed) {
            std::this_thread::yield();
          }
        }
        if (sendNumbered(handles[node], node, sequence) != canOK ||
            canWriteSync(handles[node], 1000) != canOK) {
          failed = true;
        }
      }
    });
  }
  int next_expected[kNodes][kNodes] = {};  // [receiver][sender]
  std::atomic<int> bad_frames{0};
  for (int node = 0; node < kNodes; ++node) {
    // A reader, which checks sequence numbers as the frames arrive.
    threads.emplace_back([&, node] {
      int received = 0;
      while (received < (kNodes - 1) * kFramesPerNode && !failed) {
        if (std::chrono::steady_clock::now() > deadline) {
          failed = true;  // frames went missing; stop the senders too
          return;
        }
        const ReadResult frame = readFrame(handles[node]);
        if (frame.status == canERR_NOMSG) {
          std::this_thread::yield();
          continue;
        }
        const int sender = static_cast<int>(frame.id) - 0x100;
        const int sequence = frame.data[0] | frame.data[1] << 8;
        if (frame.status != canOK || sender < 0 || sender >= kNodes || sender == node ||
            frame.data[2] != sender || frame.flags != canMSG_STD ||
            sequence != next_expected[node][sender]) {
          ++bad_frames;
          failed = true;
          return;
        }
        ++next_expected[node][sender];
        ++received;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  EXPECT_FALSE(failed);
  EXPECT_EQ(0, bad_frames);
  for (int receiver = 0; receiver < kNodes; ++receiver) {
    for (int sender = 0; sender < kNodes; ++sender) {
      if (sender == receiver) continue;
      EXPECT_EQ(kFramesPerNode, next_expected[receiver][sender])
          << "frames from " << sender << " at " << receiver;
    }
    EXPECT_EQ(0, vcanReceiveQueueLength(handles[receiver])) << "nothing duplicated";
  }
}

TEST_F(Concurrency, ManyWaitersAllWakeWhenTheBusAcknowledges) {
  constexpr int kWaiters = 6;
  CanHandle senders[kWaiters];
  for (CanHandle& sender : senders) {
    sender = openOnBus(0);
    ASSERT_EQ(canOK, sendStandard(sender, 0x1, {}));
  }
  std::atomic<int> acknowledged{0};
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> waiters;
  for (const CanHandle sender : senders) {
    waiters.emplace_back([&, sender] {
      if (canWriteSync(sender, 5000) == canOK) ++acknowledged;
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const CanHandle receiver = openOnBus(1);
  for (std::thread& waiter : waiters) waiter.join();
  EXPECT_EQ(kWaiters, acknowledged);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500))
      << "woken by the acknowledge, not by their timeouts";
  EXPECT_EQ(kWaiters, vcanReceiveQueueLength(receiver));
}

}  // namespace
