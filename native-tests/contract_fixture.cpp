#include "contract_fixture.h"

#include "canlib.h"
#include "canlib_call_log.h"

namespace {

constexpr long kFixtureBitrate = 500000;

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

void replaceAll(std::string* text, const std::string& placeholder, int value) {
  const std::string replacement = std::to_string(value);
  for (size_t at = text->find(placeholder); at != std::string::npos;
       at = text->find(placeholder, at + replacement.size())) {
    text->replace(at, placeholder.size(), replacement);
  }
}

}  // namespace

void ContractTest::SetUp() {
  std::string error;
  ASSERT_TRUE(loadEntryPoints(&velmora_, &error)) << error;
  vcanReset();
  // Independent of VIRTUAL_CANLIB_CHANNELS in the environment: channel 2 and up do not exist.
  ASSERT_EQ(vcanSetChannelCount(VCAN_DEFAULT_CHANNELS), canOK);
}

void ContractTest::TearDown() {
  std::string problems;
  for (const std::string& problem : jni_.problems()) problems += "\n  " + problem;
  EXPECT_TRUE(problems.empty()) << "the native code misused JNI:" << problems;
  vcanReset();
}

int ContractTest::openOnBus(int channel) {
  canInitializeLibrary();
  const CanHandle handle = canOpenChannel(channel, 0);
  EXPECT_GE(handle, 0) << "channel " << channel;
  EXPECT_EQ(canSetBusParams(handle, kFixtureBitrate, 0, 0, 0, 0, 0), canOK);
  EXPECT_EQ(canBusOn(handle), canOK);
  return handle;
}

void ContractTest::startRecording() {
  vcanRecordCalls(1);
}

void ContractTest::arm(const std::vector<CanlibFault>& faults) {
  for (const CanlibFault& fault : faults) {
    ASSERT_EQ(vcanFailCall(fault.call, fault.status, 1, fault.handle), canOK) << fault.call;
  }
}

void ContractTest::inject(const std::vector<fakejni::VmFailure>& failures) {
  for (fakejni::VmFailure failure : failures) jni_.injectFailure(failure);
}

int ContractTest::openedHandle(int index) const {
  int seen = 0;
  for (const VcanCallRecord& record : recordedCanlibCalls()) {
    if (record.call == VCAN_CALL_OPEN_CHANNEL && seen++ == index) return record.result;
  }
  return -1;
}

std::string ContractTest::callSequence() const {
  return joined(mergedCallSequence(jni_.calls()));
}

std::string ContractTest::expectedSequence(const std::vector<std::string>& lines) const {
  std::string text = joined(lines);
  replaceAll(&text, "{h}", handle_);
  replaceAll(&text, "{peer}", peer_);
  replaceAll(&text, "{open}", openedHandle(0));
  replaceAll(&text, "{open2}", openedHandle(1));
  return text;
}

void ContractTest::expectOutcome(jboolean result, const Outcome& expected) {
  EXPECT_EQ(result, expected.result ? JNI_TRUE : JNI_FALSE);
  expectCallsAndException(expected);
}

void ContractTest::expectCallsAndException(const Outcome& expected) {
  if (expected.exceptionClass != nullptr) {
    EXPECT_TRUE(jni_.exceptionPending());
    EXPECT_EQ(jni_.pendingExceptionClass(), expected.exceptionClass);
    EXPECT_EQ(jni_.pendingExceptionMessage(), expected.exceptionMessage);
  } else {
    EXPECT_FALSE(jni_.exceptionPending())
        << jni_.pendingExceptionClass() << ": " << jni_.pendingExceptionMessage();
  }
  EXPECT_EQ(callSequence(), expectedSequence(expected.calls));
}

void InitContract::SetUp() {
  ContractTest::SetUp();
  if (HasFatalFailure()) return;
  startRecording();
}

void ChannelContract::SetUp() {
  ContractTest::SetUp();
  if (HasFatalFailure()) return;
  handle_ = openOnBus(0);
  peer_ = openOnBus(1);
  startRecording();
}
