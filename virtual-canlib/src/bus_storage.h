// Where the bus state lives and how a call gets exclusive access to it.
#ifndef VELMORA_VIRTUAL_CANLIB_BUS_STORAGE_H
#define VELMORA_VIRTUAL_CANLIB_BUS_STORAGE_H

#include "bus_state.h"
#include "process_state.h"

namespace vcan {

// The bus as one call sees it: the state shared with the other processes on the bus, and this
// process's own.
struct Bus {
  BusState& shared;
  ProcessState& local;
};

// The bus, attached on first use. Only touch it with the mutex held (see BusLock); the one
// exception is canlib_frame_calls.cpp's atomic look at an empty queue, which changes nothing.
Bus theBus();

// A fresh, empty bus in zeroed memory (the creator of a shared segment, or the private one).
void initializeBusState(BusState& state);

// Takes the bus mutex; when its previous holder died holding it, repairs the bus first
// (recoverBus).
void lockBus(Bus& bus);

// Holds the bus mutex for its lifetime; every public call runs under one. Taking it after a
// process died holding it first repairs the bus.
class BusLock {
 public:
  BusLock() : bus_(theBus()) { lockBus(bus_); }
  ~BusLock() { platformMutexUnlock(&bus_.shared.mutex); }
  BusLock(const BusLock&) = delete;
  BusLock& operator=(const BusLock&) = delete;

  Bus& operator*() { return bus_; }
  Bus* operator->() { return &bus_; }

  // Waits at most `milliseconds` for `event`, with the lock let go meanwhile; may wake early.
  void wait(PlatformEvent* event, uint32_t milliseconds);

 private:
  Bus bus_;
};

}  // namespace vcan

#endif
