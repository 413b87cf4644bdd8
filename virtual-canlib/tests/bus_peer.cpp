// Another process on the virtual bus, for the cross-process tests: it does one thing that the
// command line names, says how far it got on stdout (one word a line) and takes its cues from
// stdin. The bus is the one VIRTUAL_CANLIB_BUS names, as for any program.
//
//   exchange CHANNEL COUNT MY_ID PEER_ID   after "go": sends COUNT numbered frames with MY_ID while
//                                          reading COUNT numbered frames with PEER_ID, in order
//   send CHANNEL ID COUNT                  sends numbered frames (COUNT 0: until killed)
//   many CHANNEL MY_ID PEERS COUNT         after "go": sends COUNT numbered frames with MY_ID and
//                                          reads COUNT from each of the ids 0..PEERS-1 but its own
//   crash POINT CHANNEL ID                 after "go": dies at POINT of delivering one frame
//   hold-lock                              takes the bus lock and keeps it
//   hold-handle CHANNEL                    prints canRead's status on every "check"
//   open CHANNEL                           prints canOpenChannel's result
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "canlib.h"
#include "numbered_frames.h"
#include "virtual_canlib_control.h"

namespace {

constexpr int kTimeoutMs = 20000;

long long nowMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

void say(const char* word) {
  printf("%s\n", word);
  fflush(stdout);
}

[[noreturn]] void fail(const std::string& why) {
  printf("error %s\n", why.c_str());
  fflush(stdout);
  exit(1);
}

std::string nextLine() {
  std::string line;
  for (int c = getchar(); c != EOF && c != '\n'; c = getchar()) line += static_cast<char>(c);
  return line;
}

void await(const char* cue) {
  const std::string line = nextLine();
  if (line != cue) fail("expected \"" + std::string(cue) + "\", got \"" + line + "\"");
}

CanHandle openOnBus(int channel) {
  canInitializeLibrary();
  const CanHandle handle = canOpenChannel(channel, canOPEN_OVERRIDE_EXCLUSIVE);
  if (handle < 0) fail("canOpenChannel gave " + std::to_string(handle));
  if (canSetBusParams(handle, canBITRATE_500K, 0, 0, 0, 0, 0) != canOK ||
      canBusOn(handle) != canOK) {
    fail("cannot go on the bus");
  }
  return handle;
}

// Reads every waiting frame; checks each id's numbers come in order, without gaps.
void readNumbered(CanHandle handle, std::vector<uint32_t>& next_by_id) {
  long id;
  unsigned char data[8];
  unsigned int dlc, flags;
  unsigned long time;
  while (canRead(handle, &id, data, &dlc, &flags, &time) == canOK) {
    if (id < 0 || id >= static_cast<long>(next_by_id.size())) {
      fail("unexpected id " + std::to_string(id));
    }
    const uint32_t sequence = frameNumber(data);
    if (sequence != next_by_id[id] || (flags & canMSGERR_SW_OVERRUN)) {
      fail("id " + std::to_string(id) + ": frame " + std::to_string(sequence) + " where " +
           std::to_string(next_by_id[id]) + " was due");
    }
    ++next_by_id[id];
  }
}

// Sends `count` frames as `my_id` while reading until every id in `expected_ids` sent `count`.
void sendAndReceive(CanHandle handle, long my_id, const std::vector<long>& expected_ids,
                    uint32_t count, size_t id_range) {
  std::vector<uint32_t> next_by_id(id_range, 0);
  const long long deadline = nowMs() + kTimeoutMs;
  uint32_t sent = 0;
  for (;;) {
    if (sent < count) {
      const canStatus status = sendNumbered(handle, my_id, sent);
      if (status == canOK) ++sent;
      if (status != canOK && status != canERR_TXBUFOFL)
        fail("canWrite gave " + std::to_string(status));
    }
    readNumbered(handle, next_by_id);
    bool complete = sent == count;
    for (long id : expected_ids) complete = complete && next_by_id[id] == count;
    if (complete) return;
    if (nowMs() > deadline) fail("timed out");
    if (sent == count) usleep(200);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  auto number = [&](int index) { return index < argc ? strtol(argv[index], nullptr, 0) : -1; };

  if (command == "exchange" && argc == 6) {
    const CanHandle handle = openOnBus(static_cast<int>(number(2)));
    say("ready");
    await("go");
    const long peer_id = number(5);
    sendAndReceive(handle, number(4), {peer_id}, static_cast<uint32_t>(number(3)),
                   static_cast<size_t>(std::max(number(4), peer_id) + 1));
    canClose(handle);
    say("ok");
    return 0;
  }
  if (command == "send" && argc == 5) {
    const CanHandle handle = openOnBus(static_cast<int>(number(2)));
    say("ready");
    const long count = number(4);
    for (uint32_t sequence = 0; count == 0 || sequence < static_cast<uint32_t>(count);) {
      const canStatus status = sendNumbered(handle, number(3), sequence);
      if (status == canOK) ++sequence;
      if (status != canOK && status != canERR_TXBUFOFL)
        fail("canWrite gave " + std::to_string(status));
      usleep(200);  // paced, so that a reader never overruns
    }
    if (canWriteSync(handle, kTimeoutMs) != canOK) fail("frames not acknowledged");
    canClose(handle);
    say("ok");
    return 0;
  }
  if (command == "many" && argc == 6) {
    const CanHandle handle = openOnBus(static_cast<int>(number(2)));
    say("ready");
    await("go");
    const long my_id = number(3);
    std::vector<long> others;
    for (long id = 0; id < number(4); ++id) {
      if (id != my_id) others.push_back(id);
    }
    sendAndReceive(handle, my_id, others, static_cast<uint32_t>(number(5)),
                   static_cast<size_t>(number(4)));
    say("done");
    await("quit");  // closing earlier could leave a slower peer without an acknowledging node
    canClose(handle);
    return 0;
  }
  if (command == "crash" && argc == 5) {
    const CanHandle handle = openOnBus(static_cast<int>(number(3)));
    say("ready");
    await("go");
    if (vcanCrashDuringNextDelivery(static_cast<int>(number(2))) != canOK) fail("unknown point");
    sendNumbered(handle, number(4), 0);
    fail("survived the delivery");
  }
  if (command == "hold-lock" && argc == 2) {
    canInitializeLibrary();
    vcanLockBus();
    say("locked");
    for (;;) pause();
  }
  if (command == "hold-handle" && argc == 3) {
    const CanHandle handle = openOnBus(static_cast<int>(number(2)));
    say("ready");
    for (std::string line = nextLine(); line == "check"; line = nextLine()) {
      long id;
      unsigned char data[8];
      unsigned int dlc, flags;
      unsigned long time;
      printf("status %d\n", static_cast<int>(canRead(handle, &id, data, &dlc, &flags, &time)));
      fflush(stdout);
    }
    return 0;
  }
  if (command == "open" && argc == 3) {
    canInitializeLibrary();
    printf("status %d\n", static_cast<int>(canOpenChannel(static_cast<int>(number(2)), 0)));
    return 0;
  }
  fprintf(stderr, "bus_peer: unknown command; see the comment at the top of bus_peer.cpp\n");
  return 2;
}
