#include "simulated_bus.h"

#include <stdlib.h>

namespace vcan {

namespace {

// How often, at most, a sender looks for handles of processes that are gone.
constexpr uint32_t kSweepPeriodMs = 500;

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

void wakeSyncWaiters(HandleSlot& slot) {
  if (slot.sync_waiters != 0) platformEventWakeAll(&slot.transmit_progress);
}

// Makes a prepared delivery visible; storing the same positions twice changes nothing, so the
// recovery may run it again after a death half-way through.
void applyDelivery(BusState& bus, int32_t crash_point) {
  const Delivery& delivery = bus.delivery;
  for (int i = 0; i < delivery.step_count; ++i) {
    const Delivery::Step& step = delivery.steps[i];
    HandleSlot& receiver = bus.handles[step.slot];
    if (step.receive_position == Delivery::kOverrun) {
      receiver.overrun_pending = 1;
    } else {
      receiver.receive.setPosition(step.receive_position);
    }
    if (crash_point == VCAN_CRASH_AFTER_FIRST_RECEIVER) platformKillSelf();
  }
  if (delivery.sender >= 0) {
    bus.handles[delivery.sender].transmit.setPosition(delivery.sender_transmit_position);
  }
}

// Every other on-bus handle at the sender's bit rate hears the frame, including other handles
// on the sender's channel (the local echo), never the sender itself. With `from_queue` the frame
// is the oldest of the sender's transmit queue and leaves it in the same step.
void deliver(Bus& bus, int sender, const VcanFrame& frame, uint32_t time_ms, bool from_queue) {
  BusState& state = bus.shared;
  Delivery& delivery = state.delivery;
  const int32_t bit_rate = state.handles[sender].bit_rate;
  int steps = 0;
  for (int i = 0; i < state.on_bus_count; ++i) {
    const int node = state.on_bus[i];
    HandleSlot& receiver = state.handles[node];
    if (node == sender || receiver.bit_rate != bit_rate) continue;
    Delivery::Step& step = delivery.steps[steps++];
    step.slot = node;
    if (receiver.receive.full()) {
      step.receive_position = Delivery::kOverrun;
    } else {
      VcanFrame& cell = receiver.receive.nextFree();
      cell = frame;
      cell.time_ms = time_ms;
      step.receive_position = receiver.receive.positionAfterPush();
    }
  }
  delivery.step_count = steps;
  delivery.sender = from_queue ? sender : -1;
  if (from_queue) {
    delivery.sender_transmit_position = state.handles[sender].transmit.positionAfterPop();
  }
  const int32_t crash_point = bus.local.crash_point;
  if (crash_point == VCAN_CRASH_BEFORE_COMMIT) platformKillSelf();
  // Release: the cells and steps above are in memory before the commit is; the positions that
  // applyDelivery stores (also releases) come after it.
  __atomic_store_n(&delivery.committed, 1, __ATOMIC_RELEASE);
  applyDelivery(state, crash_point);
  __atomic_store_n(&delivery.committed, 0, __ATOMIC_RELEASE);
}

// After the set of on-bus nodes or their bit rates changed: send what is now acknowledged.
void transmitPending(Bus& bus) {
  BusState& state = bus.shared;
  bool clock_read = false;
  uint32_t now = 0;
  for (int i = 0; i < state.on_bus_count; ++i) {
    const int sender = state.on_bus[i];
    HandleSlot& slot = state.handles[sender];
    if (slot.transmit.count() == 0 || !acknowledged(state, sender)) continue;
    if (!clock_read) now = busTimeMs(state);
    clock_read = true;
    while (slot.transmit.count() > 0) deliver(bus, sender, slot.transmit.oldest(), now, true);
    wakeSyncWaiters(slot);
  }
}

void takeOffBus(BusState& bus, int slot) {
  if (!bus.handles[slot].on_bus) return;
  bus.handles[slot].on_bus = 0;
  for (int i = 0; i < bus.on_bus_count; ++i) {
    if (bus.on_bus[i] == slot) {
      bus.on_bus[i] = bus.on_bus[--bus.on_bus_count];
      return;
    }
  }
}

void closeSlot(BusState& bus, int index) {
  HandleSlot& slot = bus.handles[index];
  takeOffBus(bus, index);
  slot.generation += 1;
  __atomic_store_n(&slot.in_use, 0, __ATOMIC_RELEASE);
  slot.transmit.clear();
  slot.receive.clear();
  wakeSyncWaiters(slot);
}

// The on-bus list from the slots' own flags: a death between the two may have left them apart.
void rebuildOnBusList(BusState& bus) {
  int count = 0;
  for (int i = 0; i < VCAN_MAX_HANDLES; ++i) {
    HandleSlot& slot = bus.handles[i];
    if (!slot.in_use) slot.on_bus = 0;
    if (slot.on_bus) bus.on_bus[count++] = i;
  }
  bus.on_bus_count = count;
}

// Remembers, for one sweep, which owners were already asked about (a process usually has several
// handles) so that each costs one look.
struct OwnerVerdicts {
  int32_t pid[VCAN_MAX_HANDLES];
  bool gone[VCAN_MAX_HANDLES];
  int count = 0;

