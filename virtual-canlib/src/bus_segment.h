// The bus shared between processes (POSIX): a shared-memory segment named by VCAN_BUS_ENV that the
// first process creates and the others map.
#ifndef VELMORA_VIRTUAL_CANLIB_BUS_SEGMENT_H
#define VELMORA_VIRTUAL_CANLIB_BUS_SEGMENT_H

#include "bus_state.h"

namespace vcan {

// The bus named by the environment, created when nobody has, or nullptr (after one line on
// stderr saying why) when the name is unusable or the segment was made by an incompatible
// version of the library.
BusState* attachBusSegment();

}  // namespace vcan

#endif
