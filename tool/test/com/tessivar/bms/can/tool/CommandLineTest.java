package com.tessivar.bms.can.tool;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.ValueSource;

class CommandLineTest {
  @Test
  void dumpDefaultsToChannel0At500kUntilStopped() throws Exception {
    CommandLine line = CommandLine.parse("dump");
    assertEquals(CommandLine.Command.DUMP, line.command);
    assertEquals(0, line.channel);
    assertEquals(-2, line.bitrate);
    assertEquals(0, line.count);
    assertEquals(-1, line.timeMs);
    assertFalse(line.allBytes);
  }

  @Test
  void dumpTakesShortLongAndEqualsForms() throws Exception {
    CommandLine line =
        CommandLine.parse("dump", "-c", "3", "--bitrate=250K", "--count", "10", "-t", "0.5", "-a");
    assertEquals(3, line.channel);
    assertEquals(-3, line.bitrate);
    assertEquals(10, line.count);
    assertEquals(500, line.timeMs);
    assertTrue(line.allBytes);
  }

  @Test
  void sendKeepsTheFramesInOrderAndSendsOnceByDefault() throws Exception {
    CommandLine line =
        CommandLine.parse("send", "123#0102", "--channel=1", "18FF50E5#11223344", "-b", "125000");
    assertEquals(CommandLine.Command.SEND, line.command);
    assertEquals(1, line.channel);
    assertEquals(125000, line.bitrate);
    assertEquals(1, line.count);
    assertEquals(100, line.intervalMs);
    assertEquals(
        List.of(CanFrame.parse("123#0102"), CanFrame.parse("18FF50E5#11223344")), line.frames);
  }

  @Test
  void sendRepeatsAtAnInterval() throws Exception {
    CommandLine line = CommandLine.parse("send", "-n", "0", "-i", "250", "123#01");
    assertEquals(0, line.count);
    assertEquals(250, line.intervalMs);
  }

  @ParameterizedTest
  @ValueSource(strings = {"--help", "-h"})
  void helpWinsWherever(String flag) throws Exception {
    assertEquals(CommandLine.Command.HELP, CommandLine.parse(flag).command);
    assertEquals(CommandLine.Command.HELP, CommandLine.parse("send", "800#01", flag).command);
    assertEquals(CommandLine.Command.HELP, CommandLine.parse("help").command);
  }

  @ParameterizedTest(name = "[{index}] {0}")
  @CsvSource(delimiter = '|',
      value =
          {
              "''                       | no command given",
              "frob                     | unknown command 'frob'",
              "--channel 1              | unknown command '--channel'",
              "send                     | send needs at least one frame",
              "send -c 1                | send needs at least one frame",
              "demo -c 1                | demo takes no --channel",
              "demo extra               | demo takes no argument 'extra'",
              "dump 123#01              | dump takes no argument '123#01'",
              "dump --interval 5        | dump takes no --interval",
              "send --time 5 123#01     | send takes no --time",
              "send -a 123#01           | send takes no --all-bytes",
              "dump --colour            | unknown option '--colour'",
              "dump -c                  | --channel needs a value",
              "dump -c -1               | bad --channel '-1'",
              "dump -c one              | bad --channel 'one'",
              "dump --count=-3          | bad --count '-3'",
              "dump -t 0                | bad --time '0'",
              "dump -t 1s               | bad --time '1s'",
              "dump --all-bytes=yes     | --all-bytes takes no value",
              "send -i 1.5 123#01       | bad --interval '1.5'",
              "dump -b 3M               | bad bit rate '3M'",
              "send 123#01 12#01        | bad frame '12#01'",
          })
  void
  reportsMistakesInOneLine(String args, String message) {
    String[] argv = args.isEmpty() ? new String[0] : args.split(" ");
    UsageException e = assertThrows(UsageException.class, () -> CommandLine.parse(argv));
    assertTrue(e.getMessage().startsWith(message), e.getMessage());
    assertFalse(e.getMessage().contains("\n"), e.getMessage());
  }
}
