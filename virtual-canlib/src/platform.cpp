// POSIX (pthreads, futexes on Linux) and Windows (SRW locks, condition variables) behind
// platform.h.
#include "platform.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <errno.h>
#include <linux/futex.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>
#endif

namespace vcan {

#if defined(_WIN32)

static_assert(sizeof(SRWLOCK) <= sizeof(PlatformMutex::storage), "PlatformMutex too small");
static_assert(sizeof(CONDITION_VARIABLE) <= sizeof(PlatformEvent::storage),
              "PlatformEvent too small");

static SRWLOCK* nativeMutex(PlatformMutex* mutex) {
  return reinterpret_cast<SRWLOCK*>(mutex->storage);
}
static CONDITION_VARIABLE* nativeCondition(PlatformEvent* event) {
  return reinterpret_cast<CONDITION_VARIABLE*>(event->storage);
}

// The Windows build keeps its bus inside the process, so a holder cannot die and leave it held.
void platformMutexInit(PlatformMutex* mutex) {
  InitializeSRWLock(nativeMutex(mutex));
}
bool platformMutexLock(PlatformMutex* mutex) {
  AcquireSRWLockExclusive(nativeMutex(mutex));
  return false;
}
void platformMutexMarkConsistent(PlatformMutex*) {}
void platformMutexUnlock(PlatformMutex* mutex) {
  ReleaseSRWLockExclusive(nativeMutex(mutex));
}

bool platformEventWait(PlatformEvent* event, PlatformMutex* mutex, uint32_t milliseconds) {
  // INFINITE is 0xFFFFFFFF; never pass it by accident.
  const DWORD wait = milliseconds >= INFINITE ? INFINITE - 1 : milliseconds;
  SleepConditionVariableSRW(nativeCondition(event), nativeMutex(mutex), wait, 0);
  return false;
}

void platformEventWakeAll(PlatformEvent* event) {
  WakeAllConditionVariable(nativeCondition(event));
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
uint64_t platformMonotonicNs() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<uint64_t>(counter.QuadPart);
}

int32_t platformProcessId() {
  return static_cast<int32_t>(GetCurrentProcessId());
}
bool platformProcessGone(int32_t) {
  return false;  // only the own process uses the bus
}
void platformKillSelf() {
  TerminateProcess(GetCurrentProcess(), 137);
  for (;;) {
  }
}
void platformOnForkChild(void (*)(void)) {}

#else

static_assert(sizeof(pthread_mutex_t) <= sizeof(PlatformMutex::storage), "PlatformMutex too small");
static_assert(alignof(pthread_mutex_t) <= alignof(PlatformMutex), "PlatformMutex misaligned");
static_assert(sizeof(uint32_t) <= sizeof(PlatformEvent::storage), "PlatformEvent too small");

static pthread_mutex_t* nativeMutex(PlatformMutex* mutex) {
  return reinterpret_cast<pthread_mutex_t*>(mutex->storage);
}
// The futex word: a counter bumped by every wake-up.
static uint32_t* eventWord(PlatformEvent* event) {
  return reinterpret_cast<uint32_t*>(event->storage);
}

void platformMutexInit(PlatformMutex* mutex) {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
  pthread_mutex_init(nativeMutex(mutex), &attributes);
  pthread_mutexattr_destroy(&attributes);
}

// The bus lock is held for tens of nanoseconds. A reader polling against a sender would otherwise
// sleep in the kernel and be woken for nearly every frame, which costs microseconds each time;
// a short spin first keeps both threads running.
static constexpr int kSpinAttempts = 200;

static inline void pauseCpu() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

bool platformMutexLock(PlatformMutex* mutex) {
  pthread_mutex_t* native = nativeMutex(mutex);
  int result = pthread_mutex_trylock(native);
  for (int attempt = 0; result == EBUSY && attempt < kSpinAttempts; ++attempt) {
    // Watch the lock word (glibc: the owner's thread id, 0 when free) with plain loads and try
    // again only once it looks free, so the spinning core does not keep stealing the cache line.
    while (__atomic_load_n(&native->__data.__lock, __ATOMIC_RELAXED) != 0 &&
           attempt < kSpinAttempts) {
      pauseCpu();
      ++attempt;
    }
    result = pthread_mutex_trylock(native);
  }
  if (result == EBUSY) result = pthread_mutex_lock(native);
  if (result == 0) return false;
  if (result == EOWNERDEAD) return true;
  // Only possible when something outside the library wrote over the bus: it never unlocks a
  // mutex it recovered without marking it consistent first.
  fprintf(stderr, "virtual CANlib: the bus lock is broken (error %d); remove the bus segment\n",
          result);
  abort();
}

void platformMutexMarkConsistent(PlatformMutex* mutex) {
  pthread_mutex_consistent(nativeMutex(mutex));
}

void platformMutexUnlock(PlatformMutex* mutex) {
  pthread_mutex_unlock(nativeMutex(mutex));
}

// A futex rather than a process-shared pthread condition variable: glibc's condition variable
// keeps waiter counts in user space, and a waiter killed in the middle of a wait would leave them
// wrong for good (a later broadcast may then block). A futex keeps nothing of a dead waiter.
bool platformEventWait(PlatformEvent* event, PlatformMutex* mutex, uint32_t milliseconds) {
  uint32_t* word = eventWord(event);
  // Read under the mutex: a wake-up after the unlock changes the word, so the wait returns at once.
  const uint32_t seen = __atomic_load_n(word, __ATOMIC_ACQUIRE);
  platformMutexUnlock(mutex);
  timespec timeout;
  timeout.tv_sec = static_cast<time_t>(milliseconds / 1000);
  timeout.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  // FUTEX_WAIT (not _PRIVATE): the word may be shared with other processes. An interruption by a
  // signal, a changed word or the timeout all simply return; the caller checks its condition.
  syscall(SYS_futex, word, FUTEX_WAIT, seen, &timeout, nullptr, 0);
  return platformMutexLock(mutex);
}

void platformEventWakeAll(PlatformEvent* event) {
  uint32_t* word = eventWord(event);
  __atomic_add_fetch(word, 1, __ATOMIC_RELEASE);
  syscall(SYS_futex, word, FUTEX_WAKE, 0x7fffffff, nullptr, nullptr, 0);
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

uint64_t platformMonotonicNs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

uint64_t platformMonotonicMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

int32_t platformProcessId() {
  return static_cast<int32_t>(getpid());
}

// A zombie still answers kill(pid, 0), but it will never touch the bus again.
static bool isZombie(int32_t pid) {
  char path[40];
  snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  FILE* file = fopen(path, "r");
  if (file == nullptr) return false;  // no /proc: trust kill()
  char line[512];
  const size_t length = fread(line, 1, sizeof line - 1, file);
  fclose(file);
  line[length] = '\0';
  // "pid (command) state ...": the command may hold anything, so look after its last ')'.
  const char* close = nullptr;
  for (const char* c = line; *c != '\0'; ++c) {
    if (*c == ')') close = c;
  }
  return close != nullptr && close[1] == ' ' && (close[2] == 'Z' || close[2] == 'X');
}

bool platformProcessGone(int32_t pid) {
  if (pid <= 0) return true;
  if (kill(pid, 0) == -1 && errno == ESRCH) return true;
  return isZombie(pid);  // EPERM: alive, but someone else's
}

void platformKillSelf() {
  kill(getpid(), SIGKILL);
  for (;;) pause();
}

void platformOnForkChild(void (*handler)(void)) {
  pthread_atfork(nullptr, nullptr, handler);
}

#endif

}  // namespace vcan
