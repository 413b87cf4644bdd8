// libFuzzer target: random sequences of the four JNI entry points, called through the recording
// fake JNI environment, against the virtual CANlib with random injected CANlib statuses and VM
// failures, random handles, identifiers and array lengths (null, 0..13, 64, 4 KiB, 1 MiB).
//
// Each step runs on a fresh fake environment, so a step starts with no exception pending; its
// array elements come in buffers of exactly the array's length, so ASan sees every stray access.
// After it
// the step must have left no JNI misuse (calls while an exception is pending, element buffers not
// released or written outside the array), raised at most once, and done exactly what the CANlib
// call log says it should: the payload length reaches canWrite unchanged, every failure is raised
// with its message, and every receive PDU decodes back to a frame that was sent or injected.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "canlib.h"
#include "com_tessivar_bms_can_kvaser_Velmora.h"
#include "exact_array_elements.h"
#include "fake_jni_env.h"
#include "fuzz_input.h"
#include "virtual_canlib_control.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kChannels = 4;
constexpr int kMaxStepsPerInput = 400;  // keeps every step's calls inside the CANlib call log
constexpr int kReceivePduLength = 12;

[[noreturn]] void fail(const std::string& step, const std::string& what) {
  fprintf(stderr, "entry_points_fuzzer: %s: %s\n", step.c_str(), what.c_str());
  abort();
}

void require(bool condition, const std::string& step, const std::string& what) {
  if (!condition) fail(step, what);
}

// A frame as the Java side sees it: what a receive PDU can tell apart.
struct SeenFrame {
  int32_t id;
  bool extended;
  Bytes data;  // the frame's data bytes, at most 8
  bool operator<(const SeenFrame& other) const {
    return std::tie(id, extended, data) < std::tie(other.id, other.extended, other.data);
  }
  bool operator==(const SeenFrame& other) const {
    return id == other.id && extended == other.extended && data == other.data;
  }
};

Bytes encodeReceivePdu(const SeenFrame& frame) {
  const uint32_t id = static_cast<uint32_t>(frame.id);
  Bytes pdu = {static_cast<uint8_t>((frame.extended ? 0x80 : 0) | ((id >> 24) & 0xFF)),
               static_cast<uint8_t>(id >> 16), static_cast<uint8_t>(id >> 8),
               static_cast<uint8_t>(id)};
  for (size_t i = 0; i < 8; ++i) pdu.push_back(i < frame.data.size() ? frame.data[i] : 0xFF);
  return pdu;
}

SeenFrame seenFrameOf(const VcanFrame& frame) {
  // A remote request carries no data bytes, whatever its DLC says.
  const size_t count = (frame.flags & canMSG_RTR) ? 0 : std::min<uint32_t>(frame.dlc, 8);
  return {frame.id, (frame.flags & canMSG_EXT) != 0, Bytes(frame.data, frame.data + count)};
}

std::vector<VcanCallRecord> callLog() {
  std::vector<VcanCallRecord> records(static_cast<size_t>(vcanCallCount()));
  for (size_t i = 0; i < records.size(); ++i) vcanCallAt(static_cast<int>(i), &records[i]);
  return records;
}

std::vector<VcanCallRecord> callsOf(const std::vector<VcanCallRecord>& log, VcanCall call) {
  std::vector<VcanCallRecord> matching;
  for (const VcanCallRecord& record : log) {
    if (record.call == call) matching.push_back(record);
  }
  return matching;
}

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// VELMORA_FUZZ_TRACE=1 prints every step and its outcome: for reading what an input does.
const bool kTrace = getenv("VELMORA_FUZZ_TRACE") != nullptr;

void trace(const std::string& step, int result, const fakejni::FakeJniEnv& vm) {
  if (!kTrace) return;
  fprintf(stderr, "%s -> %d%s%s\n", step.c_str(), result, vm.exceptionPending() ? ", raised " : "",
          vm.exceptionPending() ? vm.pendingExceptionMessage().c_str() : "");
}

class Harness {
 public:
  explicit Harness(FuzzInput& input) : in_(input) {
    vcanReset();
    vcanSetChannelCount(kChannels);
  }

  void run() {
    for (int step = 0; step < kMaxStepsPerInput && !in_.exhausted(); ++step) {
      vcanRecordCalls(1);  // empties the log: it holds this step's calls only
      switch (in_.choice(7)) {
        case 0:
          init();
          break;
        case 1:
        case 2:
          send();
          break;
        case 3:
          read();
          break;
        case 4:
          close();
          break;
        case 5:
          armFault();
          break;
        default:
          injectFrame();
          break;
      }
    }
    vcanReset();
  }

