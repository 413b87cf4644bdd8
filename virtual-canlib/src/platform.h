// The operating-system services the virtual CANlib needs: a lock that survives the death of its
// holder, a wake-up that survives the death of a waiter, a one-time initialisation, a monotonic
// clock and a few process facts. POSIX and Windows code lives in platform.cpp (and, for the bus
// shared between processes, in bus_segment.cpp); the rest of the library only sees these opaque,
// fixed-size records, which sit inside the bus state and so may lie in shared memory.
#ifndef VELMORA_VIRTUAL_CANLIB_PLATFORM_H
#define VELMORA_VIRTUAL_CANLIB_PLATFORM_H

#include <stdint.h>

namespace vcan {

// Storage large enough for a pthread mutex or an SRW lock; platform.cpp checks it at compile time.
struct alignas(8) PlatformMutex {
  unsigned char storage[64];
};
// Something threads wait on until another thread wakes them: a futex word on Linux, a condition
// variable on Windows. All-zero bytes are a valid, initialised event.
struct alignas(8) PlatformEvent {
  unsigned char storage[8];
};

// On POSIX a process-shared, robust mutex: when its holder dies, the next locker gets it.
void platformMutexInit(PlatformMutex* mutex);
// True when the previous holder died while holding it: the caller must repair what it guards and
// then call platformMutexMarkConsistent before unlocking.
bool platformMutexLock(PlatformMutex* mutex);
void platformMutexMarkConsistent(PlatformMutex* mutex);
void platformMutexUnlock(PlatformMutex* mutex);

// Waits at most `milliseconds` for a wake-up, with `mutex` held by the caller, who holds it again
// on return; may wake early or spuriously. Returns what platformMutexLock returned on relocking.
// A waiter that dies leaves nothing behind that could block a later wake-up.
bool platformEventWait(PlatformEvent* event, PlatformMutex* mutex, uint32_t milliseconds);
// Wakes every waiter; the caller holds the mutex the waiters use.
void platformEventWakeAll(PlatformEvent* event);

// Runs `init` the first time it is called in the process, whichever thread comes first; the
// others wait until it has finished. The library has exactly one such initialisation.
void platformInitializeOnce(void (*init)(void));

// Milliseconds of a clock that never jumps (not the wall clock), the same in every process.
uint64_t platformMonotonicMs();
// Nanoseconds of that clock, for a number that differs from one process start to the next.
uint64_t platformMonotonicNs();

int32_t platformProcessId();
// True when no process `pid` runs any more (it exited, or it is a zombie waiting to be reaped).
bool platformProcessGone(int32_t pid);
// Ends this process at once, as kill -9 would (for crash tests).
[[noreturn]] void platformKillSelf();
// Runs `handler` in the child after fork(); nothing on Windows.
void platformOnForkChild(void (*handler)(void));

}  // namespace vcan

#endif
