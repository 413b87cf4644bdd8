// _close: one canClose, an exception when CANlib refuses, _handle never touched.
#include "canlib.h"
#include "contract_fixture.h"

namespace {

using fakejni::VmFailure;

constexpr jint kUnknownHandle = 99;

struct CloseCase {
  const char* name;
  bool unknownHandle;
  std::vector<CanlibFault> canlibFaults;
  std::vector<VmFailure> vmFailures;
  Outcome outcome;  // its result is unused: _close returns nothing
};

std::ostream& operator<<(std::ostream& out, const CloseCase& c) {
  return out << c.name;
}

const CloseCase kCloseCases[] = {
    {"Success", false, {}, {}, {false, nullptr, nullptr, {"canClose({h}) -> 0"}}},

    {"UnknownHandle",
     true,
     {},
     {},
     {false,
      "java/lang/Exception",
      "Failed to close: Handle is invalid",
      {"canClose(99) -> -10", "canGetErrorText(-10, buf, 100) -> 0",
       "FindClass(\"java/lang/Exception\")",
       "ThrowNew(java/lang/Exception, \"Failed to close: Handle is invalid\")"}}},

    {"FailsWithoutErrorText",
     false,
     {{"canClose", canERR_INTERNAL}, {"canGetErrorText", canERR_PARAM, canERR_INTERNAL}},
     {},
     {false,
      "java/lang/Exception",
      "Failed to close: unknown CANlib status -30",
      {"canClose({h}) -> -30", "canGetErrorText(-30, buf, 100) -> -1",
       "FindClass(\"java/lang/Exception\")",
       "ThrowNew(java/lang/Exception, \"Failed to close: unknown CANlib status -30\")"}}},

    {"ExceptionClassUnavailable",
     true,
     {},
     {VmFailure::FindClass},
     {false,
      "java/lang/NoClassDefFoundError",
      "java/lang/Exception",
      {"canClose(99) -> -10", "canGetErrorText(-10, buf, 100) -> 0",
       "FindClass(\"java/lang/Exception\") -> null"}}},
};

class ClosePaths : public ChannelContract, public testing::WithParamInterface<CloseCase> {};

TEST_P(ClosePaths, CallsAndException) {
  const CloseCase& c = GetParam();
  arm(c.canlibFaults);
  inject(c.vmFailures);

  velmora_.close(jni_.env(), jni_.velmora(), c.unknownHandle ? kUnknownHandle : handle_);

  expectCallsAndException(c.outcome);
  EXPECT_EQ(jni_.handleFieldWrites(), 0);
}

INSTANTIATE_TEST_SUITE_P(Close, ClosePaths, testing::ValuesIn(kCloseCases), caseName<CloseCase>);

}  // namespace
