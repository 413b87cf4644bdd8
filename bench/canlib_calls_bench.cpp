// What the virtual CANlib itself costs per call, so that the Java benchmark can take it out of
// VelmoraJava's figures. Each case calls CANlib exactly as VelmoraJava does on that path.
//
// Frames must be put into a receive queue before they can be read, and a receiver's queue must be
// drained before it overruns, so each benchmark iteration is a batch: untimed set-up, then kBatch
// calls timed by hand. The time recorded per iteration is that of one call (manual time), so the
// reported figures are ns per call. (Google Benchmark's own pause costs microseconds, too much to
// hide behind a batch this small.)
#include <benchmark/benchmark.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "canlib.h"
#include "virtual_canlib_control.h"

namespace {

// Well under the receive queue's capacity; large enough that the two clock reads per batch add
// well under a nanosecond per call.
constexpr int kBatch = 512;
static_assert(kBatch < VCAN_RECEIVE_QUEUE_CAPACITY, "a batch must fit the receive queue");

constexpr int kInvalidHandle = VCAN_MAX_HANDLES + 7;

// Two channels on one bus, as in the Java benchmark: the sender's frames are acknowledged at once.
struct Bus {
  CanHandle sender;
  CanHandle receiver;
};

bool goOnBus(CanHandle handle) {
  return handle >= 0 && canSetBusParams(handle, canBITRATE_1M, 0, 0, 0, 0, 0) == canOK &&
         canBusOn(handle) == canOK;
}

Bus openBus(benchmark::State& state) {
  vcanReset();
  canInitializeLibrary();
  const Bus bus{canOpenChannel(0, canOPEN_OVERRIDE_EXCLUSIVE),
                canOpenChannel(1, canOPEN_OVERRIDE_EXCLUSIVE)};
  if (!goOnBus(bus.sender) || !goOnBus(bus.receiver)) {
    state.SkipWithError("cannot open two channels on the virtual bus");
  }
  return bus;
}

void closeBus(const Bus& bus) {
  canClose(bus.sender);
  canClose(bus.receiver);
  vcanReset();
}

// What _read passes to canRead.
struct ReadBuffers {
  long id = 0;
  unsigned char data[8];
  unsigned int dlc = 0;
  unsigned int flags = 0;
  unsigned long time = 0;

