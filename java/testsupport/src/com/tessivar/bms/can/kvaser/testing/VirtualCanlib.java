package com.tessivar.bms.can.kvaser.testing;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Objects;

/**
 * Java access to the control interface of the virtual CANlib (fault injection, frame injection,
 * queue lengths, call log, reset), for tests that drive the product library from a real JVM. It
 * loads {@code VirtualCanlibJava}, which links the same {@code libcanlib.so.1} as the product, so
 * both see one simulated bus.
 *
 * <p>Not for programs that run against the real CANlib. The control functions it calls refuse bad
 * arguments with a status; this class turns a refusal into an {@link IllegalArgumentException}, so
 * a test never runs on quietly without the fault or frame it asked for.
 */
public final class VirtualCanlib {
  static { System.loadLibrary("VirtualCanlibJava"); }

  /**
   * Handle filter matching every handle (and every channel or status, where those are filtered).
   */
  public static final int ANY_HANDLE = -1;

  /** The CANlib function names, indexed by the call log's numbering (1 = canInitializeLibrary). */
  private static final String[] FUNCTION_NAMES = {
      null,
      "canInitializeLibrary",
      "canOpenChannel",
      "canSetBusParams",
      "canBusOn",
      "canWrite",
      "canWriteSync",
      "canRead",
      "canClose",
      "canGetErrorText",
  };

  // Layout of the numbers nativeCallAt copies out of one call record.
  private static final int RECORD_CALL = 0;
  private static final int RECORD_HANDLE = 1;
  private static final int RECORD_ARGS = 2;
  private static final int RECORD_ARG_COUNT = 6;
  private static final int RECORD_RESULT = 8;
  private static final int RECORD_FRAME_ID = 9;
  private static final int RECORD_FRAME_FLAGS = 10;
  private static final int RECORD_FRAME_DLC = 11;
  private static final int RECORD_FRAME_TIME = 12;
  private static final int RECORD_LENGTH = 13;
  private static final int FRAME_DATA_CAPACITY = 8;

  private VirtualCanlib() {}

  /** One CAN frame as the virtual bus holds it; {@code data} has min(dlc, 8) bytes. */
  public record Frame(int id, int flags, int dlc, int timeMs, byte[] data) {}

  /**
   * One logged CANlib call. {@code args} per function: canOpenChannel {flags} (handle = channel),
   * canSetBusParams {freq, tseg1, tseg2, sjw, noSamp, syncmode}, canWrite {id, dlc, flag, msg !=
   * null}, canWriteSync {timeout}, canGetErrorText {bufsiz, buf != null} (handle = the status).
   * {@code frame}: what canWrite was passed, what a successful canRead delivered, else null.
   */
  public record Call(String function, int handle, long[] args, int result, Frame frame) {
    public long arg(int index) {
      return args[index];
    }

    @Override
    public String toString() {
      return function + "(handle " + handle + ", args " + Arrays.toString(args) + ") = " + result;
    }
  }

  /** Back to a fresh bus: all handles closed, queues empty, no faults, call log off and empty. */
  public static void reset() { nativeReset(); }

  /** Sets the number of channels (1 to 64) until the next {@link #reset}. */
  public static void setChannelCount(int count) {
    check(nativeSetChannelCount(count), "setChannelCount(" + count + ")");
  }

  /**
   * Makes the next {@code count} calls of {@code function} (e.g. "canWrite") return {@code status}
   * without doing their work; {@code handle} restricts it to one handle (canOpenChannel: channel;
   * canGetErrorText: status code) or is {@link #ANY_HANDLE}. A faulted canGetErrorText leaves the
   * caller's buffer untouched.
   */
  public static void failCall(String function, int status, int count, int handle) {
    Objects.requireNonNull(function, "function");
    check(nativeFailCall(function, status, count, handle),
        "failCall(" + function + ", " + status + ", " + count + ", " + handle + ")");
  }

  /** {@link #failCall(String, int, int, int)} once, on any handle. */
  public static void failCall(String function, int status) {
    failCall(function, status, 1, ANY_HANDLE);
  }

