// Control interface of the virtual CANlib, for tests and tools. It is not part of CANlib: a program
// that runs against the real CANlib must not call it. It lives in the same shared library as the
// virtual CANlib (libcanlib.so.1 / canlib32.dll) so that it sees the same simulated bus.
//
// On Linux the bus is shared by every process that names the same bus (VCAN_BUS_ENV); handles,
// armed faults, the call log and the channel count belong to the process that made them, so the
// functions below act on the calling process's handles and calls unless they say otherwise.
//
// Every function is thread-safe and may be called at any time, also before canInitializeLibrary.
#ifndef VELMORA_VIRTUAL_CANLIB_CONTROL_H
#define VELMORA_VIRTUAL_CANLIB_CONTROL_H

#include <stdint.h>

#if defined(_WIN32)
#define VCAN_CONTROL_API
#else
#define VCAN_CONTROL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Limits of the simulation; the queues are fixed-size.
#define VCAN_DEFAULT_CHANNELS 2
#define VCAN_MAX_CHANNELS 64
#define VCAN_MAX_HANDLES 128
#define VCAN_RECEIVE_QUEUE_CAPACITY 1024
#define VCAN_TRANSMIT_QUEUE_CAPACITY 256
#define VCAN_CALL_LOG_CAPACITY 4096

// The environment variable canInitializeLibrary reads for the number of channels (1 to
// VCAN_MAX_CHANNELS; anything else leaves VCAN_DEFAULT_CHANNELS).
#define VCAN_CHANNELS_ENV "VIRTUAL_CANLIB_CHANNELS"

// The environment variable that names the bus (Linux), read once, at the library's first call.
// Unset or empty: VCAN_DEFAULT_BUS_PREFIX followed by the user id, one bus per user. "%p" in the
// name stands for the process id and makes the bus private to the process: nobody else can join
// it, and it leaves nothing behind in /dev/shm.
#define VCAN_BUS_ENV "VIRTUAL_CANLIB_BUS"
#define VCAN_DEFAULT_BUS_PREFIX "velmora-"

// Use for "any handle" where a handle filter is taken.
#define VCAN_ANY_HANDLE (-1)

typedef struct VcanFrame {
  int32_t id;
  uint32_t flags;    // canMSG_* bits, as canRead reports them
  uint32_t dlc;      // as written; may exceed 8 on large-DLC channels
  uint32_t time_ms;  // arrival time stamp (ignored by vcanInjectFrame)
  uint8_t data[8];   // the first min(dlc, 8) bytes are meaningful
} VcanFrame;

// ---- Fault injection -----------------------------------------------------------------------
// Makes the next `count` calls of the CANlib function named `call` (e.g. "canWrite") return
// `status` without doing their work. `handle` restricts it to calls on that handle (for
// "canOpenChannel": on that channel number; for "canGetErrorText": for that status code), or
// VCAN_ANY_HANDLE. A faulted canGetErrorText leaves the caller's buffer untouched; a faulted
// canOpenChannel returns `status` as its result. Several faults may be armed at once; the first
// armed one that matches fires. Returns canOK, or canERR_PARAM for an unknown name, for
// "canInitializeLibrary" (it has no result), for count < 1 or when the fault table is full.
VCAN_CONTROL_API int vcanFailCall(const char* call, int status, int count, int handle);
VCAN_CONTROL_API void vcanClearFaults(void);

// ---- Bus access ----------------------------------------------------------------------------
// Puts a frame into `handle`'s receive queue as if another node had sent it (time stamped now;
// a full queue drops it and marks an overrun, as for a frame from the bus). Returns canOK,
// canERR_INVHANDLE, or canERR_PARAM for a null frame.
VCAN_CONTROL_API int vcanInjectFrame(int handle, const VcanFrame* frame);
// Frames waiting in a handle's queues, or canERR_INVHANDLE.
VCAN_CONTROL_API int vcanReceiveQueueLength(int handle);
VCAN_CONTROL_API int vcanTransmitQueueLength(int handle);

