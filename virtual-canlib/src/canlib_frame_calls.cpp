// The CANlib calls that move frames: canWrite, canWriteSync, canRead.
#include <string.h>

#include "bus_storage.h"
#include "call_log.h"
#include "canlib.h"
#include "fault_table.h"
#include "simulated_bus.h"

using namespace vcan;

namespace {

constexpr long kStandardIdLimit = 0x800;
constexpr long kExtendedIdLimit = 0x20000000;
constexpr unsigned int kMaxClassicDlc = 8;
constexpr unsigned int kMaxLargeDlc = 15;  // the DLC field has four bits

unsigned int dataBytes(unsigned int dlc) {
  return dlc < kMaxClassicDlc ? dlc : kMaxClassicDlc;
}

// Checks a frame for canWrite and builds it as receivers will see it; canOK or canERR_PARAM.
canStatus frameToWrite(const HandleSlot& slot, long id, const void* msg, unsigned int dlc,
                       unsigned int flag, VcanFrame* frame) {
  const bool extended = (flag & canMSG_EXT) != 0;
  const bool remote = (flag & canMSG_RTR) != 0;
  if (extended && (flag & canMSG_STD)) return canERR_PARAM;
  if (id < 0 || id >= (extended ? kExtendedIdLimit : kStandardIdLimit)) return canERR_PARAM;
  const bool large_dlc = (slot.open_flags & canOPEN_ACCEPT_LARGE_DLC) != 0;
  if (dlc > (large_dlc ? kMaxLargeDlc : kMaxClassicDlc)) return canERR_PARAM;
  if (msg == nullptr && dlc > 0 && !remote) return canERR_PARAM;

  memset(frame, 0, sizeof *frame);
  frame->id = static_cast<int32_t>(id);
  frame->flags = (extended ? canMSG_EXT : canMSG_STD) | (remote ? canMSG_RTR : 0);
  frame->dlc = dlc;
  // A remote request carries no data, whatever its DLC says.
  if (!remote && dlc > 0) memcpy(frame->data, msg, dataBytes(dlc));
  return canOK;
}

canStatus writeFrame(Bus& bus, CanHandle hnd, long id, const void* msg, unsigned int dlc,
                     unsigned int flag, VcanFrame* frame) {
  const HandleSlot* slot = findHandle(bus, hnd);
  if (slot == nullptr) return canERR_INVHANDLE;
  const canStatus checked = frameToWrite(*slot, id, msg, dlc, flag, frame);
  return checked != canOK ? checked : transmit(bus, slotIndex(bus, slot), *frame);
}

canStatus waitForTransmit(BusLock& lock, CanHandle hnd, unsigned long timeout) {
  HandleSlot* slot = findHandle(*lock, hnd);
  if (slot == nullptr) return canERR_INVHANDLE;
  if (slot->transmit.count() == 0) return canOK;

  const uint32_t generation = slot->generation;
  const uint64_t start = platformMonotonicMs();
  const uint64_t deadline = timeout > UINT64_MAX - start ? UINT64_MAX : start + timeout;
  for (;;) {
    const uint64_t now = platformMonotonicMs();
    if (now >= deadline) return canERR_TIMEOUT;
    const uint64_t remaining = deadline - now;
    ++slot->sync_waiters;
    lock.wait(&slot->transmit_progress,
              remaining > 0x7fffffffu ? 0x7fffffffu : static_cast<uint32_t>(remaining));
    --slot->sync_waiters;
    if (!slot->in_use || slot->generation != generation) return canERR_INVHANDLE;
    if (slot->transmit.count() == 0) return canOK;
  }
}

canStatus readFrame(Bus& bus, CanHandle hnd, long* id, void* msg, unsigned int* dlc,
                    unsigned int* flag, unsigned long* time, VcanFrame* frame) {
  HandleSlot* slot = findHandle(bus, hnd);
  if (slot == nullptr) return canERR_INVHANDLE;
  if (slot->receive.count() == 0) return canERR_NOMSG;

  *frame = slot->receive.pop();
  if (slot->overrun_pending) {
    frame->flags |= canMSGERR_SW_OVERRUN;
    slot->overrun_pending = 0;
  }
  // Only the frame's own data bytes are written; the rest of the caller's buffer stays as it was.
  if (msg != nullptr && !(frame->flags & canMSG_RTR)) {
    memcpy(msg, frame->data, dataBytes(frame->dlc));
  }
  if (id != nullptr) *id = frame->id;
  if (dlc != nullptr) *dlc = frame->dlc;
  if (flag != nullptr) *flag = frame->flags;
  if (time != nullptr) *time = frame->time_ms;
  return canOK;
}

template <typename T>
T relaxed(const T& value) {
  return __atomic_load_n(&value, __ATOMIC_RELAXED);
}

// The slot of an open handle of this process, found without the bus lock, or nullptr when that
// cannot be told cheaply (no such handle, or a fault armed or calls being recorded, which need
// the locked path). Only for answers that a racing open or close cannot make wrong: the caller
// may only conclude "queue seen empty", which was true at the moment it was seen.
const HandleSlot* slotSeenUnlocked(Bus& bus, CanHandle hnd) {
  if (hnd < 0 || hnd >= VCAN_MAX_HANDLES) return nullptr;
  if (relaxed(bus.local.fault_count) != 0 || relaxed(bus.local.recording) != 0) return nullptr;
  const LocalHandle& local = bus.local.handles[hnd];
  if (!relaxed(local.in_use)) return nullptr;
  const int32_t index = relaxed(local.slot);
  if (index < 0 || index >= VCAN_MAX_HANDLES) return nullptr;
  const HandleSlot& slot = bus.shared.handles[index];
  if (!relaxed(slot.in_use) || relaxed(slot.generation) != relaxed(local.generation) ||
      relaxed(slot.owner_token) != relaxed(bus.local.token)) {
    return nullptr;
  }
  return &slot;
}

template <uint32_t Capacity>
bool seenEmpty(const FrameRing<Capacity>& ring) {
  return (__atomic_load_n(&ring.position, __ATOMIC_ACQUIRE) >> 16) == 0;
}

// A reader polling an empty queue, or a sender whose frames have all gone out, must not take the
// bus lock from the other side just to learn that: a few loads tell. Everything else goes the
// locked way; a frame arriving meanwhile is read by the next poll.
bool receiveQueueSeenEmpty(Bus& bus, CanHandle hnd) {
  const HandleSlot* slot = slotSeenUnlocked(bus, hnd);
  return slot != nullptr && seenEmpty(slot->receive);
}

bool transmitQueueSeenEmpty(Bus& bus, CanHandle hnd) {
  const HandleSlot* slot = slotSeenUnlocked(bus, hnd);
  return slot != nullptr && seenEmpty(slot->transmit);
}

}  // namespace

