// The CANlib calls that set up and tear down a handle: canInitializeLibrary, canOpenChannel,
// canSetBusParams, canBusOn, canClose.
#include "bus_storage.h"
#include "call_log.h"
#include "canlib.h"
#include "fault_table.h"
#include "simulated_bus.h"

using namespace vcan;

namespace {

constexpr int32_t kKnownOpenFlags = canOPEN_EXCLUSIVE | canOPEN_REQUIRE_EXTENDED |
                                    canOPEN_ACCEPT_VIRTUAL | canOPEN_OVERRIDE_EXCLUSIVE |
                                    canOPEN_ACCEPT_LARGE_DLC;

// Explicit bit rates a CAN controller can run at.
constexpr long kLowestBitRate = 5000;
constexpr long kHighestBitRate = 1000000;

int openChannel(Bus& bus, int channel, int flags) {
  if (!bus.local.initialized) return canERR_NOTINITIALIZED;
  // The named bus is unusable (stderr said why at the first call).
  if (bus.local.bus_refused) return canERR_DRIVER;
  if ((flags & ~kKnownOpenFlags) != 0) return canERR_PARAM;
  if (channel < 0 || channel >= bus.local.channel_count) return canERR_NOTFOUND;
  // Handles of processes that are gone neither hold a channel nor take up a slot.
  reclaimDeadOwners(bus);
  // An exclusive holder keeps others out, in whichever process, and an exclusive open needs the
  // channel to itself, unless the newcomer overrides.
  if (!(flags & canOPEN_OVERRIDE_EXCLUSIVE)) {
    for (const HandleSlot& slot : bus.shared.handles) {
      if (!slot.in_use || slot.channel != channel) continue;
      if ((slot.open_flags & canOPEN_EXCLUSIVE) || (flags & canOPEN_EXCLUSIVE)) {
        return canERR_NOCHANNELS;
      }
    }
  }
  return openHandle(bus, channel, flags);
}

// The bit rate in bit/s for canSetBusParams' freq, or 0 when it is not one we can do.
int32_t bitRateFor(long freq) {
  static constexpr int32_t kPredefined[] = {1000000, 500000, 250000, 125000, 100000,
                                            62500,   50000,  83333,  10000};
  if (freq < 0) {
    return freq >= -9 ? kPredefined[-freq - 1] : 0;
  }
  return freq >= kLowestBitRate && freq <= kHighestBitRate ? static_cast<int32_t>(freq) : 0;
}

canStatus setBusParams(Bus& bus, CanHandle hnd, long freq, unsigned int noSamp) {
  const HandleSlot* slot = findHandle(bus, hnd);
  if (slot == nullptr) return canERR_INVHANDLE;
  const int32_t bit_rate = bitRateFor(freq);
  if (bit_rate == 0 || (noSamp != 0 && noSamp != 1 && noSamp != 3)) return canERR_PARAM;
  setBitRate(bus, slotIndex(bus, slot), bit_rate);
  return canOK;
}

canStatus busOn(Bus& bus, CanHandle hnd) {
  const HandleSlot* slot = findHandle(bus, hnd);
  if (slot == nullptr) return canERR_INVHANDLE;
  putOnBus(bus, slotIndex(bus, slot));
  return canOK;
}

canStatus closeChannel(Bus& bus, CanHandle hnd) {
  if (findHandle(bus, hnd) == nullptr) {
    // A handle closed under this process (vcanResetBus elsewhere) gives its number back too.
    if (hnd >= 0 && hnd < VCAN_MAX_HANDLES) bus.local.handles[hnd].in_use = 0;
    return canERR_INVHANDLE;
  }
  closeHandle(bus, hnd);
  return canOK;
}

// A call whose only argument is the handle: fault, work, log.
canStatus handleOnlyCall(VcanCall call, CanHandle hnd, canStatus (*work)(Bus&, CanHandle)) {
  BusLock bus;
  int32_t result;
  if (!faultFires(*bus, call, hnd, &result)) result = work(*bus, hnd);
  if (VcanCallRecord* record = newCallRecord(*bus, call, hnd)) record->result = result;
  return static_cast<canStatus>(result);
}

}  // namespace

extern "C" {

void CANLIBAPI canInitializeLibrary(void) {
  BusLock bus;
  bus->local.initialized = 1;
  if (!bus->local.channel_count_overridden) {
    bus->local.channel_count = channelCountFromEnvironment();
  }
  newCallRecord(*bus, VCAN_CALL_INITIALIZE_LIBRARY, 0);
}

CanHandle CANLIBAPI canOpenChannel(int channel, int flags) {
  BusLock bus;
  int32_t result;
  if (!faultFires(*bus, VCAN_CALL_OPEN_CHANNEL, channel, &result)) {
    result = openChannel(*bus, channel, flags);
  }
  if (VcanCallRecord* record = newCallRecord(*bus, VCAN_CALL_OPEN_CHANNEL, channel)) {
    record->args[0] = flags;
    record->result = result;
  }
  return result;
}

canStatus CANLIBAPI canSetBusParams(const CanHandle hnd, long freq, unsigned int tseg1,
                                    unsigned int tseg2, unsigned int sjw, unsigned int noSamp,
                                    unsigned int syncmode) {
  // The segments, jump width and sync mode only shape the bit timing on real hardware; the
  // simulation has no timing below the bit rate, so they are taken as given.
  BusLock bus;
  int32_t result;
  if (!faultFires(*bus, VCAN_CALL_SET_BUS_PARAMS, hnd, &result)) {
    result = setBusParams(*bus, hnd, freq, noSamp);
  }
  if (VcanCallRecord* record = newCallRecord(*bus, VCAN_CALL_SET_BUS_PARAMS, hnd)) {
    const int64_t args[6] = {freq, tseg1, tseg2, sjw, noSamp, syncmode};
    for (int i = 0; i < 6; ++i) record->args[i] = args[i];
    record->result = result;
  }
  return static_cast<canStatus>(result);
}

canStatus CANLIBAPI canBusOn(const CanHandle hnd) {
  return handleOnlyCall(VCAN_CALL_BUS_ON, hnd, busOn);
}

canStatus CANLIBAPI canClose(const CanHandle hnd) {
  return handleOnlyCall(VCAN_CALL_CLOSE, hnd, closeChannel);
}

}  // extern "C"
