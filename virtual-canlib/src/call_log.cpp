#include "call_log.h"

#include <string.h>

#include "bus_storage.h"
#include "canlib.h"

namespace vcan {

VcanCallRecord* appendCallRecord(ProcessState& process, VcanCall call, int32_t handle) {
  if (process.call_count == VCAN_CALL_LOG_CAPACITY) return nullptr;
  VcanCallRecord* record = &process.calls[process.call_count++];
  memset(record, 0, sizeof *record);
  record->call = call;
  record->handle = handle;
  return record;
}

}  // namespace vcan

using namespace vcan;

extern "C" {

void vcanRecordCalls(int on) {
  BusLock bus;
  bus->local.recording = on ? 1 : 0;
  bus->local.call_count = 0;
}

int vcanCallCount(void) {
  BusLock bus;
  return bus->local.call_count;
}

int vcanCallAt(int index, VcanCallRecord* out) {
  BusLock bus;
  if (out == nullptr || index < 0 || index >= bus->local.call_count) return canERR_PARAM;
  *out = bus->local.calls[index];
  return canOK;
}

}  // extern "C"
