// Frames that carry a running number in their first four bytes, so that a receiver in another
// process can tell a lost, repeated or reordered frame.
#ifndef VELMORA_VIRTUAL_CANLIB_TESTS_NUMBERED_FRAMES_H
#define VELMORA_VIRTUAL_CANLIB_TESTS_NUMBERED_FRAMES_H

#include <stdint.h>
#include <string.h>

#include "canlib.h"

inline canStatus sendNumbered(CanHandle handle, long id, uint32_t sequence) {
  unsigned char data[8];
  memcpy(data, &sequence, sizeof sequence);
  memset(data + 4, static_cast<int>(id & 0xFF), 4);
  return canWrite(handle, id, data, sizeof data, canMSG_STD);
}

inline uint32_t frameNumber(const unsigned char* data) {
  uint32_t sequence;
  memcpy(&sequence, data, sizeof sequence);
  return sequence;
}

#endif
