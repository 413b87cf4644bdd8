// canGetErrorText: the texts, unknown and positive codes, bad buffers, truncation.
#include <string>

#include "virtual_canlib_fixture.h"

namespace {

using ErrorText = VirtualCanlibTest;

std::string textOf(int status, unsigned int size = 100, canStatus* result = nullptr) {
  char buffer[100];
  memset(buffer, 'x', sizeof buffer);
  const canStatus returned = canGetErrorText(static_cast<canStatus>(status), buffer, size);
  if (result != nullptr) *result = returned;
  return std::string(buffer, strnlen(buffer, sizeof buffer));
}

TEST_F(ErrorText, KnownCodes) {
  const std::pair<int, const char*> cases[] = {
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
  for (const auto& [status, text] : cases) {
    canStatus result;
    EXPECT_EQ(text, textOf(status, 100, &result)) << "status " << status;
    EXPECT_EQ(canOK, result) << "status " << status;
  }
}

TEST_F(ErrorText, UnassignedAndPositiveCodes) {
  canStatus result;
  EXPECT_EQ("Unknown error (-11)", textOf(-11, 100, &result));
  EXPECT_EQ(canOK, result);
  EXPECT_EQ("Unknown error (-2147483648)", textOf(INT32_MIN, 100, &result));
  EXPECT_EQ("This is not an error code", textOf(5, 100, &result));
  EXPECT_EQ(canERR_PARAM, result);
}

TEST_F(ErrorText, TruncatesToTheBufferAndAlwaysTerminates) {
  canStatus result;
  EXPECT_EQ("Timeo", textOf(canERR_TIMEOUT, 6, &result));
  EXPECT_EQ(canOK, result);
  EXPECT_EQ("", textOf(canERR_TIMEOUT, 1));
  EXPECT_EQ("Unknown e", textOf(-99, 10));
  EXPECT_EQ("Timeout occurred", textOf(canERR_TIMEOUT, 17)) << "exactly fits";
}

TEST_F(ErrorText, NullBufferOrZeroSizeIsAParameterError) {
  EXPECT_EQ(canERR_PARAM, canGetErrorText(canERR_TIMEOUT, nullptr, 100));
  char buffer[4] = {'a', 'b', 'c', '\0'};
  EXPECT_EQ(canERR_PARAM, canGetErrorText(canERR_TIMEOUT, buffer, 0));
  EXPECT_STREQ("abc", buffer) << "a zero-size buffer is not written";
}

}  // namespace
