package com.tessivar.junitcheck;

import static org.junit.jupiter.api.Assertions.assertThrows;

import org.junit.jupiter.api.Test;

/**
 * Proves that run_junit_checked.sh fails a suite whose tests pass but whose native code misused
 * JNI: with -Djnicheck.misuse=true the native method makes a JNI call with an exception pending.
 */
class JniMisuseTest {
  static { System.loadLibrary("JniMisuse"); }

  static native void raise(boolean thenCallWithExceptionPending);

  @Test
  void nativeRaiseReachesJava() {
    boolean misuse = Boolean.getBoolean("jnicheck.misuse");
    assertThrows(IllegalStateException.class, () -> raise(misuse));
  }
}
