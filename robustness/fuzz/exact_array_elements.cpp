#include "exact_array_elements.h"

#include <stdlib.h>
#include <string.h>

#include <vector>

namespace {

struct Lease {
  jbyte* exact;   // what the caller got: exactly `length` bytes
  jbyte* leased;  // what the fake handed out (with its guard bytes around it)
  size_t length;
};

// One fake environment at a time (the fuzzer is single-threaded).
fakejni::FakeJniEnv* currentVm = nullptr;
const JNINativeInterface_* fakeTable = nullptr;
JNINativeInterface_ exactTable;
std::vector<Lease> leases;

jbyte* JNICALL exactGetByteArrayElements(JNIEnv* env, jbyteArray array, jboolean* isCopy) {
  jbyte* leased = fakeTable->GetByteArrayElements(env, array, isCopy);
  if (leased == nullptr) return nullptr;
  const size_t length = currentVm->contents(array).size();
  // malloc(0) still yields a distinct block of which no byte may be touched.
  jbyte* exact = static_cast<jbyte*>(malloc(length));
  if (length > 0) memcpy(exact, leased, length);
  leases.push_back({exact, leased, length});
  return exact;
}

void JNICALL exactReleaseByteArrayElements(JNIEnv* env, jbyteArray array, jbyte* elements,
                                           jint mode) {
  for (auto lease = leases.begin(); lease != leases.end(); ++lease) {
    if (lease->exact != elements) continue;
    if (lease->length > 0) memcpy(lease->leased, lease->exact, lease->length);
    fakeTable->ReleaseByteArrayElements(env, array, lease->leased, mode);
    if (mode != JNI_COMMIT) {
      free(lease->exact);
      leases.erase(lease);
    }
    return;
  }
  // Not ours: the fake reports the stray pointer.
  fakeTable->ReleaseByteArrayElements(env, array, elements, mode);
}

}  // namespace

ExactArrayElements::ExactArrayElements(fakejni::FakeJniEnv& vm) {
  JNIEnv* env = vm.env();
  currentVm = &vm;
  fakeTable = env->functions;
  exactTable = *fakeTable;
  exactTable.GetByteArrayElements = &exactGetByteArrayElements;
  exactTable.ReleaseByteArrayElements = &exactReleaseByteArrayElements;
  env->functions = &exactTable;
}

ExactArrayElements::~ExactArrayElements() {
  // Elements never released are the fake's finding (problems()); only the copies go here.
  for (const Lease& lease : leases) free(lease.exact);
  leases.clear();
  currentVm->env()->functions = fakeTable;
  currentVm = nullptr;
}
