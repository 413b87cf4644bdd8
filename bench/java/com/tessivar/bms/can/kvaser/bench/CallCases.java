package com.tessivar.bms.can.kvaser.bench;

import com.tessivar.bms.can.kvaser.Velmora;

/**
 * The calls measured one by one: VelmoraJava's on two channels of one virtual bus, and the floors
 * beside them. Every case checks after each batch that each call did what it is measured for.
 */
final class CallCases {
  static final int STANDARD_ID = 0x123;
  /** A handle the virtual CANlib never hands out, so canRead fails with canERR_INVHANDLE. */
  static final int UNKNOWN_HANDLE = 9999;

  final CallCase readEmpty;
  final CallCase emptyNative;
  final CallCase readFrame;
  final CallCase readFrameJniCalls;
  final CallCase send;
  final CallCase sendJniCalls;
  final CallCase readFailing;
  final CallCase raiseJniCalls;
  final CallCase directReadEmpty;
  final CallCase directReadFrame;
  final CallCase directSend;
  final CallCase regionWrite;

  private final Velmora sender;
  private final Velmora receiver;
  private final byte[] payload = {1, 2, 3, 4, 5, 6, 7, 8};
  private final byte[] pdu = new byte[12];

  CallCases(Velmora sender, Velmora receiver, JniFloor floor, CanlibDirect direct, HeapMeter heap,
      int rounds) {
    this.sender = sender;
    this.receiver = receiver;
    // Locals, not fields, in the timed loops: nothing to reload between two calls.
    final int tx = sender._handle;
    final int rx = receiver._handle;
    final byte[] payload = this.payload;
    final byte[] pdu = this.pdu;
    final int fast = CallCase.FAST_BATCH;
    final int fastBatches = 101;
    final int slow = CallCase.SLOW_BATCH; // raising costs microseconds
    final int slowBatches = 101;

    readEmpty = new CallCase("_read, empty queue", false, fast, fastBatches, rounds, heap) {
      @Override
      int callAll(int calls) throws Exception {
        int frames = 0;
        for (int i = 0; i < calls; i++) {
          if (receiver._read(rx, pdu)) frames++;
        }
        return frames;
      }
    };
    emptyNative = new CallCase(
        "floor: empty native, _read's signature", false, fast, fastBatches, rounds, heap) {
      @Override
      int callAll(int calls) throws Exception {
        int trues = 0;
        for (int i = 0; i < calls; i++) {
          if (floor.emptyRead(rx, pdu)) trues++;
        }
        return trues;
      }
    };
    readFrame = new CallCase("_read, waiting frame", true, fast, fastBatches, rounds, heap) {
      @Override
      void beforeBatch(int calls) throws Exception {
        sendToReceiver(calls);
      }

      @Override
      int callAll(int calls) throws Exception {
        int frames = 0;
        for (int i = 0; i < calls; i++) {
          if (receiver._read(rx, pdu)) frames++;
        }
        return frames;
      }

      @Override
      void afterBatch(int calls, int frames) throws Exception {
        super.afterBatch(calls, frames);
        expect(pdu[2] == 0x01 && pdu[3] == 0x23 && pdu[11] == 8, "_read packed a wrong PDU");
      }
    };
    readFrameJniCalls = new CallCase(
        "floor: _read's JNI calls for a frame", true, fast, fastBatches, rounds, heap) {
      @Override
      int callAll(int calls) throws Exception {
        int trues = 0;
        for (int i = 0; i < calls; i++) {
          if (floor.readFrameCalls(rx, pdu)) trues++;
        }
        return trues;
      }
    };
    send =
        new CallCase("_send, 8 bytes, 2nd channel on bus", true, fast, fastBatches, rounds, heap) {
          @Override
          int callAll(int calls) throws Exception {
            int trues = 0;
            for (int i = 0; i < calls; i++) {
              if (sender._send(tx, STANDARD_ID, false, payload)) trues++;
            }
            return trues;
          }

          @Override
          void afterBatch(int calls, int trues) throws Exception {
            super.afterBatch(calls, trues);
            expectSentArrived(this, calls);
          }
        };
    sendJniCalls = new CallCase("floor: _send's JNI calls", true, fast, fastBatches, rounds, heap) {
      @Override
      int callAll(int calls) throws Exception {
        int trues = 0;
        for (int i = 0; i < calls; i++) {
          if (floor.sendCalls(tx, STANDARD_ID, false, payload)) trues++;
        }
        return trues;
      }
    };
    readFailing =
        new CallCase("_read failing, exception caught", true, slow, slowBatches, rounds, heap) {
          private String message;

          @Override
          int callAll(int calls) {
            int caught = 0;
            for (int i = 0; i < calls; i++) {
              try {
                receiver._read(UNKNOWN_HANDLE, pdu);
              } catch (Exception e) {
                caught++;
                message = e.getMessage();
              }
            }
            return caught;
          }

          @Override
          void afterBatch(int calls, int caught) throws Exception {
            super.afterBatch(calls, caught);
            expect(message.startsWith("canRead failed: "), "unexpected message: " + message);
          }
        };
    raiseJniCalls =
        new CallCase("floor: JNI raise, exception caught", true, slow, slowBatches, rounds, heap) {
          @Override
          int callAll(int calls) {
            int caught = 0;
            for (int i = 0; i < calls; i++) {
              try {
                floor.raise(UNKNOWN_HANDLE, pdu);
              } catch (Exception e) {
                caught++;
              }
            }
            return caught;
          }
        };
    directReadEmpty =
        new CallCase("direct: canRead, empty queue", false, fast, fastBatches, rounds, heap) {
          @Override
          int callAll(int calls) throws Exception {
            int frames = 0;
            for (int i = 0; i < calls; i++) {
              if (direct.read(rx, pdu)) frames++;
            }
            return frames;
          }
        };
    directReadFrame = new CallCase(
        "direct: canRead + JNI calls, waiting frame", true, fast, fastBatches, rounds, heap) {
      @Override
      void beforeBatch(int calls) throws Exception {
        sendToReceiver(calls);
      }

      @Override
      int callAll(int calls) throws Exception {
        int frames = 0;
        for (int i = 0; i < calls; i++) {
          if (direct.read(rx, pdu)) frames++;
        }
        return frames;
      }
    };
    directSend = new CallCase(
        "direct: JNI calls + canWrite + canWriteSync", true, fast, fastBatches, rounds, heap) {
      @Override
      int callAll(int calls) throws Exception {
        int trues = 0;
        for (int i = 0; i < calls; i++) {
          if (direct.send(tx, STANDARD_ID, false, payload)) trues++;
        }
        return trues;
      }

      @Override
      void afterBatch(int calls, int trues) throws Exception {
        super.afterBatch(calls, trues);
        expectSentArrived(this, calls);
      }
    };
    regionWrite = new CallCase(
        "alternative: SetByteArrayRegion, 12 bytes", true, fast, fastBatches, rounds, heap) {
      @Override
      int callAll(int calls) throws Exception {
        int trues = 0;
        for (int i = 0; i < calls; i++) {
          if (floor.readFrameRegion(rx, pdu)) trues++;
        }
        return trues;
      }
    };
  }

  /** Makes {@code frames} frames wait in the receiver's queue, sent by the other channel. */
  private void sendToReceiver(int frames) throws Exception {
    for (int i = 0; i < frames; i++) sender._send(sender._handle, STANDARD_ID, false, payload);
  }

  /** Reads the receiver's queue empty, expecting exactly the {@code sent} frames of a batch. */
  private void expectSentArrived(CallCase call, int sent) throws Exception {
    int arrived = 0;
    while (receiver._read(receiver._handle, pdu)) arrived++;
    call.expect(arrived == sent, arrived + " of " + sent + " sent frames arrived");
  }

  /** In the order they run in each round: each call beside its floor and its direct twin. */
  CallCase[] all() {
    return new CallCase[] {readEmpty, emptyNative, directReadEmpty, readFrame, readFrameJniCalls,
        directReadFrame, regionWrite, send, sendJniCalls, directSend, readFailing, raiseJniCalls};
  }
}
