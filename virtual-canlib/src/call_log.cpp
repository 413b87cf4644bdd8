#include "call_log.h"

#include <string.h>

#include "bus_storage.h"
#include "canlib.h"

namespace vcan {

VcanCallRecord* appendCallRecord(BusState& bus, VcanCall call, int32_t handle) {
  if (bus.call_count == VCAN_CALL_LOG_CAPACITY) return nullptr;
  VcanCallRecord* record = &bus.calls[bus.call_count++];
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
  bus->recording = on ? 1 : 0;
  bus->call_count = 0;
}

int vcanCallCount(void) {
  BusLock bus;
  return bus->call_count;
}

int vcanCallAt(int index, VcanCallRecord* out) {
  BusLock bus;
  if (out == nullptr || index < 0 || index >= bus->call_count) return canERR_PARAM;
  *out = bus->calls[index];
  return canOK;
}

}  // extern "C"
