// One bus for several processes: this test process and bus_peer processes on a bus named for this
// run, exchanging frames, dying in the middle of it (also while holding the bus lock, and half-way
// through a delivery), and meeting a segment they must not use.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "bus_peer_process.h"
#include "numbered_frames.h"
#include "virtual_canlib_fixture.h"

namespace {

constexpr const char* kBusPrefix = "velmora-xproc-";

std::string busName() {
  return kBusPrefix + std::to_string(getpid());
}

// `count` frames with `id`, numbered 0, 1, ... in order.
void expectNumberedFrames(const std::vector<ReadResult>& frames, long id, uint32_t count) {
  ASSERT_EQ(count, frames.size());
  for (uint32_t i = 0; i < count; ++i) {
    ASSERT_EQ(id, frames[i].id);
    ASSERT_EQ(i, frameNumber(frames[i].data)) << "frame " << i << " of id " << id;
    ASSERT_EQ(canMSG_STD, frames[i].flags) << "no overrun, nothing else";
  }
}

std::vector<ReadResult> readAllWithin(CanHandle handle, size_t wanted, int timeout_ms) {
  std::vector<ReadResult> frames;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (frames.size() < wanted && std::chrono::steady_clock::now() < deadline) {
    const ReadResult frame = readFrame(handle);
    if (frame.status == canOK) {
      frames.push_back(frame);
    } else {
      usleep(200);
    }
  }
  return frames;
}

bool killedBySigkill(int status) {
  return status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}
bool exitedCleanly(int status) {
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

using CrossProcess = VirtualCanlibTest;

TEST_F(CrossProcess, TwoProcessesExchangeFramesBothWaysInOrder) {
  constexpr uint32_t kFrames = 1000;  // within one receive queue, so a slow reader loses none
  const CanHandle handle = openOnBus(0);
  BusPeerProcess peer({"exchange", "1", std::to_string(kFrames), "2", "1"});
  ASSERT_EQ("ready", peer.awaitLine("ready")) << peer.transcript();
  peer.send("go");

  std::vector<ReadResult> received;
  uint32_t sent = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while ((sent < kFrames || received.size() < kFrames) &&
         std::chrono::steady_clock::now() < deadline) {
    if (sent < kFrames && sendNumbered(handle, 1, sent) == canOK) ++sent;
    for (ReadResult frame = readFrame(handle); frame.status == canOK; frame = readFrame(handle)) {
      received.push_back(frame);
    }
  }
  ASSERT_EQ(kFrames, sent);
  expectNumberedFrames(received, 2, kFrames);  // the peer's, never our own back
  EXPECT_EQ("ok", peer.awaitLine("ok")) << peer.transcript();
  EXPECT_TRUE(exitedCleanly(peer.wait())) << peer.transcript();
}

TEST_F(CrossProcess, ASenderKilledMidStreamLeavesTheReceiverAndTheBusWorking) {
  const CanHandle receiver = openOnBus(1);
  {
    BusPeerProcess sender({"send", "0", "0x123", "0"});
    ASSERT_EQ("ready", sender.awaitLine("ready")) << sender.transcript();
    const std::vector<ReadResult> before = readAllWithin(receiver, 300, 20000);
    ASSERT_EQ(300u, before.size());
    sender.kill();
    ASSERT_TRUE(killedBySigkill(sender.wait()));
    // Everything the sender got out before it died, and nothing half: numbered without a gap.
    std::vector<ReadResult> all = before;
    const std::vector<ReadResult> rest = readAll(receiver);
    all.insert(all.end(), rest.begin(), rest.end());
    expectNumberedFrames(all, 0x123, static_cast<uint32_t>(all.size()));
  }
  // A new process joins (and its open clears the dead sender's handle off the bus).
  BusPeerProcess newcomer({"send", "0", "0x124", "10"});
  EXPECT_EQ("ok", newcomer.awaitLine("ok")) << newcomer.transcript();
  EXPECT_TRUE(exitedCleanly(newcomer.wait()));
  expectNumberedFrames(readAll(receiver), 0x124, 10);
  // Nobody is left to acknowledge: the dead sender's handle went off the bus.
  EXPECT_EQ(canOK, sendStandard(receiver, 0x7, {1}));
  EXPECT_EQ(canERR_TIMEOUT, canWriteSync(receiver, 50));
}

TEST_F(CrossProcess, AProcessKilledWhileHoldingTheBusLockDoesNotWedgeTheBus) {
  const CanHandle a = openOnBus(0);
  const CanHandle b = openOnBus(1);
  BusPeerProcess holder({"hold-lock"});
  ASSERT_EQ("locked", holder.awaitLine("locked")) << holder.transcript();

  std::future<canStatus> write =
      std::async(std::launch::async, [a] { return sendStandard(a, 0x55, {5}); });
  ASSERT_EQ(std::future_status::timeout, write.wait_for(std::chrono::milliseconds(100)))
      << "the peer holds the lock, so the write waits";
  holder.kill();
  ASSERT_EQ(std::future_status::ready, write.wait_for(std::chrono::seconds(5)))
      << "the holder's death hands the lock on";
  EXPECT_EQ(canOK, write.get());
  EXPECT_TRUE(killedBySigkill(holder.wait()));
  const ReadResult frame = readFrame(b);
  EXPECT_EQ(canOK, frame.status);
  EXPECT_EQ(0x55, frame.id);

  // And a new process can use it.
  BusPeerProcess newcomer({"send", "0", "0x66", "3"});
  EXPECT_EQ("ok", newcomer.awaitLine("ok")) << newcomer.transcript();
  EXPECT_TRUE(exitedCleanly(newcomer.wait()));
  const std::vector<ReadResult> frames = readAll(b);
  expectNumberedFrames(frames, 0x66, 3);
}

// A sender dies half-way through delivering one frame to two receivers: they get it both or
// neither, never one of them, and the bus goes on.
TEST_F(CrossProcess, AFrameIsNeverHalfDelivered) {
  struct Case {
    VcanCrashPoint point;
    size_t copies;
  };
  for (const Case& c :
       {Case{VCAN_CRASH_BEFORE_COMMIT, 0}, Case{VCAN_CRASH_AFTER_FIRST_RECEIVER, 1}}) {
    SCOPED_TRACE(c.point);
    const CanHandle first = openOnBus(1);
    const CanHandle second = openOnBus(1);
    BusPeerProcess sender({"crash", std::to_string(c.point), "0", "0x77"});
    ASSERT_EQ("ready", sender.awaitLine("ready")) << sender.transcript();
    sender.send("go");
    ASSERT_TRUE(killedBySigkill(sender.wait())) << sender.transcript();

    EXPECT_EQ(c.copies, readAll(first).size());
    EXPECT_EQ(c.copies, readAll(second).size());
    // The bus is whole: the dead sender is off it, and a newcomer reaches the receivers.
    EXPECT_EQ(canOK, sendStandard(first, 0x78, {1}));
    EXPECT_EQ(canERR_TIMEOUT, canWriteSync(first, 20)) << "no node on another channel is left";
    canClose(first);  // and its unacknowledged frame with it
    BusPeerProcess newcomer({"send", "0", "0x79", "3"});
    EXPECT_EQ("ok", newcomer.awaitLine("ok")) << newcomer.transcript();
    EXPECT_TRUE(exitedCleanly(newcomer.wait()));
    expectNumberedFrames(readAll(second), 0x79, 3);
    canClose(second);
  }
}

TEST_F(CrossProcess, ManyProcessesAtOnce) {
  constexpr int kPeers = 8;
  constexpr int kFrames = 100;  // (kPeers - 1) * kFrames fits one receive queue
  std::vector<std::unique_ptr<BusPeerProcess>> peers;
  for (int i = 0; i < kPeers; ++i) {
    peers.push_back(std::make_unique<BusPeerProcess>(
        std::vector<std::string>{"many", std::to_string(i % 4), std::to_string(i),
                                 std::to_string(kPeers), std::to_string(kFrames)},
        std::vector<std::string>{"VIRTUAL_CANLIB_CHANNELS=4"}));
  }
  for (auto& peer : peers) ASSERT_EQ("ready", peer->awaitLine("ready")) << peer->transcript();
  for (auto& peer : peers) peer->send("go");
  for (auto& peer : peers) EXPECT_EQ("done", peer->awaitLine("done")) << peer->transcript();
  for (auto& peer : peers) peer->send("quit");
  for (auto& peer : peers) EXPECT_TRUE(exitedCleanly(peer->wait())) << peer->transcript();
}

TEST_F(CrossProcess, ResetClosesOwnHandlesAndResetBusEveryonesHandles) {
  BusPeerProcess peer({"hold-handle", "0"});
  ASSERT_EQ("ready", peer.awaitLine("ready")) << peer.transcript();
  const CanHandle own = openOnBus(1);

  vcanReset();
  EXPECT_EQ(canERR_INVHANDLE, readFrame(own).status);
  peer.send("check");
  EXPECT_EQ("status -2", peer.awaitLine("status")) << "another process's handle stays open";

  vcanResetBus();
  peer.send("check");
  EXPECT_EQ("status -10", peer.awaitLine("status")) << "a bus reset closes it";
  peer.send("quit");
  EXPECT_TRUE(exitedCleanly(peer.wait()));
}

TEST_F(CrossProcess, AForkedChildHasNoneOfItsParentsHandles) {
  const CanHandle parent_handle = openOnBus(0);
  const pid_t child = fork();
  if (child == 0) {
    // Exit codes tell the parent which step went wrong.
    if (readFrame(parent_handle).status != canERR_INVHANDLE) _exit(1);
    const CanHandle own = canOpenChannel(1, 0);
    if (own != 0) _exit(2);  // its handle numbers start afresh
    if (canBusOn(own) != canOK || sendStandard(own, 0x42, {1}) != canOK) _exit(3);
    if (canWriteSync(own, 5000) != canOK) _exit(4);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  EXPECT_TRUE(exitedCleanly(status)) << "child exit " << WEXITSTATUS(status);
  const ReadResult frame = readFrame(parent_handle);
  EXPECT_EQ(canOK, frame.status);
  EXPECT_EQ(0x42, frame.id);
}

// A segment made by something else, or half made by a process that died, under another name.
TEST(CrossProcessSegment, AnIncompatibleSegmentIsRefusedAndAHalfMadeOneReplaced) {
  struct Header {  // the fixed first bytes of every bus segment
    uint32_t magic, format_version, pointer_bits, ready;
    uint64_t size;
    int32_t creator_pid, reserved;
  };
  struct Case {
    const char* what;
    uint32_t magic_delta, version_delta, bits;
    int64_t size_delta;
    uint32_t ready;
    const char* expected;
  };
  // A dead pid for the half-made segment: a child that has exited and been reaped.
  const pid_t dead = fork();
  if (dead == 0) _exit(0);
  waitpid(dead, nullptr, 0);

  // The size of this library's segment, from a segment it made.
  const std::string reference = busName() + "-reference";
  BusPeerProcess maker({"open", "0"}, {"VIRTUAL_CANLIB_BUS=" + reference});
  ASSERT_EQ("status 0", maker.awaitLine("status")) << maker.transcript();
  maker.wait();
  const std::string reference_path = "/" + reference;
  const int reference_fd = shm_open(reference_path.c_str(), O_RDONLY, 0);
  ASSERT_GE(reference_fd, 0);
  Header good;
  ASSERT_EQ(static_cast<ssize_t>(sizeof good), read(reference_fd, &good, sizeof good));
  close(reference_fd);
  shm_unlink(reference_path.c_str());

  const Case cases[] = {
      {"other format version", 0, 1, good.pointer_bits, 0, 1, "status -12"},
      {"other pointer width", 0, 0, good.pointer_bits == 64 ? 32u : 64u, 0, 1, "status -12"},
      {"other size", 0, 0, good.pointer_bits, 4096, 1, "status -12"},
      {"not a bus", 1, 0, good.pointer_bits, 0, 1, "status -12"},
      {"creator died before finishing", 0, 0, good.pointer_bits, 0, 0, "status 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = busName() + "-segment";
    const std::string path = "/" + name;
    shm_unlink(path.c_str());
    const int fd = shm_open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    Header header = good;
    header.magic += c.magic_delta;
    header.format_version += c.version_delta;
    header.pointer_bits = c.bits;
    header.size = static_cast<uint64_t>(static_cast<int64_t>(good.size) + c.size_delta);
    header.ready = c.ready;
    header.creator_pid = dead;
    ASSERT_EQ(0, ftruncate(fd, static_cast<off_t>(header.size)));
    ASSERT_EQ(static_cast<ssize_t>(sizeof header), write(fd, &header, sizeof header));
    close(fd);

    BusPeerProcess peer({"open", "0"}, {"VIRTUAL_CANLIB_BUS=" + name});
    EXPECT_EQ(c.expected, peer.awaitLine("status")) << peer.transcript();
    if (c.ready) {
      EXPECT_NE(std::string::npos, peer.transcript().find("canERR_DRIVER"))
          << "says why on stderr: " << peer.transcript();
    }
    peer.wait();
    shm_unlink(path.c_str());
  }
}

// Segments of earlier runs of this program that died before removing theirs.
void removeLeftoverSegments() {
  FILE* listing = popen("ls /dev/shm", "r");
  if (listing == nullptr) return;
  char name[256];
  const std::string prefix = kBusPrefix;
  while (fgets(name, sizeof name, listing) != nullptr) {
    name[strcspn(name, "\n")] = '\0';
    if (strncmp(name, prefix.c_str(), prefix.size()) != 0) continue;
    const pid_t owner = static_cast<pid_t>(atol(name + prefix.size()));
    if (owner > 0 && kill(owner, 0) != 0) shm_unlink(("/" + std::string(name)).c_str());
  }
  pclose(listing);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  removeLeftoverSegments();
  // Before the library's first call, which reads the name: the peers inherit it.
  setenv(VCAN_BUS_ENV, busName().c_str(), 1);
  const int result = RUN_ALL_TESTS();
  shm_unlink(("/" + busName()).c_str());
  return result;
}
