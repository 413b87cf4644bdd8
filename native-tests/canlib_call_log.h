// The virtual CANlib's call log, spelled as the contract tests expect it and merged with the
// fake JNI environment's log into the one sequence of calls a native method made.
#ifndef VELMORA_NATIVE_TESTS_CANLIB_CALL_LOG_H
#define VELMORA_NATIVE_TESTS_CANLIB_CALL_LOG_H

#include <string>
#include <vector>

#include "fake_jni_env.h"
#include "virtual_canlib_control.h"

// One CANlib call with its arguments and result, e.g. "canWrite(3, 291, [01 02], 2, 0x2) -> 0".
std::string describeCanlibCall(const VcanCallRecord& record);

// Every CANlib call recorded since recording started, oldest first.
std::vector<VcanCallRecord> recordedCanlibCalls();

// The JNI calls (each stamped with the CANlib call count at its time) and the CANlib calls, in
// the order they were made.
std::vector<std::string> mergedCallSequence(const std::vector<fakejni::JniCall>& jniCalls);

#endif
