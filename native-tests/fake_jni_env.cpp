#include "fake_jni_env.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace fakejni {

namespace {

constexpr std::size_t kGuardBytes = 16;
constexpr jbyte kGuardPattern = static_cast<jbyte>(0xA5);

struct FakeObject {
  enum class Kind { Class, Velmora, ByteArray, Throwable };
  Kind kind;
  std::string name;  // class name; or how the log shows an instance
  bool throwable = false;
  std::vector<std::uint8_t> bytes;  // a byte array's Java-side contents
};

// One GetByteArrayElements result: a copy of the elements between two guard zones, as a VM that
// copies hands it out. Writing outside the array damages a guard.
struct ElementLease {
  FakeObject* array;
  std::vector<jbyte> buffer;
  bool released = false;

  jbyte* elements() { return buffer.data() + kGuardBytes; }
  std::size_t length() const { return buffer.size() - 2 * kGuardBytes; }

  // Names the first guard byte the native code overwrote, as an index relative to element 0
  // (negative before the array); empty when both guards are intact.
  std::string damage() const {
    for (std::size_t i = 0; i < buffer.size(); ++i) {
      const bool guard = i < kGuardBytes || i >= kGuardBytes + length();
      if (guard && buffer[i] != kGuardPattern) {
        return "elements of " + array->name + " (length " + std::to_string(length()) +
               ") written at index " +
               std::to_string(static_cast<long>(i) - static_cast<long>(kGuardBytes));
      }
    }
    return std::string();
  }
};

std::string quoted(const char* text) {
  return text == nullptr ? std::string("null") : "\"" + std::string(text) + "\"";
}

}  // namespace

struct FakeJniEnv::State {
  // The JNIEnv the native code receives; the fake finds its state from it.
  struct Holder {
    JNIEnv_ env;
    State* state;
  } holder;
  JNINativeInterface_ table;

  int (*foreignCallCount)() = nullptr;
  std::vector<std::unique_ptr<FakeObject>> objects;
  FakeObject* velmoraClass = nullptr;
  FakeObject* velmoraObject = nullptr;
  FakeObject* pendingThrowable = nullptr;
  char handleFieldToken = 0;  // its address is the jfieldID of _handle
  jint handleValue = 0;
  int handleWrites = 0;
  bool failing[4] = {};

  bool pending = false;
  std::string pendingClass;
  std::string pendingMessage;

  std::vector<JniCall> calls;
  std::vector<std::string> violations;
  std::vector<std::unique_ptr<ElementLease>> leases;

  FakeObject* add(FakeObject::Kind kind, const std::string& name, bool throwable = false) {
    objects.push_back(std::make_unique<FakeObject>());
    FakeObject* object = objects.back().get();
    object->kind = kind;
    object->name = name;
    object->throwable = throwable;
    return object;
  }

  FakeObject* find(const void* reference) const {
    for (const auto& object : objects) {
      if (object.get() == reference) return object.get();
    }
    return nullptr;
  }

  FakeObject* findClass(const std::string& name) const {
    for (const auto& object : objects) {
      if (object->kind == FakeObject::Kind::Class && object->name == name) return object.get();
    }
    return nullptr;
  }

  bool fails(VmFailure failure) const { return failing[static_cast<int>(failure)]; }

  // How the log shows a reference; a foreign one is a fault of the caller.
  std::string describe(const void* reference, const char* function) {
    if (reference == nullptr) return "null";
    if (FakeObject* object = find(reference)) return object->name;
    violations.push_back(std::string(function) + " got a reference this VM never handed out");
    return "<foreign>";
  }

  void record(const char* function, const std::string& arguments, bool allowedWhilePending) {
    if (pending && !allowedWhilePending) {
      violations.push_back(std::string(function) + " called while " + pendingClass + " is pending");
    }
    calls.push_back({std::string(function) + "(" + arguments + ")",
                     foreignCallCount != nullptr ? foreignCallCount() : 0});
  }

  void returnedNull() { calls.back().text += " -> null"; }

