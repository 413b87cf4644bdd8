// canGetErrorText: CANlib's English text for a status code.
#include <stdio.h>
#include <string.h>

#include "bus_storage.h"
#include "call_log.h"
#include "canlib.h"
#include "fault_table.h"

using namespace vcan;

namespace {

struct StatusText {
  canStatus status;
  const char* text;
};

constexpr StatusText kStatusTexts[] = {
    {canOK, "No error"},
    {canERR_PARAM, "Error in parameter"},
    {canERR_NOMSG, "No messages available"},
    {canERR_NOTFOUND, "Specified device not found"},
    {canERR_NOMEM, "Out of memory"},
    {canERR_NOCHANNELS, "No channels available"},
    {canERR_INTERRUPTED, "Interrupted by signal"},
    {canERR_TIMEOUT, "Timeout occurred"},
    {canERR_NOTINITIALIZED, "Library not initialized"},
    {canERR_NOHANDLES, "No more handles"},
    {canERR_INVHANDLE, "Handle is invalid"},
    {canERR_DRIVER, "CAN driver type not supported"},
    {canERR_TXBUFOFL, "Transmit buffer overflow"},
    {canERR_HARDWARE, "A hardware error was detected"},
    {canERR_NOT_SUPPORTED, "Operation not supported by hardware or firmware"},
    {canERR_INTERNAL, "Internal error in the driver"},
    {canERR_NO_ACCESS, "Access denied"},
    {canERR_NOT_IMPLEMENTED, "Not implemented"},
};

const char* knownText(canStatus err) {
  for (const StatusText& entry : kStatusTexts) {
    if (entry.status == err) return entry.text;
  }
  return nullptr;
}

canStatus errorText(canStatus err, char* buf, unsigned int bufsiz) {
  if (buf == nullptr || bufsiz == 0) return canERR_PARAM;
  const int code = err;
  const char* text = knownText(err);
  // snprintf always terminates and cuts to bufsiz - 1 characters.
  if (text != nullptr) {
    snprintf(buf, bufsiz, "%s", text);
  } else if (code > 0) {
    snprintf(buf, bufsiz, "%s", "This is not an error code");
    return canERR_PARAM;
  } else {
    snprintf(buf, bufsiz, "Unknown error (%d)", code);
  }
  return canOK;
}

}  // namespace

extern "C" {

canStatus CANLIBAPI canGetErrorText(canStatus err, char* buf, unsigned int bufsiz) {
  BusLock bus;
  int32_t result;
  if (!faultFires(*bus, VCAN_CALL_GET_ERROR_TEXT, err, &result)) {
    result = errorText(err, buf, bufsiz);
  }
  if (VcanCallRecord* record = newCallRecord(*bus, VCAN_CALL_GET_ERROR_TEXT, err)) {
    record->args[0] = bufsiz;
    record->args[1] = buf != nullptr;
    record->result = result;
  }
  return static_cast<canStatus>(result);
}

}  // extern "C"
