// Declarations of the CANlib functions and constants this project uses, written from CANlib's
// published prototypes. Both the JNI library and the virtual CANlib compile against this header,
// so the two cannot disagree on a type or a value.
//
// Mind `long` / `unsigned long`: 64-bit on Linux x86_64, 32-bit on Windows. The real library uses
// them, so we must too; converting at our own boundary is the caller's job.
#ifndef VELMORA_CANLIB_API_CANLIB_H
#define VELMORA_CANLIB_API_CANLIB_H

#if defined(_WIN32)
#define CANLIBAPI __stdcall
#define CANLIB_EXPORT
#else
#define CANLIBAPI
// The virtual CANlib builds with hidden visibility; this keeps the nine CANlib names exported.
// For a caller it changes nothing.
#define CANLIB_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int CanHandle;

// CANlib answers with codes beyond those named here (newer releases add more; a faulty one may
// say anything). In C++ an enum without a fixed type holds only the range of its enumerators, so
// such a code would be undefined behaviour there: the fixed int type makes every status valid.
#ifdef __cplusplus
#define CANLIB_STATUS_TYPE : int
#else
#define CANLIB_STATUS_TYPE
#endif
typedef enum canStatus CANLIB_STATUS_TYPE {
  canOK = 0,
  canERR_PARAM = -1,
  canERR_NOMSG = -2,
  canERR_NOTFOUND = -3,
  canERR_NOMEM = -4,
  canERR_NOCHANNELS = -5,
  canERR_INTERRUPTED = -6,
  canERR_TIMEOUT = -7,
  canERR_NOTINITIALIZED = -8,
  canERR_NOHANDLES = -9,
  canERR_INVHANDLE = -10,
  canERR_DRIVER = -12,
  canERR_TXBUFOFL = -13,
  canERR_HARDWARE = -15,
  canERR_NOT_SUPPORTED = -19,
  canERR_INTERNAL = -30,
  canERR_NO_ACCESS = -31,
  canERR_NOT_IMPLEMENTED = -32
} canStatus;

// Predefined bit rates, passed as canSetBusParams' freq.
#define canBITRATE_1M (-1)
#define canBITRATE_500K (-2)
#define canBITRATE_250K (-3)
#define canBITRATE_125K (-4)
#define canBITRATE_100K (-5)
#define canBITRATE_62K (-6)
#define canBITRATE_50K (-7)
#define canBITRATE_83K (-8)
#define canBITRATE_10K (-9)

// Message flags.
#define canMSG_RTR 0x0001
#define canMSG_STD 0x0002
#define canMSG_EXT 0x0004
#define canMSG_WAKEUP 0x0008
#define canMSG_NERR 0x0010
#define canMSG_ERROR_FRAME 0x0020
#define canMSG_TXACK 0x0040
#define canMSG_TXRQ 0x0080
#define canMSGERR_HW_OVERRUN 0x0200
#define canMSGERR_SW_OVERRUN 0x0400

// canOpenChannel flags.
#define canOPEN_EXCLUSIVE 0x0008
#define canOPEN_REQUIRE_EXTENDED 0x0010
#define canOPEN_ACCEPT_VIRTUAL 0x0020
#define canOPEN_OVERRIDE_EXCLUSIVE 0x0040
#define canOPEN_ACCEPT_LARGE_DLC 0x0200

CANLIB_EXPORT void CANLIBAPI canInitializeLibrary(void);
CANLIB_EXPORT CanHandle CANLIBAPI canOpenChannel(int channel, int flags);
CANLIB_EXPORT canStatus CANLIBAPI canSetBusParams(const CanHandle hnd, long freq,
                                                  unsigned int tseg1, unsigned int tseg2,
                                                  unsigned int sjw, unsigned int noSamp,
                                                  unsigned int syncmode);
CANLIB_EXPORT canStatus CANLIBAPI canBusOn(const CanHandle hnd);
CANLIB_EXPORT canStatus CANLIBAPI canWrite(const CanHandle hnd, long id, void* msg,
                                           unsigned int dlc, unsigned int flag);
CANLIB_EXPORT canStatus CANLIBAPI canWriteSync(const CanHandle hnd, unsigned long timeout);
CANLIB_EXPORT canStatus CANLIBAPI canRead(const CanHandle hnd, long* id, void* msg,
                                          unsigned int* dlc, unsigned int* flag,
                                          unsigned long* time);
CANLIB_EXPORT canStatus CANLIBAPI canClose(const CanHandle hnd);
CANLIB_EXPORT canStatus CANLIBAPI canGetErrorText(canStatus err, char* buf, unsigned int bufsiz);

#ifdef __cplusplus
}
#endif

#endif
