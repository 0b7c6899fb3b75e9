package nl.tamsel.ftdi.cli;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.time.Duration;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.TimeUnit;
import java.util.regex.Pattern;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** The watch command: what it prints as devices come and go, and its command line. */
class WatchCommandTest extends ToolTestBase {

    /** A hang guard only: the tool prints each change within a few rescans. */
    private static final long GUARD_MILLIS = 60_000;
    private static final String TIME = "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}";

    @BeforeEach
    void startClean() {
        SimulatedDriver.reset();
    }

    @ParameterizedTest(name = "{0} -> {1}")
    @CsvSource({"500ms, PT0.5S", "30s, PT30S", "30, PT30S", "5m, PT5M", "1h, PT1H", "0, PT0S"})
    void durationsReadTheirUnit(String text, String expected) throws CommandFailure {
        assertEquals(Duration.parse(expected), WatchCommand.duration(text));
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', value = {
        "watch --for soon      | --for takes a duration such as 500ms, 30s, 5m or 1h, not soon",
        "watch --for -1s       | --for takes a duration",
        "watch --period 5      | --period takes a whole number from 10 to 3600000, not 5",
        "watch 0               | expected no arguments, got 0"})
    void commandLineMistakesAreUsageErrors(String commandLine, String message) {
        assertEquals(2, run(commandLine.split(" ")), err());
        assertTrue(err().contains(message), err());
    }

    @Test
    void showsTheDevicesThereAndThenEachArrivalAndRemovalWithItsTime() throws Exception {
        SimulatedDevice there = SimulatedDevice.builder().serialNumber("THERE1").locationId(0x11).attach();
        Tool tool = new Tool("watch", "--period", "10");
        awaitOutput("present  THERE1 ");
        SimulatedDevice.builder().serialNumber("COMER1").locationId(0x12)
                .description("Bench meter").attach();
        awaitOutput("arrived  COMER1 ");
        there.unplug();
        awaitOutput("removed  THERE1 ");
        stop(tool);
        String[] lines = out().split("\n");
        assertEquals("Watching the FTDI devices every 10 ms until stopped (Ctrl-C)", lines[0]);
        assertTrue(Pattern.matches(TIME + "  arrived  COMER1            loc 0x00000012  232R      \"Bench meter\"",
                lines[2]), lines[2]);
        assertEquals(4, lines.length, out());
    }

    @Test
    void endsByItselfAfterTheGivenDuration() {
        assertEquals(0, run("watch", "--for", "1ms"), err());
        assertTrue(out().startsWith("Watching the FTDI devices every 250 ms for 1 ms\n"), out());
    }

    @Test
    void withSimulatedDevicesAScriptedDeviceComesAndGoes() throws Exception {
        Tool tool = new Tool("--simulated", "watch");
        awaitOutput("removed  SIMWATCH ");
        awaitOutput("arrived  SIMWATCH ");
        stop(tool);
        assertTrue(out().contains("present  FT2232HA "), out());
    }

    /** The tool on a thread of its own, which stop() interrupts as Ctrl-C would end the watch. */
    private final class Tool {
        private final CompletableFuture<Integer> exit = new CompletableFuture<>();
        private final Thread thread;

        Tool(String... args) {
            thread = new Thread(() -> exit.complete(run(args)));
            thread.setDaemon(true);
            thread.start();
        }
    }

    private void stop(Tool tool) throws Exception {
        tool.thread.interrupt();
        assertEquals(0, tool.exit.get(GUARD_MILLIS, TimeUnit.MILLISECONDS), err());
    }

    private void awaitOutput(String text) throws InterruptedException {
        for (long waited = 0; !out().contains(text); waited += 5) {
            assertTrue(waited < GUARD_MILLIS, "never printed \"" + text + "\":\n" + out() + err());
            Thread.sleep(5);
        }
    }
}