 private:
  // ---- inputs ----------------------------------------------------------------------------------
  int pickHandle() {
    if (!handles_.empty() && in_.choice(4) != 0) return handles_[in_.choice(handles_.size())];
    switch (in_.choice(4)) {
      case 0:
        return -1;
      case 1:
        return static_cast<int>(in_.choice(VCAN_MAX_HANDLES + 2));
      default:
        return in_.int32();
    }
  }

  int pickChannel() {
    switch (in_.choice(6)) {
      case 0:
        return -1;
      case 1:
        return in_.int32();
      default:
        return static_cast<int>(in_.choice(kChannels + 1));  // kChannels does not exist
    }
  }

  int pickBitRate() {
    static constexpr int kRates[] = {-1, -2, -3, -9, -10, 0, 500000, 125000, 4999, 1000001};
    if (in_.choice(8) == 0) return in_.int32();
    return kRates[in_.choice(sizeof kRates / sizeof kRates[0])];
  }

  int32_t pickId() {
    switch (in_.choice(8)) {
      case 0:
        return in_.int32();
      case 1:
        return 0x800;  // too long for a standard frame
      case 2:
        return 1 << 29;  // too long for an extended frame
      case 3:
        return -1;
      case 4:
        return in_.int32() & 0x1FFFFFFF;
      default:
        return in_.int32() & 0x7FF;
    }
  }

  // -1 stands for a null array.
  long pickArrayLength() {
    switch (in_.choice(16)) {
      case 0:
        return -1;
      case 1:
        return 11;
      case 2:
        return 12;
      case 3:
        return 13;
      case 4:
        return 64;
      case 5:
        return in_.choice(8) == 0 ? 1L << 20 : 4096;
      default:
        return in_.choice(9);  // 0..8
    }
  }

  Bytes pickContents(long length) {
    Bytes contents(static_cast<size_t>(length));
    const uint8_t seed = in_.byte();
    for (size_t i = 0; i < contents.size(); ++i) {
      contents[i] = i < 8 ? in_.byte() : static_cast<uint8_t>(seed + i);
    }
    return contents;
  }

  // A VM failure for this step, now and then; the checks that assume a working VM are skipped.
  bool maybeInjectVmFailure(fakejni::FakeJniEnv& vm) {
    if (in_.choice(16) != 0) return false;
    static constexpr fakejni::VmFailure kFailures[] = {
        fakejni::VmFailure::FindClass, fakejni::VmFailure::GetObjectClass,
        fakejni::VmFailure::GetFieldID, fakejni::VmFailure::GetByteArrayElements};
    vm.injectFailure(kFailures[in_.choice(4)]);
    return true;
  }

  // ---- checks every step must pass -------------------------------------------------------------
  void requireSoundJni(const fakejni::FakeJniEnv& vm, const std::string& step) {
    for (const std::string& problem : vm.problems()) fail(step, "JNI misuse: " + problem);
    int raises = 0;
    for (const fakejni::JniCall& call : vm.calls()) {
      if (startsWith(call.text, "Throw")) ++raises;
    }
    require(raises <= 1, step, "raised " + std::to_string(raises) + " exceptions in one call");
  }

  // Nothing pending when `expectedPrefix` is empty; otherwise a java.lang.Exception whose text
  // starts with it and goes on with ": " and CANlib's text.
  void requireException(const fakejni::FakeJniEnv& vm, const std::string& step,
                        const std::string& expectedPrefix) {
    if (expectedPrefix.empty()) {
      require(!vm.exceptionPending(), step,
              "unexpected exception: " + vm.pendingExceptionMessage());
      return;
    }
    require(vm.exceptionPending(), step, "expected exception '" + expectedPrefix + "'");
    require(vm.pendingExceptionClass() == "java/lang/Exception", step,
            "raised " + vm.pendingExceptionClass());
    const std::string message = vm.pendingExceptionMessage();
    require(
        startsWith(message, expectedPrefix + ": ") && message.size() > expectedPrefix.size() + 2,
        step, "message '" + message + "', expected '" + expectedPrefix + ": <CANlib text>'");
  }

