#include "simulated_bus.h"

#include <stdlib.h>

namespace vcan {

namespace {

bool isOnBus(const BusState& bus, int handle) {
  return bus.handles[handle].on_bus != 0;
}

// A frame leaves `sender` only when some node on another channel, at the same bit rate, is on
// the bus to acknowledge it; handles on the sender's own channel share its controller.
bool acknowledged(const BusState& bus, int sender) {
  const HandleSlot& from = bus.handles[sender];
  if (!from.on_bus) return false;
  for (int i = 0; i < bus.on_bus_count; ++i) {
    const HandleSlot& node = bus.handles[bus.on_bus[i]];
    if (node.channel != from.channel && node.bit_rate == from.bit_rate) return true;
  }
  return false;
}

// Every other on-bus handle at the sender's bit rate hears the frame, including other handles
// on the sender's channel (the local echo), never the sender itself.
void deliver(BusState& bus, int sender, const VcanFrame& frame, uint32_t time_ms) {
  const int32_t bit_rate = bus.handles[sender].bit_rate;
  for (int i = 0; i < bus.on_bus_count; ++i) {
    const int node = bus.on_bus[i];
    if (node != sender && bus.handles[node].bit_rate == bit_rate) {
      receive(bus.handles[node], frame, time_ms);
    }
  }
}

void wakeSyncWaiters(BusState& bus) {
  if (bus.sync_waiters > 0) platformConditionWakeAll(&bus.transmit_progress);
}

// After the set of on-bus nodes or their bit rates changed: send what is now acknowledged.
void transmitPending(BusState& bus) {
  bool drained = false;
  uint32_t now = 0;
  for (int i = 0; i < bus.on_bus_count; ++i) {
    const int sender = bus.on_bus[i];
    HandleSlot& slot = bus.handles[sender];
    if (slot.transmit.count == 0 || !acknowledged(bus, sender)) continue;
    if (!drained) now = busTimeMs(bus);
    while (slot.transmit.count > 0) deliver(bus, sender, slot.transmit.pop(), now);
    drained = true;
  }
  if (drained) wakeSyncWaiters(bus);
}

void takeOffBus(BusState& bus, int handle) {
  if (!isOnBus(bus, handle)) return;
  bus.handles[handle].on_bus = 0;
  for (int i = 0; i < bus.on_bus_count; ++i) {
    if (bus.on_bus[i] == handle) {
      bus.on_bus[i] = bus.on_bus[--bus.on_bus_count];
      return;
    }
  }
}

}  // namespace

int32_t channelCountFromEnvironment() {
  const char* text = getenv(VCAN_CHANNELS_ENV);
  if (text == nullptr || *text == '\0') return VCAN_DEFAULT_CHANNELS;
  char* end = nullptr;
  const long count = strtol(text, &end, 10);
  if (*end != '\0' || count < 1 || count > VCAN_MAX_CHANNELS) return VCAN_DEFAULT_CHANNELS;
  return static_cast<int32_t>(count);
}

uint32_t busTimeMs(const BusState& bus) {
  return static_cast<uint32_t>(platformMonotonicMs() - bus.epoch_ms);
}

int openHandle(BusState& bus, int32_t channel, int32_t flags) {
  for (int handle = 0; handle < VCAN_MAX_HANDLES; ++handle) {
    HandleSlot& slot = bus.handles[handle];
    if (slot.in_use) continue;
    slot.in_use = 1;
    slot.channel = channel;
    slot.open_flags = flags;
    slot.bit_rate = kDefaultBitRate;
    slot.on_bus = 0;
    slot.overrun_pending = 0;
    slot.transmit.clear();
    slot.receive.clear();
    return handle;
  }
  return canERR_NOHANDLES;
}

void closeHandle(BusState& bus, int handle) {
  HandleSlot& slot = bus.handles[handle];
  takeOffBus(bus, handle);
  slot.in_use = 0;
  slot.generation += 1;
  slot.transmit.clear();
  slot.receive.clear();
  wakeSyncWaiters(bus);
}

void putOnBus(BusState& bus, int handle) {
  if (isOnBus(bus, handle)) return;
  bus.handles[handle].on_bus = 1;
  bus.on_bus[bus.on_bus_count++] = handle;
  transmitPending(bus);
}

void setBitRate(BusState& bus, int handle, int32_t bit_rate) {
  bus.handles[handle].bit_rate = bit_rate;
  transmitPending(bus);
}

canStatus transmit(BusState& bus, int sender, const VcanFrame& frame) {
  HandleSlot& slot = bus.handles[sender];
  // Earlier frames still waiting go first; they only wait while nobody acknowledges.
  if (slot.transmit.count == 0 && acknowledged(bus, sender)) {
    deliver(bus, sender, frame, busTimeMs(bus));
    return canOK;
  }
  return slot.transmit.push(frame) ? canOK : canERR_TXBUFOFL;
}

void receive(HandleSlot& receiver, const VcanFrame& frame, uint32_t time_ms) {
  if (receiver.receive.full()) {
    receiver.overrun_pending = 1;
    return;
  }
  VcanFrame stamped = frame;
  stamped.time_ms = time_ms;
  receiver.receive.push(stamped);
}

void resetBus(BusState& bus) {
  for (int handle = 0; handle < VCAN_MAX_HANDLES; ++handle) {
    if (bus.handles[handle].in_use) closeHandle(bus, handle);
  }
  bus.fault_count = 0;
  bus.recording = 0;
  bus.call_count = 0;
  bus.channel_count_overridden = 0;
  bus.channel_count = channelCountFromEnvironment();
}

}  // namespace vcan