// ---- Call log --------------------------------------------------------------------------------
typedef enum VcanCall {
  VCAN_CALL_INITIALIZE_LIBRARY = 1,
  VCAN_CALL_OPEN_CHANNEL,
  VCAN_CALL_SET_BUS_PARAMS,
  VCAN_CALL_BUS_ON,
  VCAN_CALL_WRITE,
  VCAN_CALL_WRITE_SYNC,
  VCAN_CALL_READ,
  VCAN_CALL_CLOSE,
  VCAN_CALL_GET_ERROR_TEXT
} VcanCall;

// One CANlib call as it was made. `args` by call:
//   canOpenChannel:  handle = channel, args = {flags}
//   canSetBusParams: args = {freq, tseg1, tseg2, sjw, noSamp, syncmode}
//   canWrite:        args = {id, dlc, flag, msg != NULL}; frame = what was passed
//   canWriteSync:    args = {timeout}
//   canRead:         frame = what was delivered (when result is canOK)
//   canGetErrorText: handle = err, args = {bufsiz, buf != NULL}
// `handle` is the handle argument for the calls that take one.
typedef struct VcanCallRecord {
  int32_t call;  // VcanCall
  int32_t handle;
  int64_t args[6];
  int32_t
      result;  // the status returned (the handle for canOpenChannel; 0 for canInitializeLibrary)
  VcanFrame frame;
} VcanCallRecord;

// Starts (1) or stops (0) recording calls; both empty the log. Off by default, so the log costs
// nothing on the fast paths. The log keeps the first VCAN_CALL_LOG_CAPACITY calls.
VCAN_CONTROL_API void vcanRecordCalls(int on);
VCAN_CONTROL_API int vcanCallCount(void);
// Copies record `index` (0 = oldest) into `out`: canOK, or canERR_PARAM when out of range.
VCAN_CONTROL_API int vcanCallAt(int index, VcanCallRecord* out);

// ---- Simulation ------------------------------------------------------------------------------
// Back to a fresh start for this process: every handle of this process closed (its queues go with
// it), faults cleared, log emptied and off, the channel count re-read from VCAN_CHANNELS_ENV.
// Other processes' handles stay as they are.
VCAN_CONTROL_API void vcanReset(void);
// vcanReset, and every handle of every other process on the bus closed as well: a fresh bus.
// Their calls on those handles then give canERR_INVHANDLE.
VCAN_CONTROL_API void vcanResetBus(void);
// Sets the number of channels (1 to VCAN_MAX_CHANNELS) until the next reset; meanwhile
// canInitializeLibrary does not re-read the environment. Handles already open stay open.
// Returns canOK or canERR_PARAM.
VCAN_CONTROL_API int vcanSetChannelCount(int count);

// ---- Crash tests -----------------------------------------------------------------------------
// Takes the bus lock and returns holding it, so that a test can kill the process while it holds
// the lock; every CANlib call of every process waits meanwhile. vcanUnlockBus, from the same
// thread, gives it back. Both return canOK.
VCAN_CONTROL_API int vcanLockBus(void);
VCAN_CONTROL_API int vcanUnlockBus(void);

typedef enum VcanCrashPoint {
  VCAN_CRASH_NONE = 0,
  // Once the frame is in every receiver's queue memory, before any receiver can see it.
  VCAN_CRASH_BEFORE_COMMIT,
  // Once the first receiver can read the frame, before the others can.
  VCAN_CRASH_AFTER_FIRST_RECEIVER
} VcanCrashPoint;
// Makes this process kill itself (as kill -9 would) at `point` of the next frame it delivers to
// other handles, with the bus lock held. canOK, or canERR_PARAM for an unknown point.
VCAN_CONTROL_API int vcanCrashDuringNextDelivery(int point);

#ifdef __cplusplus
}
#endif

#endif
