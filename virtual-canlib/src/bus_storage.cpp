// Where the bus lives: on Linux in a shared-memory segment that every process naming the same bus
// maps (bus_segment.cpp); on Windows, and on Linux when the named segment cannot be used, in this
// process alone. The process's own state is always here.
#include "bus_storage.h"

#include <string.h>

#include "simulated_bus.h"
#if !defined(_WIN32)
#include "bus_segment.h"
#endif

namespace vcan {

namespace {

ProcessState process;
BusState privateBus;  // untouched (and so taking no memory) while the shared one is in use
BusState* bus = nullptr;
int ready = 0;  // set (release) once `bus` is attached

void takeNewIdentity() {
  process.pid = platformProcessId();
  // Differs from any earlier process that had the same pid.
  process.token = (static_cast<uint64_t>(static_cast<uint32_t>(process.pid)) << 32) ^
                  platformMonotonicNs() ^ reinterpret_cast<uintptr_t>(&process);
}

// A child made by fork() shares the bus but is another process: none of the parent's handles
// are its own.
void forgetHandlesInChild() {
  takeNewIdentity();
  memset(process.handles, 0, sizeof process.handles);
  process.crash_point = VCAN_CRASH_NONE;
}

void initializeBus() {
  takeNewIdentity();
  process.channel_count = channelCountFromEnvironment();
#if !defined(_WIN32)
  bus = attachBusSegment();
  if (bus == nullptr) process.bus_refused = 1;  // attachBusSegment said why on stderr
#endif
  platformOnForkChild(forgetHandlesInChild);
  if (bus == nullptr) {
    initializeBusState(privateBus);
    bus = &privateBus;
  }
  __atomic_store_n(&ready, 1, __ATOMIC_RELEASE);
}

}  // namespace

void initializeBusState(BusState& state) {
  platformMutexInit(&state.mutex);
  state.epoch_ms = platformMonotonicMs();
  state.delivery.sender = -1;
}

Bus theBus() {
  if (!__atomic_load_n(&ready, __ATOMIC_ACQUIRE)) platformInitializeOnce(initializeBus);
  return Bus{*bus, process};
}

namespace {

void recover(Bus& bus) {
  recoverBus(bus);
  platformMutexMarkConsistent(&bus.shared.mutex);
}

}  // namespace

void lockBus(Bus& bus) {
  if (platformMutexLock(&bus.shared.mutex)) recover(bus);
}

void BusLock::wait(PlatformEvent* event, uint32_t milliseconds) {
  if (platformEventWait(event, &bus_.shared.mutex, milliseconds)) recover(bus_);
}

}  // namespace vcan
