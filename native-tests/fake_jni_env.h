// A recording fake of the Java VM's native interface, for driving the JNI entry points without a
// VM. It is our own JNINativeInterface_ table: the handful of functions a native method of the
// Velmora class may legitimately use are implemented and recorded; every other slot aborts the
// process with the slot's name, so an unexpected call can never pass silently.
//
// It also checks what a real VM would only punish with a crash or a -Xcheck:jni warning:
// - JNI calls made while an exception is pending (other than those JNI allows then),
// - element buffers not released exactly once, or written outside the array (guard bytes),
// - null or foreign references handed to a JNI function.
// Such faults are collected as problems(); a test fails when there are any.
//
// Portable C++17 (also built with mingw for 32-bit Windows, where JNICALL is stdcall).
#ifndef VELMORA_NATIVE_TESTS_FAKE_JNI_ENV_H
#define VELMORA_NATIVE_TESTS_FAKE_JNI_ENV_H

#include <jni.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace fakejni {

// The Velmora class as its users declare it.
inline constexpr const char* kVelmoraClass = "com/tessivar/bms/can/kvaser/Velmora";

// VM failures a test can inject; each makes every later call of that function fail as a VM does.
enum class VmFailure {
  FindClass,             // null, NoClassDefFoundError pending
  GetObjectClass,        // null, OutOfMemoryError pending (no room for the local reference)
  GetFieldID,            // null, NoSuchFieldError pending (a class without the field)
  GetByteArrayElements,  // null, OutOfMemoryError pending
};

// One recorded JNI call. `text` names the function and its relevant arguments, e.g.
// `ThrowNew(java/lang/Exception, "Failed to close: Handle is invalid")`; a null result of a
// lookup appends " -> null". `foreignCallsBefore` is the value of the foreign call counter given
// to the constructor (the CANlib call log) when the call was made, so the two logs can be merged.
struct JniCall {
  std::string text;
  int foreignCallsBefore;
};

class FakeJniEnv {
 public:
  // `foreignCallCount` counts calls into the other component (CANlib); may be null.
  explicit FakeJniEnv(int (*foreignCallCount)() = nullptr);
  ~FakeJniEnv();
  FakeJniEnv(const FakeJniEnv&) = delete;
  FakeJniEnv& operator=(const FakeJniEnv&) = delete;

  JNIEnv* env();

  // The Velmora object. Its int field _handle starts at 0; handleFieldWrites() tells whether the
  // native code wrote it.
  jobject velmora();
  void setHandleField(jint value);
  jint handleField() const;
  int handleFieldWrites() const;

  // A Java byte[] with these contents; `name` is how the call log shows it.
  jbyteArray newByteArray(const std::string& name, const std::vector<std::uint8_t>& contents);
  std::vector<std::uint8_t> contents(jbyteArray array) const;

  void injectFailure(VmFailure failure);

  bool exceptionPending() const;
  std::string pendingExceptionClass() const;    // e.g. "java/lang/Exception"
  std::string pendingExceptionMessage() const;  // the ThrowNew text
  // A VM raises exceptions of its own as well (NoSuchFieldError, ...); tests may need to start
  // from one.
  void raisePending(const std::string& className, const std::string& message);

  const std::vector<JniCall>& calls() const;

  // Everything the native code did that a VM would not tolerate, plus element buffers still
  // held or damaged. Empty when the code behaved.
  std::vector<std::string> problems() const;

  struct State;  // the fake VM's objects and bookkeeping (fake_jni_env.cpp)

 private:
  std::unique_ptr<State> state_;
};

}  // namespace fakejni

#endif