  public static void clearFaults() { nativeClearFaults(); }

  /**
   * Puts a frame into {@code handle}'s receive queue as if another node had sent it. The DLC is
   * {@code dlc}; the first min(data.length, 8) bytes are the frame's data.
   */
  public static void injectFrame(int handle, int id, int flags, int dlc, byte[] data) {
    Objects.requireNonNull(data, "data");
    check(nativeInjectFrame(handle, id, flags, dlc, data), "injectFrame on handle " + handle);
  }

  /** {@link #injectFrame(int, int, int, int, byte[])} with the DLC taken from the array. */
  public static void injectFrame(int handle, int id, int flags, byte[] data) {
    Objects.requireNonNull(data, "data");
    injectFrame(handle, id, flags, data.length, data);
  }

  /** Frames waiting in the handle's receive queue, or canERR_INVHANDLE (-10). */
  public static int receiveQueueLength(int handle) { return nativeReceiveQueueLength(handle); }

  /** Frames waiting in the handle's transmit queue, or canERR_INVHANDLE (-10). */
  public static int transmitQueueLength(int handle) { return nativeTransmitQueueLength(handle); }

  /** Starts or stops logging CANlib calls; both empty the log. */
  public static void recordCalls(boolean on) { nativeRecordCalls(on); }

  /** The logged calls, oldest first. */
  public static List<Call> calls() {
    int count = nativeCallCount();
    List<Call> calls = new ArrayList<>(count);
    long[] record = new long[RECORD_LENGTH];
    byte[] data = new byte[FRAME_DATA_CAPACITY];
    for (int index = 0; index < count; index++) {
      check(nativeCallAt(index, record, data), "call log record " + index);
      calls.add(toCall(record, data));
    }
    return List.copyOf(calls);
  }

  /** The logged calls of one CANlib function, oldest first. */
  public static List<Call> calls(String function) {
    return calls().stream().filter(call -> call.function().equals(function)).toList();
  }

  /** The names of the logged calls, oldest first. */
  public static List<String> callNames() { return calls().stream().map(Call::function).toList(); }

  private static Call toCall(long[] record, byte[] data) {
    int call = (int) record[RECORD_CALL];
    String function =
        call > 0 && call < FUNCTION_NAMES.length ? FUNCTION_NAMES[call] : "unknown call " + call;
    int result = (int) record[RECORD_RESULT];
    Frame frame = null;
    if (function.equals("canWrite") || (function.equals("canRead") && result == 0)) {
      int dlc = (int) record[RECORD_FRAME_DLC];
      frame = new Frame((int) record[RECORD_FRAME_ID], (int) record[RECORD_FRAME_FLAGS], dlc,
          (int) record[RECORD_FRAME_TIME],
          Arrays.copyOf(data, Math.max(0, Math.min(dlc, FRAME_DATA_CAPACITY))));
    }
    long[] args = Arrays.copyOfRange(record, RECORD_ARGS, RECORD_ARGS + RECORD_ARG_COUNT);
    return new Call(function, (int) record[RECORD_HANDLE], args, result, frame);
  }

  private static void check(int status, String what) {
    if (status != 0) {
      throw new IllegalArgumentException(
          "virtual CANlib refused " + what + " with status " + status);
    }
  }

  private static native void nativeReset();

  private static native int nativeSetChannelCount(int count);

  private static native int nativeFailCall(String function, int status, int count, int handle);

  private static native void nativeClearFaults();

  private static native int nativeInjectFrame(int handle, int id, int flags, int dlc, byte[] data);

  private static native int nativeReceiveQueueLength(int handle);

  private static native int nativeTransmitQueueLength(int handle);

  private static native void nativeRecordCalls(boolean on);

  private static native int nativeCallCount();

  /** Copies record {@code index} into {@code record} (13 numbers) and {@code data} (8 bytes). */
  private static native int nativeCallAt(int index, long[] record, byte[] data);
}
