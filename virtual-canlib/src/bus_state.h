// The whole state of the simulated bus in one fixed-size record without pointers (only indices),
// so that it could live in memory shared between processes. Every field is guarded by `mutex`.
#ifndef VELMORA_VIRTUAL_CANLIB_BUS_STATE_H
#define VELMORA_VIRTUAL_CANLIB_BUS_STATE_H

#include <stdint.h>

#include "platform.h"
#include "virtual_canlib_control.h"

namespace vcan {

constexpr int kMaxFaults = 32;
constexpr int32_t kDefaultBitRate = 500000;

// A fixed-capacity first-in first-out queue of frames.
template <uint32_t Capacity>
struct FrameRing {
  static_assert((Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");
  uint32_t head;   // index of the oldest frame
  uint32_t count;  // frames queued
  VcanFrame frames[Capacity];

  bool full() const { return count == Capacity; }
  // False (and nothing stored) when the queue is full.
  bool push(const VcanFrame& frame) {
    if (full()) return false;
    frames[(head + count) & (Capacity - 1)] = frame;
    ++count;
    return true;
  }
  // The oldest frame; only when count > 0.
  VcanFrame pop() {
    const VcanFrame frame = frames[head];
    head = (head + 1) & (Capacity - 1);
    --count;
    return frame;
  }
  void clear() { head = count = 0; }
};

// One handle returned by canOpenChannel; a slot is free when !in_use.
struct HandleSlot {
  int32_t in_use;
  int32_t channel;
  int32_t open_flags;
  int32_t bit_rate;  // bit/s
  int32_t on_bus;
  int32_t overrun_pending;  // the receive queue dropped a frame; the next read reports it
  uint32_t generation;      // changes whenever the slot is closed, so a waiter sees it went away
  FrameRing<VCAN_TRANSMIT_QUEUE_CAPACITY> transmit;  // written, not yet acknowledged
  FrameRing<VCAN_RECEIVE_QUEUE_CAPACITY> receive;
};

// An armed fault: the next `remaining` calls of `call` (on `handle`, unless VCAN_ANY_HANDLE)
// return `status`.
struct Fault {
  int32_t call;  // VcanCall
  int32_t status;
  int32_t remaining;
  int32_t handle;
};

struct BusState {
  PlatformMutex mutex;
  // Woken when a transmit queue drains or a handle closes, for canWriteSync.
  PlatformCondition transmit_progress;
  int32_t sync_waiters;  // threads inside canWriteSync's wait; no wake-up needed when 0

  int32_t initialized;  // canInitializeLibrary was called
  int32_t channel_count;
  int32_t channel_count_overridden;  // vcanSetChannelCount was called since the last reset
  uint64_t epoch_ms;                 // zero of the time stamps

  int32_t on_bus_count;
  int32_t on_bus[VCAN_MAX_HANDLES];  // indices of the handles on the bus, in no order
  HandleSlot handles[VCAN_MAX_HANDLES];

  int32_t fault_count;
  Fault faults[kMaxFaults];  // armed faults, oldest first

  int32_t recording;
  int32_t call_count;
  VcanCallRecord calls[VCAN_CALL_LOG_CAPACITY];
};

}  // namespace vcan

#endif
