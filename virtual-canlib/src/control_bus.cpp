// The control interface's access to the bus itself: frame injection, queue lengths, channel
// count, resets and the crash-test hooks. Faults and the call log have their own files.
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
  receive(*slot, *frame, busTimeMs(bus->shared));
  return canOK;
}

int vcanReceiveQueueLength(int handle) {
  BusLock bus;
  const HandleSlot* slot = findHandle(*bus, handle);
  return slot == nullptr ? canERR_INVHANDLE : static_cast<int>(slot->receive.count());
}

int vcanTransmitQueueLength(int handle) {
  BusLock bus;
  const HandleSlot* slot = findHandle(*bus, handle);
  return slot == nullptr ? canERR_INVHANDLE : static_cast<int>(slot->transmit.count());
}

void vcanReset(void) {
  BusLock bus;
  resetProcess(*bus);
}

void vcanResetBus(void) {
  BusLock bus;
  resetWholeBus(*bus);
}

int vcanSetChannelCount(int count) {
  if (count < 1 || count > VCAN_MAX_CHANNELS) return canERR_PARAM;
  BusLock bus;
  bus->local.channel_count = count;
  bus->local.channel_count_overridden = 1;
  return canOK;
}

int vcanLockBus(void) {
  Bus bus = theBus();
  lockBus(bus);
  return canOK;
}

int vcanUnlockBus(void) {
  platformMutexUnlock(&theBus().shared.mutex);
  return canOK;
}

int vcanCrashDuringNextDelivery(int point) {
  if (point < VCAN_CRASH_NONE || point > VCAN_CRASH_AFTER_FIRST_RECEIVER) return canERR_PARAM;
  BusLock bus;
  bus->local.crash_point = point;
  return canOK;
}

}  // extern "C"