  // ---- the four entry points -------------------------------------------------------------------
  void init() {
    const int channel = pickChannel();
    const int bitRate = pickBitRate();
    const std::string step =
        "_init(" + std::to_string(channel) + ", " + std::to_string(bitRate) + ")";
    fakejni::FakeJniEnv vm(vcanCallCount);
    const ExactArrayElements exactElements(vm);
    const jint before = -77;
    vm.setHandleField(before);
    const bool vmFails = maybeInjectVmFailure(vm);

    const jboolean result =
        Java_com_tessivar_bms_can_kvaser_Velmora__1init(vm.env(), vm.velmora(), channel, bitRate);
    trace(step, result, vm);
    requireSoundJni(vm, step);
    const std::vector<VcanCallRecord> log = callLog();
    const std::vector<VcanCallRecord> opens = callsOf(log, VCAN_CALL_OPEN_CHANNEL);
    require(opens.size() == 1 && opens[0].handle == channel &&
                opens[0].args[0] == canOPEN_OVERRIDE_EXCLUSIVE,
            step, "expected one canOpenChannel(channel, 0x40)");
    const int handle = opens[0].result;
    if (vm.handleFieldWrites() > 0) {
      require(vm.handleField() == handle, step, "_handle is not the opened handle");
      handles_.push_back(handle);
    }
    if (vmFails) return;

    if (handle < 0) {
      require(!result && vm.handleFieldWrites() == 0, step, "failed open must return false");
      requireException(vm, step, "Cannot open CAN channel " + std::to_string(channel));
      return;
    }
    const std::vector<VcanCallRecord> params = callsOf(log, VCAN_CALL_SET_BUS_PARAMS);
    require(params.size() == 1 && params[0].args[0] == bitRate, step,
            "the bit rate must reach canSetBusParams unchanged");
    if (params[0].result < 0) {
      require(!result && vm.handleFieldWrites() == 0, step, "rejected bit rate must return false");
      requireException(vm, step,
                       "canSetBusParams failed, stat=" + std::to_string(params[0].result));
      return;
    }
    const std::vector<VcanCallRecord> busOn = callsOf(log, VCAN_CALL_BUS_ON);
    require(result && busOn.size() == 1 && vm.handleFieldWrites() == 1, step,
            "a configured channel must be recorded and reported as opened");
    requireException(
        vm, step,
        busOn[0].result < 0 ? "canBusOn failed, stat=" + std::to_string(busOn[0].result) : "");
  }

  void send() {
    const int handle = pickHandle();
    const int32_t id = pickId();
    const bool extended = in_.flag();
    const long length = pickArrayLength();
    const std::string step = "_send(" + std::to_string(handle) + ", " + std::to_string(id) + ", " +
                             (extended ? "ext" : "std") + ", length " + std::to_string(length) +
                             ")";
    fakejni::FakeJniEnv vm(vcanCallCount);
    const ExactArrayElements exactElements(vm);
    const bool vmFails = maybeInjectVmFailure(vm);
    const Bytes payload = length < 0 ? Bytes() : pickContents(length);
    jbyteArray data = length < 0 ? nullptr : vm.newByteArray("data", payload);

    const jboolean result = Java_com_tessivar_bms_can_kvaser_Velmora__1send(
        vm.env(), vm.velmora(), handle, id, extended ? JNI_TRUE : JNI_FALSE, data);
    trace(step, result, vm);
    requireSoundJni(vm, step);
    if (data != nullptr) require(vm.contents(data) == payload, step, "payload array changed");
    const std::vector<VcanCallRecord> log = callLog();
    const std::vector<VcanCallRecord> writes = callsOf(log, VCAN_CALL_WRITE);
    if (data == nullptr) {
      require(writes.empty() && vm.exceptionPending(), step, "null data must be raised, not sent");
      return;
    }
    // A frame CANlib took is on its way, also when the VM failed something the write did not need.
    if (writes.size() == 1 && writes[0].result == canOK) {
      const size_t count = std::min<size_t>(payload.size(), 8);
      sent_.push_back({id, extended, Bytes(payload.begin(), payload.begin() + count)});
    }
    if (vmFails) return;

    require(writes.size() == 1, step, "expected one canWrite");
    const VcanCallRecord& write = writes[0];
    require(write.handle == handle && write.args[0] == id && write.args[1] == length &&
                write.args[2] == (extended ? canMSG_EXT : canMSG_STD),
            step, "canWrite did not get handle, id, the array length and the flag unchanged");
    const std::vector<VcanCallRecord> syncs = callsOf(log, VCAN_CALL_WRITE_SYNC);
    require(syncs.size() == 1 && syncs[0].handle == handle && syncs[0].args[0] == 30, step,
            "expected one canWriteSync(handle, 30) after the write");
    require(result == JNI_TRUE, step, "_send must return true");

    // After a failed write the write's exception is the one raised; the wait's is dropped.
    requireException(vm, step,
                     write.result < 0      ? "Cannot send CAN packet, CAN-ID=" + std::to_string(id)
                     : syncs[0].result < 0 ? "Cannot write sync"
                                           : "");
  }

