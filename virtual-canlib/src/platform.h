// The few operating-system services the virtual CANlib needs: a lock, a condition variable, a
// one-time initialisation and a monotonic clock. Everything POSIX- or Windows-specific lives in
// platform.cpp; the rest of the library only sees these opaque, fixed-size records, so they can
// sit inside the bus state (which may one day be mapped from shared memory).
#ifndef VELMORA_VIRTUAL_CANLIB_PLATFORM_H
#define VELMORA_VIRTUAL_CANLIB_PLATFORM_H

#include <stdint.h>

namespace vcan {

// Storage large enough for a pthread mutex / condition variable or their Windows counterparts;
// platform.cpp checks the sizes at compile time.
struct alignas(8) PlatformMutex {
  unsigned char storage[64];
};
struct alignas(8) PlatformCondition {
  unsigned char storage[64];
};

void platformMutexInit(PlatformMutex* mutex);
void platformMutexLock(PlatformMutex* mutex);
void platformMutexUnlock(PlatformMutex* mutex);

void platformConditionInit(PlatformCondition* condition);
// Waits at most `milliseconds` with `mutex` held by the caller; may wake early or spuriously.
void platformConditionWait(PlatformCondition* condition, PlatformMutex* mutex,
                           uint32_t milliseconds);
void platformConditionWakeAll(PlatformCondition* condition);

// Runs `init` the first time it is called in the process, whichever thread comes first; the
// others wait until it has finished. The library has exactly one such initialisation.
void platformInitializeOnce(void (*init)(void));

// Milliseconds of a clock that never jumps (not the wall clock).
uint64_t platformMonotonicMs();

}  // namespace vcan

#endif
