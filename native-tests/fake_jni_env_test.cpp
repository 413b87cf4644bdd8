// The fake JNI environment must catch what a VM would punish, or the contract tests prove nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_jni_env.h"

namespace {

using fakejni::FakeJniEnv;
using Bytes = std::vector<std::uint8_t>;

bool mentions(const std::vector<std::string>& problems, const std::string& text) {
  for (const std::string& problem : problems) {
    if (problem.find(text) != std::string::npos) return true;
  }
  return false;
}

TEST(FakeJniEnv, ReportsWritesOutsideTheElements) {
  for (const int index : {-1, 3}) {
    FakeJniEnv jni;
    JNIEnv* env = jni.env();
    jbyteArray array = jni.newByteArray("pdu", Bytes(3, 0));
    jbyte* elements = env->GetByteArrayElements(array, nullptr);
    elements[index] = 1;
    env->ReleaseByteArrayElements(array, elements, 0);
    EXPECT_TRUE(mentions(jni.problems(), "written at index " + std::to_string(index)))
        << "index " << index;
  }
}

TEST(FakeJniEnv, ReportsElementsNotReleasedExactlyOnce) {
  FakeJniEnv jni;
  JNIEnv* env = jni.env();
  jbyteArray kept = jni.newByteArray("kept", Bytes(2, 0));
  jbyteArray twice = jni.newByteArray("twice", Bytes(2, 0));
  env->GetByteArrayElements(kept, nullptr);
  jbyte* elements = env->GetByteArrayElements(twice, nullptr);
  env->ReleaseByteArrayElements(twice, elements, JNI_ABORT);
  EXPECT_FALSE(mentions(jni.problems(), "twice"));
  env->ReleaseByteArrayElements(twice, elements, JNI_ABORT);

  EXPECT_TRUE(mentions(jni.problems(), "elements of kept never released"));
  EXPECT_TRUE(mentions(jni.problems(), "ReleaseByteArrayElements(twice) with elements not held"));
}

TEST(FakeJniEnv, CopiesBackOnlyWithModeZero) {
  FakeJniEnv jni;
  JNIEnv* env = jni.env();
  jbyteArray aborted = jni.newByteArray("aborted", Bytes(2, 0));
  jbyteArray copied = jni.newByteArray("copied", Bytes(2, 0));
  jbyte* elements = env->GetByteArrayElements(aborted, nullptr);
  elements[0] = 7;
  env->ReleaseByteArrayElements(aborted, elements, JNI_ABORT);
  elements = env->GetByteArrayElements(copied, nullptr);
  elements[0] = 7;
  env->ReleaseByteArrayElements(copied, elements, 0);

  EXPECT_EQ(jni.contents(aborted), (Bytes{0, 0}));
  EXPECT_EQ(jni.contents(copied), (Bytes{7, 0}));
  EXPECT_TRUE(jni.problems().empty());
}

TEST(FakeJniEnv, ReportsCallsWhileAnExceptionIsPendingExceptTheAllowedOnes) {
  FakeJniEnv jni;
  JNIEnv* env = jni.env();
  jbyteArray array = jni.newByteArray("pdu", Bytes(1, 0));
  jbyte* elements = env->GetByteArrayElements(array, nullptr);
  env->ThrowNew(env->FindClass("java/lang/Exception"), "first");

  env->ReleaseByteArrayElements(array, elements, 0);
  EXPECT_TRUE(env->ExceptionCheck());
  EXPECT_TRUE(jni.problems().empty());

  env->ThrowNew(env->FindClass("java/lang/Exception"), "second");
  EXPECT_TRUE(mentions(jni.problems(), "FindClass called while java/lang/Exception is pending"));
  EXPECT_TRUE(mentions(jni.problems(), "ThrowNew called while java/lang/Exception is pending"));
}

TEST(FakeJniEnv, FailsLikeAVmWhenTold) {
  FakeJniEnv jni;
  JNIEnv* env = jni.env();
  jni.injectFailure(fakejni::VmFailure::FindClass);
  EXPECT_EQ(env->FindClass("java/lang/Exception"), nullptr);
  EXPECT_EQ(jni.pendingExceptionClass(), "java/lang/NoClassDefFoundError");
  ASSERT_EQ(jni.calls().size(), 1u);
  EXPECT_EQ(jni.calls()[0].text, "FindClass(\"java/lang/Exception\") -> null");
}

TEST(FakeJniEnv, RecordsTheForeignCallCountAtEachCall) {
  static int foreignCalls = 0;
  FakeJniEnv jni([] { return foreignCalls; });
  JNIEnv* env = jni.env();
  foreignCalls = 4;
  env->GetObjectClass(jni.velmora());
  foreignCalls = 6;
  env->ExceptionCheck();
  ASSERT_EQ(jni.calls().size(), 2u);
  EXPECT_EQ(jni.calls()[0].foreignCallsBefore, 4);
  EXPECT_EQ(jni.calls()[1].foreignCallsBefore, 6);
}

TEST(FakeJniEnvDeathTest, AbortsOnAFunctionNativeCodeMustNotUse) {
  FakeJniEnv jni;
  JNIEnv* env = jni.env();
  jbyteArray array = jni.newByteArray("pdu", Bytes(1, 0));
  jbyte byte = 0;
  EXPECT_DEATH_IF_SUPPORTED(env->GetByteArrayRegion(array, 0, 1, &byte),
                            "unexpected JNI call GetByteArrayRegion");
  EXPECT_DEATH_IF_SUPPORTED(env->GetVersion(), "unexpected JNI call GetVersion");
}

}  // namespace
