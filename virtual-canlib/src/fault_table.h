// Faults armed through vcanFailCall: a CANlib call that matches one returns the armed status
// instead of doing its work.
#ifndef VELMORA_VIRTUAL_CANLIB_FAULT_TABLE_H
#define VELMORA_VIRTUAL_CANLIB_FAULT_TABLE_H

#include "bus_state.h"

namespace vcan {

bool takeArmedFault(BusState& bus, VcanCall call, int32_t handle, int32_t* status);

// True, with the status to return, when a fault fires for this call (and counts it). `handle` is
// the call's handle argument (channel for canOpenChannel, status for canGetErrorText). Costs one
// comparison while nothing is armed.
inline bool faultFires(BusState& bus, VcanCall call, int32_t handle, int32_t* status) {
  return bus.fault_count != 0 && takeArmedFault(bus, call, handle, status);
}

}  // namespace vcan

#endif
