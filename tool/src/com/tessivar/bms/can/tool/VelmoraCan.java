package com.tessivar.bms.can.tool;

import java.io.PrintStream;

/**
 * {@code velmora-can}: dump, send and demo on a CAN channel through the VelmoraJava library. Run it
 * through its launcher script, which puts the library on {@code java.library.path}.
 */
public final class VelmoraCan {
  static final int EXIT_OK = 0;
  static final int EXIT_CAN_FAILURE = 1;
  static final int EXIT_USAGE = 2;

  private VelmoraCan() {}

  public static void main(String[] args) {
    StopRequest stop = StopRequest.onShutdown();
    int status = run(args, System.out, System.err, stop);
    stop.finished();
    System.exit(status);
  }

  /** Runs one command line; returns the exit status. */
  static int run(String[] args, PrintStream out, PrintStream err, StopRequest stop) {
    CommandLine line;
    try {
      line = CommandLine.parse(args);
    } catch (UsageException e) {
      err.println(CommandLine.PROGRAM + ": " + e.getMessage());
      return EXIT_USAGE;
    }
    if (line.command == CommandLine.Command.HELP) {
      out.println(CommandLine.HELP);
      return EXIT_OK;
    }

    try {
      System.loadLibrary("VelmoraJava");
    } catch (UnsatisfiedLinkError e) {
      err.println(CommandLine.PROGRAM + ": cannot load the VelmoraJava library (" + e.getMessage()
          + "); run the tool through its launcher, or point -Djava.library.path at the folder"
          + " that holds it");
      return EXIT_CAN_FAILURE;
    }

    try {
      switch (line.command) {
        case DUMP:
          DumpCommand.run(line, out, stop);
          return EXIT_OK;
        case SEND:
          SendCommand.run(line, stop);
          return EXIT_OK;
        case DEMO:
          return DemoCommand.run(out) ? EXIT_OK : EXIT_CAN_FAILURE;
        default:
          throw new AssertionError(line.command);
      }
    } catch (RuntimeException e) {
      throw e; // a fault of the tool itself: its stack trace is what a fix needs
    } catch (Exception e) {
      // The library's exceptions carry the whole story in their message, CANlib's text last.
      err.println(CommandLine.PROGRAM + ": " + describe(e));
      for (Throwable also : e.getSuppressed()) {
        err.println(CommandLine.PROGRAM + ": also: " + describe(also));
      }
      return EXIT_CAN_FAILURE;
    }
  }

  private static String describe(Throwable failure) {
    return failure.getMessage() != null ? failure.getMessage() : failure.toString();
  }
}
