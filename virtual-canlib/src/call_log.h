// The record of CANlib calls kept while vcanRecordCalls is on; each process logs its own calls.
#ifndef VELMORA_VIRTUAL_CANLIB_CALL_LOG_H
#define VELMORA_VIRTUAL_CANLIB_CALL_LOG_H

#include "bus_storage.h"

namespace vcan {

VcanCallRecord* appendCallRecord(ProcessState& process, VcanCall call, int32_t handle);

// A zeroed record for this call, to be filled in by the caller, or nullptr when not recording
// or the log is full. Costs one comparison while not recording.
inline VcanCallRecord* newCallRecord(Bus& bus, VcanCall call, int32_t handle) {
  return bus.local.recording ? appendCallRecord(bus.local, call, handle) : nullptr;
}

}  // namespace vcan

#endif
