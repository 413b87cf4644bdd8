// The simulated bus: which handles hear a frame, when a frame counts as acknowledged, what
// opening, joining and leaving the bus do to the queues, and how the bus recovers from a process
// that died using it. Callers hold the bus lock. Handles are this process's numbers; slots are
// the bus's.
#ifndef VELMORA_VIRTUAL_CANLIB_SIMULATED_BUS_H
#define VELMORA_VIRTUAL_CANLIB_SIMULATED_BUS_H

#include "bus_storage.h"
#include "canlib.h"

namespace vcan {

// VCAN_CHANNELS_ENV as a channel count, or VCAN_DEFAULT_CHANNELS when unset or invalid.
int32_t channelCountFromEnvironment();

// The slot of an open handle of this process, or nullptr for a number that is not one.
inline HandleSlot* findHandle(Bus& bus, int handle) {
  if (handle < 0 || handle >= VCAN_MAX_HANDLES) return nullptr;
  const LocalHandle& local = bus.local.handles[handle];
  if (!local.in_use) return nullptr;
  HandleSlot& slot = bus.shared.handles[local.slot];
  if (!slot.in_use || slot.generation != local.generation || slot.owner_token != bus.local.token) {
    return nullptr;  // closed for it, e.g. by another process's vcanResetBus
  }
  return &slot;
}

inline int slotIndex(const Bus& bus, const HandleSlot* slot) {
  return static_cast<int>(slot - bus.shared.handles);
}

// Milliseconds since the bus was created, as the frames' time stamps carry them.
uint32_t busTimeMs(const BusState& bus);

// A new handle of this process on `channel`; the caller has checked the channel and the flags.
// Returns the handle or canERR_NOHANDLES.
int openHandle(Bus& bus, int32_t channel, int32_t flags);
// Takes the handle off the bus, drops its queues and gives its number back.
void closeHandle(Bus& bus, int handle);

void putOnBus(Bus& bus, int slot);
void setBitRate(Bus& bus, int slot, int32_t bit_rate);

// Queues `frame` for sending from `sender`, sending it at once when the bus acknowledges it.
// canOK or canERR_TXBUFOFL.
canStatus transmit(Bus& bus, int sender, const VcanFrame& frame);

// Stores a frame that reached `receiver`; a full queue drops it and marks an overrun.
void receive(HandleSlot& receiver, const VcanFrame& frame, uint32_t time_ms);

// Closes the handles of processes that are gone. Called at opens, now and then while frames are
// sent, and after a death.
void reclaimDeadOwners(Bus& bus);

// This process's handles closed, its faults and log cleared, its channel count from the
// environment again.
void resetProcess(Bus& bus);
// resetProcess, and every other process's handles closed too.
void resetWholeBus(Bus& bus);

// Makes the bus whole after a process died holding its lock: finishes or drops the delivery it
// was making, rebuilds the list of on-bus slots, and closes the handles of dead processes.
void recoverBus(Bus& bus);

}  // namespace vcan

#endif
