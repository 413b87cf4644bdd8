// What belongs to one process using the bus: its handle numbers, its view of the channels, its
// armed faults and its call log. Tests in one process steer and watch their own calls, whatever
// other processes on the bus do. Guarded by the bus lock, like the shared state.
#ifndef VELMORA_VIRTUAL_CANLIB_PROCESS_STATE_H
#define VELMORA_VIRTUAL_CANLIB_PROCESS_STATE_H

#include <stdint.h>

#include "virtual_canlib_control.h"

namespace vcan {

constexpr int kMaxFaults = 32;

// A handle number of this process: which slot of the bus it is, and which opening of that slot
// (a slot closed by another process, e.g. by vcanResetBus, and opened again is not this handle).
struct LocalHandle {
  int32_t in_use;
  int32_t slot;
  uint32_t generation;
};

// An armed fault: the next `remaining` calls of `call` (on `handle`, unless VCAN_ANY_HANDLE)
// return `status`.
struct Fault {
  int32_t call;  // VcanCall
  int32_t status;
  int32_t remaining;
  int32_t handle;
};

struct ProcessState {
  int32_t pid;
  uint64_t token;       // marks this process's slots; new after fork()
  int32_t bus_refused;  // the named bus could not be used: opens give canERR_DRIVER

  int32_t initialized;  // canInitializeLibrary was called
  int32_t channel_count;
  int32_t channel_count_overridden;  // vcanSetChannelCount was called since the last reset

  LocalHandle handles[VCAN_MAX_HANDLES];

  int32_t crash_point;  // VcanCrashPoint armed by vcanCrashDuringNextDelivery

  int32_t fault_count;
  Fault faults[kMaxFaults];  // armed faults, oldest first

  int32_t recording;
  int32_t call_count;
  VcanCallRecord calls[VCAN_CALL_LOG_CAPACITY];
};

}  // namespace vcan

#endif
