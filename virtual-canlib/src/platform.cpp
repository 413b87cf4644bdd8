// POSIX (pthreads) and Windows (SRW locks, condition variables) behind platform.h. This is the
// only file of the library that includes an operating-system header.
#include "platform.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#include <time.h>
#endif

namespace vcan {

#if defined(_WIN32)

static_assert(sizeof(SRWLOCK) <= sizeof(PlatformMutex::storage), "PlatformMutex too small");
static_assert(sizeof(CONDITION_VARIABLE) <= sizeof(PlatformCondition::storage),
              "PlatformCondition too small");

static SRWLOCK* nativeMutex(PlatformMutex* mutex) {
  return reinterpret_cast<SRWLOCK*>(mutex->storage);
}
static CONDITION_VARIABLE* nativeCondition(PlatformCondition* condition) {
  return reinterpret_cast<CONDITION_VARIABLE*>(condition->storage);
}

void platformMutexInit(PlatformMutex* mutex) {
  InitializeSRWLock(nativeMutex(mutex));
}
void platformMutexLock(PlatformMutex* mutex) {
  AcquireSRWLockExclusive(nativeMutex(mutex));
}
void platformMutexUnlock(PlatformMutex* mutex) {
  ReleaseSRWLockExclusive(nativeMutex(mutex));
}

void platformConditionInit(PlatformCondition* condition) {
  InitializeConditionVariable(nativeCondition(condition));
}

void platformConditionWait(PlatformCondition* condition, PlatformMutex* mutex,
                           uint32_t milliseconds) {
  // INFINITE is 0xFFFFFFFF; never pass it by accident.
  const DWORD wait = milliseconds >= INFINITE ? INFINITE - 1 : milliseconds;
  SleepConditionVariableSRW(nativeCondition(condition), nativeMutex(mutex), wait, 0);
}

void platformConditionWakeAll(PlatformCondition* condition) {
  WakeAllConditionVariable(nativeCondition(condition));
}

static INIT_ONCE initializeOnce = INIT_ONCE_STATIC_INIT;

static BOOL CALLBACK runInitializer(PINIT_ONCE, PVOID parameter, PVOID*) {
  reinterpret_cast<void (*)(void)>(parameter)();
  return TRUE;
}

void platformInitializeOnce(void (*init)(void)) {
  InitOnceExecuteOnce(&initializeOnce, runInitializer, reinterpret_cast<PVOID>(init), nullptr);
}

uint64_t platformMonotonicMs() {
  return GetTickCount64();
}

#else

static_assert(sizeof(pthread_mutex_t) <= sizeof(PlatformMutex::storage), "PlatformMutex too small");
static_assert(alignof(pthread_mutex_t) <= alignof(PlatformMutex), "PlatformMutex misaligned");
static_assert(sizeof(pthread_cond_t) <= sizeof(PlatformCondition::storage),
              "PlatformCondition too small");
static_assert(alignof(pthread_cond_t) <= alignof(PlatformCondition),
              "PlatformCondition misaligned");

static pthread_mutex_t* nativeMutex(PlatformMutex* mutex) {
  return reinterpret_cast<pthread_mutex_t*>(mutex->storage);
}
static pthread_cond_t* nativeCondition(PlatformCondition* condition) {
  return reinterpret_cast<pthread_cond_t*>(condition->storage);
}

void platformMutexInit(PlatformMutex* mutex) {
  pthread_mutex_init(nativeMutex(mutex), nullptr);
}
void platformMutexLock(PlatformMutex* mutex) {
  pthread_mutex_lock(nativeMutex(mutex));
}
void platformMutexUnlock(PlatformMutex* mutex) {
  pthread_mutex_unlock(nativeMutex(mutex));
}

void platformConditionInit(PlatformCondition* condition) {
  // Timed waits measure against the monotonic clock, so a wall-clock jump cannot stretch them.
  pthread_condattr_t attributes;
  pthread_condattr_init(&attributes);
  pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
  pthread_cond_init(nativeCondition(condition), &attributes);
  pthread_condattr_destroy(&attributes);
}

void platformConditionWait(PlatformCondition* condition, PlatformMutex* mutex,
                           uint32_t milliseconds) {
  timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += static_cast<time_t>(milliseconds / 1000);
  deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  pthread_cond_timedwait(nativeCondition(condition), nativeMutex(mutex), &deadline);
}

void platformConditionWakeAll(PlatformCondition* condition) {
  pthread_cond_broadcast(nativeCondition(condition));
}

static pthread_once_t initializeOnce = PTHREAD_ONCE_INIT;
static void (*pendingInitializer)(void) = nullptr;

static void runInitializer() {
  __atomic_load_n(&pendingInitializer, __ATOMIC_ACQUIRE)();
}

void platformInitializeOnce(void (*init)(void)) {
  // pthread_once takes no argument; the initializer is the same on every call, so storing it
  // before the call is harmless even when several threads race here.
  __atomic_store_n(&pendingInitializer, init, __ATOMIC_RELEASE);
  pthread_once(&initializeOnce, runInitializer);
}

uint64_t platformMonotonicMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

#endif

}  // namespace vcan