  void read() {
    const int handle = pickHandle();
    const long length = pickArrayLength() % 20;  // a PDU array is short, or null
    const std::string step =
        "_read(" + std::to_string(handle) + ", length " + std::to_string(length) + ")";
    fakejni::FakeJniEnv vm(vcanCallCount);
    const ExactArrayElements exactElements(vm);
    const bool vmFails = maybeInjectVmFailure(vm);
    const Bytes before(static_cast<size_t>(std::max(length, 0L)), 0x5A);
    jbyteArray pdu = length < 0 ? nullptr : vm.newByteArray("rx_pdu", before);

    const jboolean result =
        Java_com_tessivar_bms_can_kvaser_Velmora__1read(vm.env(), vm.velmora(), handle, pdu);
    trace(step, result, vm);
    requireSoundJni(vm, step);
    const std::vector<VcanCallRecord> reads = callsOf(callLog(), VCAN_CALL_READ);
    if (pdu == nullptr) {
      require(reads.empty() && vm.exceptionPending(), step,
              "null rx_pdu must be raised before a frame is taken");
      return;
    }
    require(reads.size() == 1 && reads[0].handle == handle, step, "expected one canRead(handle)");
    const int status = reads[0].result;
    const Bytes after = vm.contents(pdu);
    if (status < 0) {
      require(!result && after == before, step, "no frame: false and rx_pdu untouched");
      if (!vmFails) {
        requireException(vm, step, status == canERR_NOMSG ? "" : "canRead failed");
      }
      return;
    }
    require(result == JNI_TRUE, step, "a frame was taken: must return true");
    if (vmFails) return;

    const SeenFrame frame = seenFrameOf(reads[0].frame);
    const Bytes expected = encodeReceivePdu(frame);
    const size_t written = std::min<size_t>(after.size(), kReceivePduLength);
    require(std::equal(after.begin(), after.begin() + written, expected.begin()), step,
            "receive PDU does not encode the frame canRead delivered");
    require(std::equal(after.begin() + written, after.end(), before.begin() + written), step,
            "bytes past the PDU changed");
    requireException(vm, step, length == kReceivePduLength ? "" : "rx_pdu must be 12 bytes long");
    // A frame that really came off the bus carries STD or EXT; a faked canRead delivers none.
    if (reads[0].frame.flags & (canMSG_STD | canMSG_EXT)) {
      require(std::find(sent_.begin(), sent_.end(), frame) != sent_.end(), step,
              "received a frame that was never sent nor injected");
    }
  }

  void close() {
    const int handle = pickHandle();
    const std::string step = "_close(" + std::to_string(handle) + ")";
    fakejni::FakeJniEnv vm(vcanCallCount);
    const ExactArrayElements exactElements(vm);
    const bool vmFails = maybeInjectVmFailure(vm);

    Java_com_tessivar_bms_can_kvaser_Velmora__1close(vm.env(), vm.velmora(), handle);
    trace(step, 0, vm);
    requireSoundJni(vm, step);
    const std::vector<VcanCallRecord> closes = callsOf(callLog(), VCAN_CALL_CLOSE);
    require(closes.size() == 1 && closes[0].handle == handle, step, "expected one canClose");
    if (!vmFails) requireException(vm, step, closes[0].result < 0 ? "Failed to close" : "");
  }

  // ---- the simulated bus -----------------------------------------------------------------------
  void armFault() {
    static constexpr const char* kCalls[] = {"canOpenChannel", "canSetBusParams", "canBusOn",
                                             "canWrite",       "canWriteSync",    "canRead",
                                             "canClose",       "canGetErrorText"};
    static constexpr int kStatuses[] = {canERR_PARAM,
                                        canERR_NOMSG,
                                        canERR_NOTFOUND,
                                        canERR_TIMEOUT,
                                        canERR_INVHANDLE,
                                        canERR_TXBUFOFL,
                                        canERR_HARDWARE,
                                        -1000,
                                        0,
                                        1};
    const char* call = kCalls[in_.choice(8)];
    const int status = in_.choice(8) == 0 ? in_.int32() : kStatuses[in_.choice(10)];
    const int count = 1 + static_cast<int>(in_.choice(3));
    const int handle = in_.flag() ? VCAN_ANY_HANDLE : pickHandle();
    vcanFailCall(call, status, count, handle);  // a full fault table just arms nothing
  }

  void injectFrame() {
    VcanFrame frame = {};
    const bool extended = in_.flag();
    frame.id = in_.int32() & (extended ? 0x1FFFFFFF : 0x7FF);
    frame.flags = (extended ? canMSG_EXT : canMSG_STD) | (in_.choice(8) == 0 ? canMSG_RTR : 0);
    frame.dlc = in_.choice(16);
    for (uint8_t& byte : frame.data) byte = in_.byte();
    if (vcanInjectFrame(pickHandle(), &frame) == canOK) sent_.push_back(seenFrameOf(frame));
  }

  FuzzInput& in_;
  std::vector<int> handles_;     // every handle an _init recorded
  std::vector<SeenFrame> sent_;  // every frame that went on the bus
};

}  // namespace

// Every fuzzing process (libFuzzer's -jobs start several) resets and faults a virtual bus of its
// own, never the machine's shared one, unless VIRTUAL_CANLIB_BUS names one.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("VIRTUAL_CANLIB_BUS", "velmora-fuzz-%p", 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  Harness(input).run();
  return 0;
}
