package com.tessivar.bms.can.tool;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayOutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/** The command line as a user meets it: exit status and what lands on stdout and stderr. */
class VelmoraCanTest {
  private final ByteArrayOutputStream out = new ByteArrayOutputStream();
  private final ByteArrayOutputStream err = new ByteArrayOutputStream();

  private int run(String... args) {
    return VelmoraCan.run(args, new PrintStream(out, true, StandardCharsets.UTF_8),
        new PrintStream(err, true, StandardCharsets.UTF_8), new StopRequest());
  }

  @ParameterizedTest
  @ValueSource(strings = {"", "frob", "send", "send 12#01", "dump -b fast", "demo --count 1"})
  void aMistakeIsOneLineOnStderrAndStatus2(String args) {
    int status = run(args.isEmpty() ? new String[0] : args.split(" "));
    assertEquals(2, status);
    assertEquals("", out.toString(StandardCharsets.UTF_8));
    String message = err.toString(StandardCharsets.UTF_8);
    assertTrue(message.matches("velmora-can: [^\n]+\n"), message);
  }

  @Test
  void helpListsEveryOptionOnStdout() {
    assertEquals(0, run("--help"));
    String help = out.toString(StandardCharsets.UTF_8);
    for (String option : new String[] {"dump", "send", "demo", "--channel", "--bitrate", "--count",
             "--time", "--interval", "--all-bytes", "500K"}) {
      assertTrue(help.contains(option), option);
    }
    assertEquals("", err.toString(StandardCharsets.UTF_8));
  }
}
