// Faults armed through vcanFailCall: a CANlib call that matches one returns the armed status
// instead of doing its work. Each process has its own: they act on its calls only.
#ifndef VELMORA_VIRTUAL_CANLIB_FAULT_TABLE_H
#define VELMORA_VIRTUAL_CANLIB_FAULT_TABLE_H

#include "bus_storage.h"

namespace vcan {

bool takeArmedFault(ProcessState& process, VcanCall call, int32_t handle, int32_t* status);

// True, with the status to return, when a fault fires for this call (and counts it). `handle` is
// the call's handle argument (channel for canOpenChannel, status for canGetErrorText). Costs one
// comparison while nothing is armed.
inline bool faultFires(Bus& bus, VcanCall call, int32_t handle, int32_t* status) {
  return bus.local.fault_count != 0 && takeArmedFault(bus.local, call, handle, status);
}

}  // namespace vcan

#endif
