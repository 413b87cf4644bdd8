// Makes a fake JNI environment hand out Java array elements in buffers of exactly the array's
// length, as HotSpot's malloc'd copies are, so AddressSanitizer reports any read or write outside
// a Java array. The fake's own lease bookkeeping and guard checks stay in force underneath: the
// exact copy is copied back into the fake's buffer when the elements are released.
#ifndef VELMORA_ROBUSTNESS_EXACT_ARRAY_ELEMENTS_H
#define VELMORA_ROBUSTNESS_EXACT_ARRAY_ELEMENTS_H

#include "fake_jni_env.h"

class ExactArrayElements {
 public:
  // Redirects `vm`'s GetByteArrayElements and ReleaseByteArrayElements while this object lives.
  explicit ExactArrayElements(fakejni::FakeJniEnv& vm);
  ~ExactArrayElements();
  ExactArrayElements(const ExactArrayElements&) = delete;
  ExactArrayElements& operator=(const ExactArrayElements&) = delete;
};

#endif