  canStatus read(CanHandle handle) {
    memset(data, 0xFF, sizeof data);
    return canRead(handle, &id, data, &dlc, &flags, &time);
  }
};

void drain(CanHandle handle) {
  ReadBuffers buffers;
  while (buffers.read(handle) == canOK) {
  }
}

// Runs batches of `call` (true when it answered as expected) after an untimed `prepare`. Records
// the mean time per call as the iteration time, and the median batch's time per call as the
// counter "ns_per_call", which is what the Java benchmark takes: a batch lasts microseconds, so the
// median batch is one that no other process interrupted, even on a busy machine.
template <typename Prepare, typename Call>
void timePerCall(benchmark::State& state, Prepare prepare, Call call, const char* failure) {
  using Clock = std::chrono::steady_clock;
  std::vector<double> batchNanos;
  batchNanos.reserve(static_cast<size_t>(state.max_iterations));
  int unexpected = 0;
  for (auto _ : state) {
    prepare();
    const auto start = Clock::now();
    for (int i = 0; i < kBatch; ++i) unexpected += call() ? 0 : 1;
    const std::chrono::duration<double, std::nano> elapsed = Clock::now() - start;
    batchNanos.push_back(elapsed.count());
    state.SetIterationTime(elapsed.count() * 1e-9 / kBatch);
  }
  if (unexpected != 0) {
    state.SkipWithError(failure);
    return;
  }
  const auto middle = batchNanos.begin() + static_cast<std::ptrdiff_t>(batchNanos.size() / 2);
  std::nth_element(batchNanos.begin(), middle, batchNanos.end());
  state.counters["ns_per_call"] = *middle / kBatch;
}

// _read on an empty queue: one canRead answering canERR_NOMSG.
void BM_canRead_empty(benchmark::State& state) {
  const Bus bus = openBus(state);
  ReadBuffers buffers;
  timePerCall(
      state, [] {}, [&] { return buffers.read(bus.receiver) == canERR_NOMSG; },
      "canRead found a frame in an empty queue");
  closeBus(bus);
}

// _read of a waiting frame: one canRead delivering an 8-byte frame.
void BM_canRead_frame(benchmark::State& state) {
  const Bus bus = openBus(state);
  VcanFrame frame{};
  frame.id = 0x123;
  frame.flags = canMSG_STD;
  frame.dlc = 8;
  ReadBuffers buffers;
  timePerCall(
      state,
      [&] {
        for (int i = 0; i < kBatch; ++i) vcanInjectFrame(bus.receiver, &frame);
      },
      [&] { return buffers.read(bus.receiver) == canOK; }, "a waiting frame was not delivered");
  closeBus(bus);
}

// _send of 8 bytes with a second channel on the bus: canWrite, then canWriteSync(30 ms), which
// returns at once because the other channel acknowledged the frame.
void BM_canWrite_canWriteSync(benchmark::State& state) {
  const Bus bus = openBus(state);
  unsigned char payload[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  timePerCall(
      state, [&] { drain(bus.receiver); },
      [&] {
        return canWrite(bus.sender, 0x123, payload, sizeof payload, canMSG_STD) == canOK &&
               canWriteSync(bus.sender, 30) == canOK;
      },
      "write or transmit wait failed with a second channel on the bus");
  closeBus(bus);
}

// As BM_canWrite_canWriteSync, with the receiver in another process on the same bus (a dump in
// another terminal): it reads whatever arrives and sleeps 100 us whenever its queue is empty.
constexpr const char* kDrainOption = "--drain-channel-1";

void BM_canWrite_canWriteSync_other_process(benchmark::State& state) {
  vcanReset();
  canInitializeLibrary();
  int ready[2], stop[2];
  if (pipe(ready) != 0 || pipe(stop) != 0) {
    state.SkipWithError("no pipes for the receiving process");
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, stop[0], 0);
  posix_spawn_file_actions_adddup2(&actions, ready[1], 1);
  for (int fd : {ready[0], ready[1], stop[0], stop[1]})
    posix_spawn_file_actions_addclose(&actions, fd);
  char self[] = "/proc/self/exe";
  std::string option = kDrainOption;
  char* argv[] = {self, &option[0], nullptr};
  pid_t receiver_process = -1;
  const int spawned = posix_spawn(&receiver_process, self, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(ready[1]);
  close(stop[0]);
  char on_bus = 0;
  const CanHandle sender = canOpenChannel(0, canOPEN_OVERRIDE_EXCLUSIVE);
  if (spawned != 0 || read(ready[0], &on_bus, 1) != 1 || !goOnBus(sender)) {
    state.SkipWithError("the receiving process did not come on the bus");
  } else {
    unsigned char payload[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    timePerCall(
        state, [] {},
        [&] {
          return canWrite(sender, 0x123, payload, sizeof payload, canMSG_STD) == canOK &&
                 canWriteSync(sender, 30) == canOK;
        },
        "write or transmit wait failed with a receiver in another process");
  }
  close(stop[1]);  // the receiver ends when its stdin does
  close(ready[0]);
  if (receiver_process > 0) waitpid(receiver_process, nullptr, 0);
  canClose(sender);
  vcanReset();
}

// The receiving process of BM_canWrite_canWriteSync_other_process: channel 1 on the bus, one byte
// on stdout once it is on, then reading until stdin ends.
int drainChannelOne() {
  canInitializeLibrary();
  const CanHandle receiver = canOpenChannel(1, canOPEN_OVERRIDE_EXCLUSIVE);
  if (!goOnBus(receiver) || write(1, "r", 1) != 1) return 1;
  for (;;) {
    drain(receiver);
    pollfd input{0, POLLIN, 0};
    if (poll(&input, 1, 0) > 0) break;  // end of input: the benchmark is done
    usleep(100);
  }
  canClose(receiver);
  return 0;
}

// The CANlib part of a failing _read: canRead on an unknown handle, then the status text that the
// exception message carries.
void BM_canRead_invalid_with_text(benchmark::State& state) {
  const Bus bus = openBus(state);
  ReadBuffers buffers;
  char text[100];
  timePerCall(
      state, [] {},
      [&] {
        const canStatus status = buffers.read(kInvalidHandle);
        return status == canERR_INVHANDLE && canGetErrorText(status, text, sizeof text) == canOK;
      },
      "canRead on an unknown handle did not fail as expected");
  closeBus(bus);
}

}  // namespace

// A fixed number of batches: with a per-call iteration time, Google Benchmark's own stopping rule
// (a minimum of recorded time) would run for hours.
constexpr int kBatchesPerRepetition = 1000;
BENCHMARK(BM_canRead_empty)->UseManualTime()->Iterations(kBatchesPerRepetition);
BENCHMARK(BM_canRead_frame)->UseManualTime()->Iterations(kBatchesPerRepetition);
BENCHMARK(BM_canWrite_canWriteSync)->UseManualTime()->Iterations(kBatchesPerRepetition);
BENCHMARK(BM_canWrite_canWriteSync_other_process)
    ->UseManualTime()
    ->Iterations(kBatchesPerRepetition);
BENCHMARK(BM_canRead_invalid_with_text)->UseManualTime()->Iterations(kBatchesPerRepetition);

// glibc leaves out the lock prefix of its mutex operations while a process has a single thread,
// which halves the virtual CANlib's cost per call. A JVM always has many threads, so this
// benchmark keeps a second thread alive to measure what VelmoraJava's calls see.
int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], kDrainOption) == 0) return drainChannelOne();
  // A bus of this run's own, which the receiving process joins (it inherits the name); removed
  // from /dev/shm at the end.
  const std::string bus = "velmora-bench-" + std::to_string(getpid());
  setenv(VCAN_BUS_ENV, bus.c_str(), 1);
  std::promise<void> finished;
  std::thread companion([done = finished.get_future()] { done.wait(); });
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  finished.set_value();
  companion.join();
  shm_unlink(("/" + bus).c_str());
  return 0;
}
