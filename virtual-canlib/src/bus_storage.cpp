// The bus state is one static record in this process. Making the bus span processes means
// mapping it from shared memory here instead, with process-shared locks; nothing else changes.
#include "bus_storage.h"

#include "simulated_bus.h"

namespace vcan {

namespace {

BusState theBus;
int ready = 0;  // set (release) once theBus is initialised

void initializeBus() {
  platformMutexInit(&theBus.mutex);
  platformConditionInit(&theBus.transmit_progress);
  theBus.epoch_ms = platformMonotonicMs();
  theBus.channel_count = channelCountFromEnvironment();
  __atomic_store_n(&ready, 1, __ATOMIC_RELEASE);
}

}  // namespace

BusState& busState() {
  if (!__atomic_load_n(&ready, __ATOMIC_ACQUIRE)) platformInitializeOnce(initializeBus);
  return theBus;
}

}  // namespace vcan
