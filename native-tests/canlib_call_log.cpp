#include "canlib_call_log.h"

#include <cstdio>

#include "canlib.h"

namespace {

std::string number(long long value) {
  return std::to_string(value);
}

std::string hex(long long value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

// The log knows the bytes only of a frame CANlib took; for a refused one it shows "msg".
std::string payload(const VcanCallRecord& record) {
  if (record.args[3] == 0) return "null";
  if (record.result != canOK) return "msg";
  std::string text = "[";
  const long long shown = record.args[1] < 8 ? record.args[1] : 8;
  for (long long i = 0; i < shown; ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", record.frame.data[i]);
    text += byte;
  }
  return text + "]";
}

}  // namespace

std::string describeCanlibCall(const VcanCallRecord& record) {
  const std::string handle = number(record.handle);
  const std::string result = " -> " + number(record.result);
  switch (record.call) {
    case VCAN_CALL_INITIALIZE_LIBRARY:
      return "canInitializeLibrary()";
    case VCAN_CALL_OPEN_CHANNEL:
      return "canOpenChannel(" + handle + ", " + hex(record.args[0]) + ")" + result;
    case VCAN_CALL_SET_BUS_PARAMS: {
      std::string text = "canSetBusParams(" + handle;
      for (int i = 0; i < 6; ++i) text += ", " + number(record.args[i]);
      return text + ")" + result;
    }
    case VCAN_CALL_BUS_ON:
      return "canBusOn(" + handle + ")" + result;
    case VCAN_CALL_WRITE:
      return "canWrite(" + handle + ", " + number(record.args[0]) + ", " + payload(record) + ", " +
             number(record.args[1]) + ", " + hex(record.args[2]) + ")" + result;
    case VCAN_CALL_WRITE_SYNC:
      return "canWriteSync(" + handle + ", " + number(record.args[0]) + ")" + result;
    case VCAN_CALL_READ:
      return "canRead(" + handle + ")" + result;
    case VCAN_CALL_CLOSE:
      return "canClose(" + handle + ")" + result;
    case VCAN_CALL_GET_ERROR_TEXT:
      return "canGetErrorText(" + handle + ", " + (record.args[1] != 0 ? "buf" : "null") + ", " +
             number(record.args[0]) + ")" + result;
    default:
      return "unknown CANlib call " + number(record.call);
  }
}

std::vector<VcanCallRecord> recordedCanlibCalls() {
  std::vector<VcanCallRecord> records(static_cast<size_t>(vcanCallCount()));
  for (size_t i = 0; i < records.size(); ++i) vcanCallAt(static_cast<int>(i), &records[i]);
  return records;
}

std::vector<std::string> mergedCallSequence(const std::vector<fakejni::JniCall>& jniCalls) {
  const std::vector<VcanCallRecord> canlibCalls = recordedCanlibCalls();
  std::vector<std::string> sequence;
  size_t nextCanlibCall = 0;
  for (const fakejni::JniCall& jniCall : jniCalls) {
    while (nextCanlibCall < canlibCalls.size() &&
           static_cast<int>(nextCanlibCall) < jniCall.foreignCallsBefore) {
      sequence.push_back(describeCanlibCall(canlibCalls[nextCanlibCall++]));
    }
    sequence.push_back(jniCall.text);
  }
  while (nextCanlibCall < canlibCalls.size()) {
    sequence.push_back(describeCanlibCall(canlibCalls[nextCanlibCall++]));
  }
  return sequence;
}
