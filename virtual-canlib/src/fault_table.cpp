#include "fault_table.h"

#include <string.h>

#include "bus_storage.h"
#include "canlib.h"

namespace vcan {

namespace {

// The calls a fault can be armed for; canInitializeLibrary has no result to fake.
struct NamedCall {
  const char* name;
  VcanCall call;
};
constexpr NamedCall kFaultableCalls[] = {
    {"canOpenChannel", VCAN_CALL_OPEN_CHANNEL},
    {"canSetBusParams", VCAN_CALL_SET_BUS_PARAMS},
    {"canBusOn", VCAN_CALL_BUS_ON},
    {"canWrite", VCAN_CALL_WRITE},
    {"canWriteSync", VCAN_CALL_WRITE_SYNC},
    {"canRead", VCAN_CALL_READ},
    {"canClose", VCAN_CALL_CLOSE},
    {"canGetErrorText", VCAN_CALL_GET_ERROR_TEXT},
};

bool faultableCall(const char* name, VcanCall* call) {
  for (const NamedCall& candidate : kFaultableCalls) {
    if (strcmp(candidate.name, name) == 0) {
      *call = candidate.call;
      return true;
    }
  }
  return false;
}

}  // namespace

bool takeArmedFault(ProcessState& process, VcanCall call, int32_t handle, int32_t* status) {
  for (int i = 0; i < process.fault_count; ++i) {
    Fault& fault = process.faults[i];
    if (fault.call != call || (fault.handle != VCAN_ANY_HANDLE && fault.handle != handle)) {
      continue;
    }
    *status = fault.status;
    if (--fault.remaining == 0) {
      // Keep the arming order of the rest.
      memmove(&process.faults[i], &process.faults[i + 1],
              sizeof(Fault) * (process.fault_count - i - 1));
      --process.fault_count;
    }
    return true;
  }
  return false;
}

}  // namespace vcan

using namespace vcan;

extern "C" {

int vcanFailCall(const char* call, int status, int count, int handle) {
  VcanCall which;
  if (call == nullptr || !faultableCall(call, &which) || count < 1) return canERR_PARAM;
  BusLock bus;
  ProcessState& process = bus->local;
  if (process.fault_count == kMaxFaults) return canERR_PARAM;
  process.faults[process.fault_count++] = Fault{which, status, count, handle};
  return canOK;
}

void vcanClearFaults(void) {
  BusLock bus;
  bus->local.fault_count = 0;
}

}  // extern "C"
