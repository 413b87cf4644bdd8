// Shared fixture of the contract tests: one native method call against the virtual CANlib and
// the fake JNI environment, then its result, its pending exception and the exact sequence of JNI
// and CANlib calls it made.
#ifndef VELMORA_NATIVE_TESTS_CONTRACT_FIXTURE_H
#define VELMORA_NATIVE_TESTS_CONTRACT_FIXTURE_H

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "entry_points.h"
#include "fake_jni_env.h"
#include "virtual_canlib_control.h"

// Makes the virtual CANlib answer `status` to the next call of `call` (on `handle`).
struct CanlibFault {
  const char* call;
  int status;
  int handle = VCAN_ANY_HANDLE;
};

// What one native call must leave behind. In `calls`, {h} and {peer} stand for the handles the
// fixture opened, {open} and {open2} for what the first and second recorded canOpenChannel
// returned.
struct Outcome {
  bool result;
  const char* exceptionClass;  // nullptr: nothing pending
  const char* exceptionMessage;
  std::vector<std::string> calls;
};

// Table rows name themselves, for test names and failure messages.
template <typename Case>
std::string caseName(const testing::TestParamInfo<Case>& info) {
  return info.param.name;
}

class ContractTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Opens `channel` and puts it on the bus directly through CANlib, as an earlier _init would.
  int openOnBus(int channel);
  // Empties the CANlib call log and records from here on.
  void startRecording();
  void arm(const std::vector<CanlibFault>& faults);
  void inject(const std::vector<fakejni::VmFailure>& failures);

  // The handle the `index`-th recorded canOpenChannel returned, or -1.
  int openedHandle(int index) const;
  std::string callSequence() const;
  std::string expectedSequence(const std::vector<std::string>& lines) const;
  void expectOutcome(jboolean result, const Outcome& expected);
  // The same without the result, for _close.
  void expectCallsAndException(const Outcome& expected);

  fakejni::FakeJniEnv jni_{&vcanCallCount};
  EntryPoints velmora_{};
  int handle_ = -1;  // on channel 0, on the bus
  int peer_ = -1;    // on channel 1, on the bus: acknowledges what handle_ sends
};

// For _init: a fresh bus, nothing open.
class InitContract : public ContractTest {
 protected:
  void SetUp() override;
};

// For _send, _read and _close: handle_ and peer_ open on one bus.
class ChannelContract : public ContractTest {
 protected:
  void SetUp() override;
};

#endif