  bool isGone(int32_t owner) {
    for (int i = 0; i < count; ++i) {
      if (pid[i] == owner) return gone[i];
    }
    pid[count] = owner;
    gone[count] = platformProcessGone(owner);
    return gone[count++];
  }
};

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

int openHandle(Bus& bus, int32_t channel, int32_t flags) {
  // The lowest number this process does not use; one whose slot was closed under it is free.
  int handle = 0;
  while (handle < VCAN_MAX_HANDLES && findHandle(bus, handle) != nullptr) ++handle;
  if (handle == VCAN_MAX_HANDLES) return canERR_NOHANDLES;
  int index = 0;
  while (index < VCAN_MAX_HANDLES && bus.shared.handles[index].in_use) ++index;
  if (index == VCAN_MAX_HANDLES) return canERR_NOHANDLES;

  HandleSlot& slot = bus.shared.handles[index];
  slot.owner_pid = bus.local.pid;
  slot.owner_token = bus.local.token;
  slot.generation += 1;
  slot.channel = channel;
  slot.open_flags = flags;
  slot.bit_rate = kDefaultBitRate;
  slot.on_bus = 0;
  slot.overrun_pending = 0;
  slot.transmit.clear();
  slot.receive.clear();
  // Last: a slot in use must name a live owner, or the next sweep would close it.
  __atomic_store_n(&slot.in_use, 1, __ATOMIC_RELEASE);
  bus.local.handles[handle] = LocalHandle{1, index, slot.generation};
  return handle;
}

void closeHandle(Bus& bus, int handle) {
  if (HandleSlot* slot = findHandle(bus, handle)) closeSlot(bus.shared, slotIndex(bus, slot));
  bus.local.handles[handle].in_use = 0;
}

void putOnBus(Bus& bus, int slot) {
  BusState& state = bus.shared;
  if (state.handles[slot].on_bus) return;
  state.handles[slot].on_bus = 1;
  state.on_bus[state.on_bus_count++] = slot;
  transmitPending(bus);
}

void setBitRate(Bus& bus, int slot, int32_t bit_rate) {
  bus.shared.handles[slot].bit_rate = bit_rate;
  transmitPending(bus);
}

canStatus transmit(Bus& bus, int sender, const VcanFrame& frame) {
  BusState& state = bus.shared;
  HandleSlot& slot = state.handles[sender];
  // Earlier frames still waiting go first; they only wait while nobody acknowledges.
  if (slot.transmit.count() == 0 && acknowledged(state, sender)) {
    const uint32_t now = busTimeMs(state);
    // A handle of a process that is gone must not go on acknowledging for ever.
    const bool swept = now - state.last_sweep_ms >= kSweepPeriodMs;
    if (swept) reclaimDeadOwners(bus);
    if (!swept || acknowledged(state, sender)) {
      deliver(bus, sender, frame, now, false);
      return canOK;
    }
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

void reclaimDeadOwners(Bus& bus) {
  BusState& state = bus.shared;
  state.last_sweep_ms = busTimeMs(state);
  OwnerVerdicts verdicts;
  for (int i = 0; i < VCAN_MAX_HANDLES; ++i) {
    const HandleSlot& slot = state.handles[i];
    if (!slot.in_use) continue;
    const bool gone = slot.owner_pid == bus.local.pid
                          // Our pid, not our token: an earlier process that had this pid.
                          ? slot.owner_token != bus.local.token
                          : verdicts.isGone(slot.owner_pid);
    if (gone) closeSlot(state, i);
  }
}

void resetProcess(Bus& bus) {
  for (int handle = 0; handle < VCAN_MAX_HANDLES; ++handle) closeHandle(bus, handle);
  ProcessState& local = bus.local;
  local.fault_count = 0;
  local.recording = 0;
  local.call_count = 0;
  local.channel_count_overridden = 0;
  local.channel_count = channelCountFromEnvironment();
}

void resetWholeBus(Bus& bus) {
  resetProcess(bus);
  for (int i = 0; i < VCAN_MAX_HANDLES; ++i) {
    if (bus.shared.handles[i].in_use) closeSlot(bus.shared, i);
  }
}

void recoverBus(Bus& bus) {
  BusState& state = bus.shared;
  if (__atomic_load_n(&state.delivery.committed, __ATOMIC_ACQUIRE)) {
    applyDelivery(state, VCAN_CRASH_NONE);
  }
  __atomic_store_n(&state.delivery.committed, 0, __ATOMIC_RELEASE);
  rebuildOnBusList(state);
  reclaimDeadOwners(bus);
  // The dead process may have been putting a node on the bus: send what that acknowledges.
  transmitPending(bus);
}

}  // namespace vcan
