// The simulated bus: which handles hear a frame, when a frame counts as acknowledged, and what
// opening, joining and leaving the bus do to the queues. Callers hold the bus lock.
#ifndef VELMORA_VIRTUAL_CANLIB_SIMULATED_BUS_H
#define VELMORA_VIRTUAL_CANLIB_SIMULATED_BUS_H

#include "bus_state.h"
#include "canlib.h"

namespace vcan {

// VCAN_CHANNELS_ENV as a channel count, or VCAN_DEFAULT_CHANNELS when unset or invalid.
int32_t channelCountFromEnvironment();

// The slot of an open handle, or nullptr for a number that is not an open handle.
inline HandleSlot* findHandle(BusState& bus, int handle) {
  if (handle < 0 || handle >= VCAN_MAX_HANDLES || !bus.handles[handle].in_use) return nullptr;
  return &bus.handles[handle];
}

// Milliseconds since the bus was created, as the frames' time stamps carry them.
uint32_t busTimeMs(const BusState& bus);

// Takes a free slot for `channel`; the caller has checked the channel and the flags. Returns
// the handle or canERR_NOHANDLES.
int openHandle(BusState& bus, int32_t channel, int32_t flags);
// Takes the handle off the bus and drops its queues; wakes a canWriteSync waiting on it.
void closeHandle(BusState& bus, int handle);

void putOnBus(BusState& bus, int handle);
void setBitRate(BusState& bus, int handle, int32_t bit_rate);

// Queues `frame` for sending on `sender`, sending it at once when the bus acknowledges it.
// canOK or canERR_TXBUFOFL.
canStatus transmit(BusState& bus, int sender, const VcanFrame& frame);

// Stores a frame that reached `receiver`; a full queue drops it and marks an overrun.
void receive(HandleSlot& receiver, const VcanFrame& frame, uint32_t time_ms);

// Every handle closed, faults and log cleared, channel count from the environment again.
void resetBus(BusState& bus);

}  // namespace vcan

#endif
