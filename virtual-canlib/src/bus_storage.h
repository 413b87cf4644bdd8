// Where the bus state lives and how a call gets exclusive access to it.
#ifndef VELMORA_VIRTUAL_CANLIB_BUS_STORAGE_H
#define VELMORA_VIRTUAL_CANLIB_BUS_STORAGE_H

#include "bus_state.h"

namespace vcan {

// The state, initialised on first use. Only touch it with the mutex held (see BusLock).
BusState& busState();

// Holds the bus mutex for its lifetime; every public call runs under one.
class BusLock {
 public:
  BusLock() : state_(busState()) { platformMutexLock(&state_.mutex); }
  ~BusLock() { platformMutexUnlock(&state_.mutex); }
  BusLock(const BusLock&) = delete;
  BusLock& operator=(const BusLock&) = delete;

  BusState& operator*() const { return state_; }
  BusState* operator->() const { return &state_; }

 private:
  BusState& state_;
};

}  // namespace vcan

#endif
