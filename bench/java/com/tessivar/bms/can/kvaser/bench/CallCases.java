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

  CallCases(Velmora sender, Velmora receiver, JniFloor floor, HeapMeter heap, int rounds) {
    final int tx = sender._handle;
    final int rx = receiver._handle;
    final byte[] payload = {1, 2, 3, 4, 5, 6, 7, 8};
    final byte[] pdu = new byte[12];
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
        // Sent by the other channel, so they wait in the receiver's queue.
        for (int i = 0; i < calls; i++) sender._send(tx, STANDARD_ID, false, payload);
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
            int arrived = 0;
            while (receiver._read(rx, pdu)) arrived++;
            expect(arrived == calls, arrived + " of " + calls + " sent frames arrived");
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
  }

  /** In the order they run in each round: each call beside its floor. */
  CallCase[] all() {
    return new CallCase[] {readEmpty, emptyNative, readFrame, readFrameJniCalls, send, sendJniCalls,
        readFailing, raiseJniCalls};
  }
}
