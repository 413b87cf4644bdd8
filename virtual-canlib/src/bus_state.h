// The state of the simulated bus that every process on the bus shares: one fixed-size record
// without pointers (only indices), mapped from shared memory on Linux. Every field is guarded by
// `mutex`. A process may die at any instruction while it holds the mutex, so each change of the
// state is either a single store or recorded so that the next holder can finish or drop it (see
// `Delivery` and recoverBus()).
#ifndef VELMORA_VIRTUAL_CANLIB_BUS_STATE_H
#define VELMORA_VIRTUAL_CANLIB_BUS_STATE_H

#include <stdint.h>

#include "platform.h"
#include "virtual_canlib_control.h"

namespace vcan {

constexpr int32_t kDefaultBitRate = 500000;

// A fixed-capacity first-in first-out queue of frames. Its head and count share one word, so a
// push or a pop becomes visible with one store, after the frame itself was written or read.
template <uint32_t Capacity>
struct FrameRing {
  static_assert((Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");
  static_assert(Capacity <= 0x8000, "head and count must fit 16 bits each");
  uint32_t position;  // head (index of the oldest frame) in bits 0-15, count in bits 16-31
  VcanFrame frames[Capacity];

  static uint32_t pack(uint32_t head, uint32_t count) { return head | (count << 16); }
  uint32_t head() const { return position & 0xFFFFu; }
  uint32_t count() const { return position >> 16; }
  bool full() const { return count() == Capacity; }

  // The cell the next push fills (only when not full), and the position after that push.
  VcanFrame& nextFree() { return frames[(head() + count()) & (Capacity - 1)]; }
  uint32_t positionAfterPush() const { return pack(head(), count() + 1); }
  // Publishes a position; everything written before it is in place first.
  void setPosition(uint32_t next) { __atomic_store_n(&position, next, __ATOMIC_RELEASE); }

  // False (and nothing stored) when the queue is full.
  bool push(const VcanFrame& frame) {
    if (full()) return false;
    nextFree() = frame;
    setPosition(positionAfterPush());
    return true;
  }
  // The oldest frame; only when count() > 0.
  const VcanFrame& oldest() const { return frames[head()]; }
  uint32_t positionAfterPop() const { return pack((head() + 1) & (Capacity - 1), count() - 1); }
  VcanFrame pop() {
    const VcanFrame frame = oldest();
    setPosition(positionAfterPop());
    return frame;
  }
  void clear() { setPosition(0); }
};

// One handle returned by canOpenChannel, in some process; a slot is free when !in_use.
struct HandleSlot {
  int32_t in_use;
  int32_t owner_pid;     // the process whose handle this is
  uint64_t owner_token;  // tells that process from a later one with the same pid
  uint32_t generation;   // changes whenever the slot is opened or closed
  int32_t channel;
  int32_t open_flags;
  int32_t bit_rate;  // bit/s
  int32_t on_bus;
  int32_t overrun_pending;  // the receive queue dropped a frame; the next read reports it
  // Owner threads inside canWriteSync on this slot; only says whether a wake-up is needed. A
  // waiter that died leaves it too high, which costs a needless wake-up, never a missed one.
  int32_t sync_waiters;
  PlatformEvent transmit_progress;  // woken when the transmit queue drains or the slot closes
  FrameRing<VCAN_TRANSMIT_QUEUE_CAPACITY> transmit;  // written, not yet acknowledged
  FrameRing<VCAN_RECEIVE_QUEUE_CAPACITY> receive;
};

// A frame on its way to its receivers. The frame is first written into each receiver's next
// free cell (invisible until its count grows), with the receive positions it will have; then
// `committed` is set, the positions are stored, and `committed` cleared. The next holder of the
// lock after a death finishes a committed delivery (storing the same positions again changes
// nothing) and drops one that was not committed: receivers get the frame all or none.
struct Delivery {
  static constexpr uint32_t kOverrun = 0xFFFFFFFFu;  // the receiver's queue was full
  struct Step {
    int32_t slot;
    uint32_t receive_position;  // or kOverrun
  };
  int32_t committed;
  int32_t step_count;
  int32_t sender;  // the slot whose transmit queue gives up its oldest frame, or -1
  uint32_t sender_transmit_position;
  Step steps[VCAN_MAX_HANDLES];
};

// The first bytes of the segment, laid out the same by every version of the library, so that a
// process can tell a bus it must not touch.
struct SegmentHeader {
  uint32_t magic;
  uint32_t format_version;
  uint32_t pointer_bits;  // a 32-bit and a 64-bit process lay out the lock differently
  uint32_t ready;         // set last by the creator, once everything else is in place
  uint64_t size;          // bytes of the whole state
  int32_t creator_pid;
  int32_t reserved;
};

constexpr uint32_t kSegmentMagic = 0x56434E42u;  // "VCNB"
// Change it with any change of BusState's layout or meaning.
constexpr uint32_t kSegmentFormatVersion = 1;

struct BusState {
  SegmentHeader header;  // first, always
  PlatformMutex mutex;
  uint64_t epoch_ms;       // zero of the time stamps
  uint32_t last_sweep_ms;  // bus time when dead processes' handles were last looked for
  int32_t on_bus_count;
  int32_t on_bus[VCAN_MAX_HANDLES];  // slots on the bus, in no order; rebuilt after a death
  Delivery delivery;
  HandleSlot handles[VCAN_MAX_HANDLES];
};

}  // namespace vcan

#endif
