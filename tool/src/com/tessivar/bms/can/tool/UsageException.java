package com.tessivar.bms.can.tool;

/** A mistake on the command line: reported as one line and exit status 2, never a stack trace. */
final class UsageException extends Exception {
  private static final long serialVersionUID = 1L;

  UsageException(String message) { super(message); }
}