extern "C" {

canStatus CANLIBAPI canWrite(const CanHandle hnd, long id, void* msg, unsigned int dlc,
                             unsigned int flag) {
  BusLock bus;
  int32_t result;
  VcanFrame frame{};
  if (!faultFires(*bus, VCAN_CALL_WRITE, hnd, &result)) {
    result = writeFrame(*bus, hnd, id, msg, dlc, flag, &frame);
  }
  if (VcanCallRecord* record = newCallRecord(*bus, VCAN_CALL_WRITE, hnd)) {
    record->args[0] = id;
    record->args[1] = dlc;
    record->args[2] = flag;
    record->args[3] = msg != nullptr;
    // The data is known only when the frame was taken; the caller's buffer is not read again.
    record->frame = frame;
    record->frame.id = static_cast<int32_t>(id);
    record->frame.flags = flag;
    record->frame.dlc = dlc;
    record->result = result;
  }
  return static_cast<canStatus>(result);
}

canStatus CANLIBAPI canWriteSync(const CanHandle hnd, unsigned long timeout) {
  Bus unlocked = theBus();
  if (transmitQueueSeenEmpty(unlocked, hnd)) return canOK;
  BusLock bus;
  int32_t result;
  if (!faultFires(*bus, VCAN_CALL_WRITE_SYNC, hnd, &result)) {
    result = waitForTransmit(bus, hnd, timeout);
  }
  if (VcanCallRecord* record = newCallRecord(*bus, VCAN_CALL_WRITE_SYNC, hnd)) {
    record->args[0] = static_cast<int64_t>(timeout);
    record->result = result;
  }
  return static_cast<canStatus>(result);
}

canStatus CANLIBAPI canRead(const CanHandle hnd, long* id, void* msg, unsigned int* dlc,
                            unsigned int* flag, unsigned long* time) {
  Bus unlocked = theBus();
  if (receiveQueueSeenEmpty(unlocked, hnd)) return canERR_NOMSG;
  BusLock bus;
  int32_t result;
  VcanFrame frame{};
  if (!faultFires(*bus, VCAN_CALL_READ, hnd, &result)) {
    result = readFrame(*bus, hnd, id, msg, dlc, flag, time, &frame);
  }
  if (VcanCallRecord* record = newCallRecord(*bus, VCAN_CALL_READ, hnd)) {
    record->frame = frame;
    record->result = result;
  }
  return static_cast<canStatus>(result);
}

}  // extern "C"