  void raise(const std::string& className, const std::string& message) {
    pending = true;
    pendingClass = className;
    pendingMessage = message;
  }

  static State& of(JNIEnv* env) { return *reinterpret_cast<Holder*>(env)->state; }
};

namespace {

using State = FakeJniEnv::State;

// ---- Slots nobody may call --------------------------------------------------------------------

struct SlotName {
  std::size_t slot;
  const char* name;
};

#define FAKEJNI_SLOT(name) \
  { offsetof(JNINativeInterface_, name) / sizeof(void*), #name }
// The functions native code is most likely to reach for; any other slot is reported by number.
const SlotName kSlotNames[] = {
    FAKEJNI_SLOT(GetVersion),
    FAKEJNI_SLOT(DefineClass),
    FAKEJNI_SLOT(Throw),
    FAKEJNI_SLOT(ExceptionDescribe),
    FAKEJNI_SLOT(FatalError),
    FAKEJNI_SLOT(PushLocalFrame),
    FAKEJNI_SLOT(PopLocalFrame),
    FAKEJNI_SLOT(NewGlobalRef),
    FAKEJNI_SLOT(DeleteGlobalRef),
    FAKEJNI_SLOT(IsSameObject),
    FAKEJNI_SLOT(NewLocalRef),
    FAKEJNI_SLOT(AllocObject),
    FAKEJNI_SLOT(NewObject),
    FAKEJNI_SLOT(IsInstanceOf),
    FAKEJNI_SLOT(GetMethodID),
    FAKEJNI_SLOT(CallVoidMethod),
    FAKEJNI_SLOT(CallIntMethod),
    FAKEJNI_SLOT(CallObjectMethod),
    FAKEJNI_SLOT(GetObjectField),
    FAKEJNI_SLOT(GetIntField),
    FAKEJNI_SLOT(SetObjectField),
    FAKEJNI_SLOT(SetLongField),
    FAKEJNI_SLOT(GetStaticMethodID),
    FAKEJNI_SLOT(CallStaticVoidMethod),
    FAKEJNI_SLOT(GetStaticFieldID),
    FAKEJNI_SLOT(GetStaticIntField),
    FAKEJNI_SLOT(SetStaticIntField),
    FAKEJNI_SLOT(NewStringUTF),
    FAKEJNI_SLOT(GetStringUTFChars),
    FAKEJNI_SLOT(ReleaseStringUTFChars),
    FAKEJNI_SLOT(NewByteArray),
    FAKEJNI_SLOT(GetByteArrayRegion),
    FAKEJNI_SLOT(SetByteArrayRegion),
    FAKEJNI_SLOT(RegisterNatives),
    FAKEJNI_SLOT(MonitorEnter),
    FAKEJNI_SLOT(MonitorExit),
    FAKEJNI_SLOT(GetJavaVM),
    FAKEJNI_SLOT(GetPrimitiveArrayCritical),
    FAKEJNI_SLOT(ReleasePrimitiveArrayCritical),
    FAKEJNI_SLOT(NewWeakGlobalRef),
    FAKEJNI_SLOT(GetDirectBufferAddress),
};
#undef FAKEJNI_SLOT

[[noreturn]] void abortOnUnexpectedCall(std::size_t slot) {
  const char* name = nullptr;
  for (const SlotName& known : kSlotNames) {
    if (known.slot == slot) name = known.name;
  }
  if (name != nullptr) {
    std::fprintf(stderr, "\nFakeJniEnv: unexpected JNI call %s\n", name);
  } else {
    std::fprintf(stderr, "\nFakeJniEnv: unexpected JNI call, function table slot %u (see jni.h)\n",
                 static_cast<unsigned>(slot));
  }
  std::fflush(stderr);
  std::abort();
}

// It never returns, so its signature need not match the slot's (stdcall cleanup never happens).
template <std::size_t Slot>
void JNICALL unexpectedCall(JNIEnv*) {
  abortOnUnexpectedCall(Slot);
}

template <std::size_t... Slots>
void fillWithUnexpected(JNINativeInterface_* table, std::index_sequence<Slots...>) {
  using Unexpected = void(JNICALL*)(JNIEnv*);
  char* raw = reinterpret_cast<char*>(table);
  const Unexpected handlers[] = {&unexpectedCall<Slots>...};
  static_assert(sizeof(Unexpected) == sizeof(void*), "function table slots are pointers");
  std::memcpy(raw, handlers, sizeof handlers);
}

// ---- The functions native methods of the Velmora class may use ---------------------------------

jclass JNICALL fakeFindClass(JNIEnv* env, const char* name) {
  State& state = State::of(env);
  state.record("FindClass", quoted(name), false);
  FakeObject* found = name != nullptr ? state.findClass(name) : nullptr;
  if (state.fails(VmFailure::FindClass) || found == nullptr) {
    state.returnedNull();
    state.raise("java/lang/NoClassDefFoundError", name != nullptr ? name : "");
    return nullptr;
  }
  return reinterpret_cast<jclass>(found);
}

jint JNICALL fakeThrowNew(JNIEnv* env, jclass clazz, const char* message) {
  State& state = State::of(env);
  state.record("ThrowNew", state.describe(clazz, "ThrowNew") + ", " + quoted(message), false);
  FakeObject* object = state.find(clazz);
  if (object == nullptr || object->kind != FakeObject::Kind::Class || !object->throwable) {
    state.violations.push_back("ThrowNew needs a Throwable class");
    return -1;
  }
  state.raise(object->name, message != nullptr ? message : "");
  return 0;
}

jthrowable JNICALL fakeExceptionOccurred(JNIEnv* env) {
  State& state = State::of(env);
  state.record("ExceptionOccurred", "", true);
  if (!state.pending) return nullptr;
  if (state.pendingThrowable == nullptr) {
    state.pendingThrowable = state.add(FakeObject::Kind::Throwable, "pending exception");
  }
  return reinterpret_cast<jthrowable>(state.pendingThrowable);
}

void JNICALL fakeExceptionClear(JNIEnv* env) {
  State& state = State::of(env);
  state.record("ExceptionClear", "", true);
  state.pending = false;
  state.pendingClass.clear();
  state.pendingMessage.clear();
}

jboolean JNICALL fakeExceptionCheck(JNIEnv* env) {
  State& state = State::of(env);
  state.record("ExceptionCheck", "", true);
  return state.pending ? JNI_TRUE : JNI_FALSE;
}

void JNICALL fakeDeleteLocalRef(JNIEnv* env, jobject object) {
  State& state = State::of(env);
  state.record("DeleteLocalRef", state.describe(object, "DeleteLocalRef"), true);
}

jclass JNICALL fakeGetObjectClass(JNIEnv* env, jobject object) {
  State& state = State::of(env);
  state.record("GetObjectClass", state.describe(object, "GetObjectClass"), false);
  if (state.fails(VmFailure::GetObjectClass)) {
    state.returnedNull();
    state.raise("java/lang/OutOfMemoryError", "no room for a local reference");
    return nullptr;
  }
  if (object == nullptr || object != reinterpret_cast<jobject>(state.velmoraObject)) {
    state.violations.push_back("GetObjectClass on something other than the Velmora object");
    return nullptr;
  }
  return reinterpret_cast<jclass>(state.velmoraClass);
}

jfieldID JNICALL fakeGetFieldID(JNIEnv* env, jclass clazz, const char* name, const char* sig) {
  State& state = State::of(env);
  state.record("GetFieldID",
               state.describe(clazz, "GetFieldID") + ", " + quoted(name) + ", " + quoted(sig),
               false);
  if (clazz == nullptr) {
    state.violations.push_back("GetFieldID with a null class");
    return nullptr;
  }
  const bool isHandle = clazz == reinterpret_cast<jclass>(state.velmoraClass) && name != nullptr &&
                        std::strcmp(name, "_handle") == 0 && sig != nullptr &&
                        std::strcmp(sig, "I") == 0;
  if (!isHandle || state.fails(VmFailure::GetFieldID)) {
    state.returnedNull();
    state.raise("java/lang/NoSuchFieldError", name != nullptr ? name : "");
    return nullptr;
  }
  return reinterpret_cast<jfieldID>(&state.handleFieldToken);
}

void JNICALL fakeSetIntField(JNIEnv* env, jobject object, jfieldID field, jint value) {
  State& state = State::of(env);
  const bool isHandle = field == reinterpret_cast<jfieldID>(&state.handleFieldToken);
  state.record("SetIntField",
               state.describe(object, "SetIntField") + ", " +
                   (isHandle           ? "_handle"
                    : field == nullptr ? "null"
                                       : "<foreign field>") +
                   ", " + std::to_string(static_cast<long>(value)),
               false);
  if (!isHandle || object != reinterpret_cast<jobject>(state.velmoraObject)) {
    state.violations.push_back("SetIntField needs the Velmora object and its _handle field");
    return;
  }
  state.handleValue = value;
  ++state.handleWrites;
}

FakeObject* byteArray(State& state, jarray array, const char* function) {
  FakeObject* object = state.find(array);
  if (object == nullptr || object->kind != FakeObject::Kind::ByteArray) {
    state.violations.push_back(std::string(function) + " needs a byte array");
    return nullptr;
  }
  return object;
}

jsize JNICALL fakeGetArrayLength(JNIEnv* env, jarray array) {
  State& state = State::of(env);
  state.record("GetArrayLength", state.describe(array, "GetArrayLength"), false);
  FakeObject* object = byteArray(state, array, "GetArrayLength");
  return object != nullptr ? static_cast<jsize>(object->bytes.size()) : 0;
}

jbyte* JNICALL fakeGetByteArrayElements(JNIEnv* env, jbyteArray array, jboolean* isCopy) {
  State& state = State::of(env);
  state.record("GetByteArrayElements",
               state.describe(array, "GetByteArrayElements") +
                   ", isCopy=" + (isCopy == nullptr ? "null" : "pointer"),
               false);
  FakeObject* object = byteArray(state, array, "GetByteArrayElements");
  if (object == nullptr) return nullptr;
  if (state.fails(VmFailure::GetByteArrayElements)) {
    state.returnedNull();
    state.raise("java/lang/OutOfMemoryError", "no room for the elements");
    return nullptr;
  }
  auto lease = std::make_unique<ElementLease>();
  lease->array = object;
  lease->buffer.assign(object->bytes.size() + 2 * kGuardBytes, kGuardPattern);
  if (!object->bytes.empty()) {
    std::memcpy(lease->elements(), object->bytes.data(), object->bytes.size());
  }
  if (isCopy != nullptr) *isCopy = JNI_TRUE;
  state.leases.push_back(std::move(lease));
  return state.leases.back()->elements();
}

std::string releaseModeName(jint mode) {
  switch (mode) {
    case 0:
      return "0";
    case JNI_COMMIT:
      return "JNI_COMMIT";
    case JNI_ABORT:
      return "JNI_ABORT";
    default:
      return std::to_string(static_cast<long>(mode));
  }
}

void JNICALL fakeReleaseByteArrayElements(JNIEnv* env, jbyteArray array, jbyte* elements,
                                          jint mode) {
  State& state = State::of(env);
  // Releasing is one of the few calls JNI allows while an exception is pending.
  state.record("ReleaseByteArrayElements",
               state.describe(array, "ReleaseByteArrayElements") + ", " + releaseModeName(mode),
               true);
  FakeObject* object = byteArray(state, array, "ReleaseByteArrayElements");
  if (object == nullptr) return;
  ElementLease* lease = nullptr;
  for (auto& candidate : state.leases) {
    if (candidate->array == object && candidate->elements() == elements && !candidate->released) {
      lease = candidate.get();
    }
  }
  if (lease == nullptr) {
    state.violations.push_back("ReleaseByteArrayElements(" + object->name +
                               ") with elements not held (never obtained or already released)");
    return;
  }
  const std::string damage = lease->damage();
  if (!damage.empty()) state.violations.push_back(damage);
  if (mode != 0 && mode != JNI_COMMIT && mode != JNI_ABORT) {
    state.violations.push_back("ReleaseByteArrayElements with unknown mode " +
                               std::to_string(static_cast<long>(mode)));
    return;
  }
  if (mode != JNI_ABORT && lease->length() > 0) {
    std::memcpy(object->bytes.data(), lease->elements(), lease->length());
  }
  if (mode != JNI_COMMIT) lease->released = true;
}

}  // namespace

FakeJniEnv::FakeJniEnv(int (*foreignCallCount)()) : state_(std::make_unique<State>()) {
  State& state = *state_;
  state.foreignCallCount = foreignCallCount;
  constexpr std::size_t kSlots = sizeof(JNINativeInterface_) / sizeof(void*);
  fillWithUnexpected(&state.table, std::make_index_sequence<kSlots>());
  state.table.FindClass = &fakeFindClass;
  state.table.ThrowNew = &fakeThrowNew;
  state.table.ExceptionOccurred = &fakeExceptionOccurred;
  state.table.ExceptionClear = &fakeExceptionClear;
  state.table.ExceptionCheck = &fakeExceptionCheck;
  state.table.DeleteLocalRef = &fakeDeleteLocalRef;
  state.table.GetObjectClass = &fakeGetObjectClass;
  state.table.GetFieldID = &fakeGetFieldID;
  state.table.SetIntField = &fakeSetIntField;
  state.table.GetArrayLength = &fakeGetArrayLength;
  state.table.GetByteArrayElements = &fakeGetByteArrayElements;
  state.table.ReleaseByteArrayElements = &fakeReleaseByteArrayElements;
  state.holder.env.functions = &state.table;
  state.holder.state = &state;

  state.add(FakeObject::Kind::Class, "java/lang/Exception", true);
  state.add(FakeObject::Kind::Class, "java/lang/NullPointerException", true);
  state.velmoraClass = state.add(FakeObject::Kind::Class, kVelmoraClass);
  state.velmoraObject = state.add(FakeObject::Kind::Velmora, "velmora");
}

FakeJniEnv::~FakeJniEnv() = default;

JNIEnv* FakeJniEnv::env() {
  return &state_->holder.env;
}

jobject FakeJniEnv::velmora() {
  return reinterpret_cast<jobject>(state_->velmoraObject);
}

void FakeJniEnv::setHandleField(jint value) {
  state_->handleValue = value;
}

jint FakeJniEnv::handleField() const {
  return state_->handleValue;
}

int FakeJniEnv::handleFieldWrites() const {
  return state_->handleWrites;
}

jbyteArray FakeJniEnv::newByteArray(const std::string& name,
                                    const std::vector<std::uint8_t>& contents) {
  FakeObject* array = state_->add(FakeObject::Kind::ByteArray, name);
  array->bytes = contents;
  return reinterpret_cast<jbyteArray>(array);
}

std::vector<std::uint8_t> FakeJniEnv::contents(jbyteArray array) const {
  FakeObject* object = state_->find(array);
  return object != nullptr ? object->bytes : std::vector<std::uint8_t>();
}

void FakeJniEnv::injectFailure(VmFailure failure) {
  state_->failing[static_cast<int>(failure)] = true;
}

bool FakeJniEnv::exceptionPending() const {
  return state_->pending;
}

std::string FakeJniEnv::pendingExceptionClass() const {
  return state_->pendingClass;
}

std::string FakeJniEnv::pendingExceptionMessage() const {
  return state_->pendingMessage;
}

void FakeJniEnv::raisePending(const std::string& className, const std::string& message) {
  state_->raise(className, message);
}

const std::vector<JniCall>& FakeJniEnv::calls() const {
  return state_->calls;
}

std::vector<std::string> FakeJniEnv::problems() const {
  std::vector<std::string> found = state_->violations;
  for (const auto& lease : state_->leases) {
    if (lease->released) continue;
    found.push_back("elements of " + lease->array->name + " never released");
    const std::string damage = lease->damage();
    if (!damage.empty()) found.push_back(damage);
  }
  return found;
}

}  // namespace fakejni
