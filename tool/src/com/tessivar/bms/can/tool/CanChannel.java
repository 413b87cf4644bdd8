package com.tessivar.bms.can.tool;

import com.tessivar.bms.can.kvaser.Velmora;

/**
 * One open CAN channel, and the way to use {@link Velmora} well: the handle comes from {@code
 * _handle} after {@code _init}, every call may throw the library's exception, a channel whose
 * handle was recorded is always closed, and receiving polls {@code _read} with a brief back-off.
 */
final class CanChannel implements AutoCloseable {
  // CAN handles are 0 or greater, so this marks "_init recorded none".
  private static final int NO_HANDLE = -1;

  private final Velmora velmora;
  private final int number;
  private final int handle;
  private final byte[] receivePdu = ReceivePdu.newBuffer();
  private final boolean allBytes;
  private boolean closed;

  private CanChannel(Velmora velmora, int number, boolean allBytes) {
    this.velmora = velmora;
    this.number = number;
    this.handle = velmora._handle;
    this.allBytes = allBytes;
  }

  /**
   * Opens channel {@code number} at {@code bitrate} (see {@link BitRate}) and puts it on the bus.
   * With {@code allBytes}, received frames keep all eight data bytes (see {@link ReceivePdu}).
   */
  static CanChannel open(int number, int bitrate, boolean allBytes) throws Exception {
    Velmora velmora = new Velmora();
    velmora._handle = NO_HANDLE;
    try {
      if (!velmora._init(number, bitrate)) {
        // The library raises whenever _init answers false; this only guards one that would not.
        throw new Exception("Cannot open CAN channel " + number);
      }
    } catch (Exception failure) {
      // When only going on the bus failed, the channel is open and its handle recorded.
      if (velmora._handle != NO_HANDLE) {
        try {
          velmora._close(velmora._handle);
        } catch (Exception closeFailure) {
          failure.addSuppressed(closeFailure);
        }
      }
      throw failure;
    }
    return new CanChannel(velmora, number, allBytes);
  }

  int number() { return number; }

  int handle() { return handle; }

  /** Sends one frame; the library waits up to 30 ms for it to leave. */
  void send(CanFrame frame) throws Exception {
    velmora._send(handle, frame.id(), frame.extended(), frame.data());
  }

  /** The next received frame, or null at once when none is waiting. */
  CanFrame poll() throws Exception {
    if (!velmora._read(handle, receivePdu)) return null;
    return allBytes ? ReceivePdu.decodeAllBytes(receivePdu) : ReceivePdu.decode(receivePdu);
  }

  /**
   * The next received frame, waiting until {@code deadline} or until {@code stop} says so (then
   * null). Between empty polls it sleeps, briefly at first and longer while the bus stays quiet,
   * so that waiting does not burn a core.
   */
  CanFrame receive(Deadline deadline, StopRequest stop) throws Exception {
    PollBackoff backoff = new PollBackoff();
    while (!stop.requested()) {
      CanFrame frame = poll();
      if (frame != null) return frame;
      if (deadline.expired()) return null;
      backoff.pause(deadline);
    }
    return null;
  }

  @Override
  public void close() throws Exception {
    if (closed) return;
    closed = true;
    velmora._close(handle);
  }
}
