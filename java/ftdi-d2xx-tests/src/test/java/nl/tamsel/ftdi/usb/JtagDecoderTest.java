package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeFalse;

import java.io.IOException;
import java.math.BigInteger;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedJtagChain;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * Drives the simulated demo JTAG chain with hand-built MPSSE commands through the raw classes and
 * lets sigrok's {@code jtag} decoder read the recorded waveform: the TAP states it follows and
 * the bits it sees shifted must be those the commands made and the chain answered.
 */
class JtagDecoderTest extends SimulatedDriverTestBase {

    @TempDir
    Path directory;

    @BeforeAll
    static void needsSigrok() {
        assumeFalse(System.getProperty("os.name").startsWith("Windows"), "sigrok-cli runs on the host only");
        assertTrue(SigrokCli.available(), "sigrok-cli is missing: install Debian's sigrok-cli (scripts/setup does)");
    }

    private static final List<String> STATES = List.of("test-logic-reset", "run-test/idle", "select-dr-scan",
            "capture-dr", "shift-dr", "exit1-dr", "pause-dr", "exit2-dr", "update-dr", "select-ir-scan", "capture-ir",
            "shift-ir", "exit1-ir", "pause-ir", "exit2-ir", "update-ir");

    /** The decoder's bitstring annotation: the bits last shifted first, then the value in hex. */
    private static String bits(String what, int count, BigInteger value) {
        StringBuilder binary = new StringBuilder(value.toString(2));
        while (binary.length() < count) {
            binary.insert(0, '0');
        }
        return what + ": " + binary + " (0x" + value.toString(16) + "), " + count + " bits";
    }

    private static List<String> withoutRepeats(List<String> states) {
        List<String> kept = new ArrayList<>();
        for (String state : states) {
            if (kept.isEmpty() || !kept.get(kept.size() - 1).equals(state)) {
                kept.add(state);
            }
        }
        return kept;
    }

    @Test
    void scansDecodeAsShifted() throws IOException {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).attach();
        SimulatedJtagChain chain = adapter.attachJtagChain(SimulatedJtagChain.demoChain());
        long handle = JtagMpsse.open(adapter);
        adapter.recordWaveform();
        // USERCODE into the first device, BYPASS into the second, IDCODE into the third.
        long instructions = 0xFEL | 0xFL << 8 | 0x3DL << 12;
        JtagCommands commands = new JtagCommands().start().tms("11111").tms("0")
                .scan(true, 18, instructions).scan(false, 65, new BigInteger("1AAAAAAAA55555555", 16));
        List<BigInteger> captured = JtagMpsse.run(handle, commands);
        assertEquals(List.of(BigInteger.valueOf(0x01L | 0x1L << 8 | 0x01L << 12),
                BigInteger.valueOf(0xCAFE0001L).shiftLeft(33).or(BigInteger.valueOf(0x2B5C7A2DL))), captured);
        assertEquals("RUN_TEST_IDLE", chain.device(1).state());
        assertEquals(0x3D, chain.device(0).instruction());

        List<String> decoded = SigrokCli.decode(adapter, directory, "jtag:tdi=TDI:tdo=TDO:tck=TCK:tms=TMS",
                "jtag=" + String.join(":", STATES) + ":bitstring-tdi:bitstring-tdo");
        assertEquals(List.of(bits("IR TDI", 18, BigInteger.valueOf(instructions)), bits("IR TDO", 18, captured.get(0)),
                bits("DR TDI", 65, new BigInteger("1AAAAAAAA55555555", 16)), bits("DR TDO", 65, captured.get(1))),
                decoded.stream().filter(line -> line.contains(" bits")).toList());
        // The states from the first Run-Test/Idle on (the decoder guesses before the reset), one
        // entry per clock: each scan shows one Shift state per bit.
        List<String> states = decoded.subList(decoded.indexOf("RUN-TEST/IDLE"), decoded.size()).stream()
                .filter(line -> !line.contains(" bits")).toList();
        assertEquals(18, states.stream().filter("SHIFT-IR"::equals).count());
        assertEquals(65, states.stream().filter("SHIFT-DR"::equals).count());
        assertEquals(List.of("RUN-TEST/IDLE", "SELECT-DR-SCAN", "SELECT-IR-SCAN", "CAPTURE-IR", "SHIFT-IR", "EXIT1-IR",
                "UPDATE-IR", "RUN-TEST/IDLE", "SELECT-DR-SCAN", "CAPTURE-DR", "SHIFT-DR", "EXIT1-DR", "UPDATE-DR"),
                withoutRepeats(states));
        D2XX.close(handle);
    }
}
