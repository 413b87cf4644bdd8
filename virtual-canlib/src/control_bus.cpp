// The control interface's access to the bus itself: frame injection, queue lengths, channel
// count and reset. Faults and the call log have their own files.
#include "bus_storage.h"
#include "canlib.h"
#include "simulated_bus.h"

using namespace vcan;

extern "C" {

int vcanInjectFrame(int handle, const VcanFrame* frame) {
  if (frame == nullptr) return canERR_PARAM;
  BusLock bus;
  HandleSlot* slot = findHandle(*bus, handle);
  if (slot == nullptr) return canERR_INVHANDLE;
  receive(*slot, *frame, busTimeMs(*bus));
  return canOK;
}

int vcanReceiveQueueLength(int handle) {
  BusLock bus;
  const HandleSlot* slot = findHandle(*bus, handle);
  return slot == nullptr ? canERR_INVHANDLE : static_cast<int>(slot->receive.count);
}

int vcanTransmitQueueLength(int handle) {
  BusLock bus;
  const HandleSlot* slot = findHandle(*bus, handle);
  return slot == nullptr ? canERR_INVHANDLE : static_cast<int>(slot->transmit.count);
}

void vcanReset(void) {
  BusLock bus;
  resetBus(*bus);
}

int vcanSetChannelCount(int count) {
  if (count < 1 || count > VCAN_MAX_CHANNELS) return canERR_PARAM;
  BusLock bus;
  bus->channel_count = count;
  bus->channel_count_overridden = 1;
  return canOK;
}

}  // extern "C"
