package nl.tamsel.ftdi.svf;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.io.StringReader;
import java.nio.channels.AsynchronousCloseException;
import java.time.Duration;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.ExecutionException;
import java.util.concurrent.FutureTask;
import java.util.concurrent.TimeUnit;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.sim.SimulatedJtagChain;
import nl.tamsel.ftdi.usb.DeviceType;
import nl.tamsel.ftdi.usb.FtdiDevice;
import nl.tamsel.ftdi.usb.JtagConfig;
import nl.tamsel.ftdi.usb.JtagController;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** SVF files played on the simulated three-device chain (TDI: IR 6, IR 4, IR 8 with the memory: TDO). */
class SvfPlayerTest {

    private SimulatedDevice adapter;
    private SimulatedJtagChain chain;
    private FtdiDevice device;
    private JtagController jtag;

    @BeforeEach
    void open() throws IOException {
        SimulatedDriver.reset();
        adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).serialNumber("SVFCHAIN").loopback(false)
                .attach();
        chain = adapter.attachJtagChain(SimulatedJtagChain.demoChain());
        device = FtdiDevice.openBySerialNumber("SVFCHAIN");
        jtag = device.jtag(JtagConfig.builder().clockHz(1_000_000).build());
    }

    @AfterEach
    void close() throws IOException {
        try {
            jtag.close();
        } catch (IOException e) {
            // After an unplug leaving the MPSSE mode fails; the controller is closed all the same.
        }
        device.close();
    }

    private SvfSummary play(String text) throws IOException {
        return new SvfPlayer(jtag).play(new StringReader(text.replace("; ", ";\n") + "\n"));
    }

    /**
     * Header bits reach the devices nearest TDO, trailer bits those nearest TDI: each row selects
     * one device's IDCODE or USERCODE with the others in BYPASS and compares what it captures.
     */
    @ParameterizedTest(name = "device {0}: {1}")
    @CsvSource(delimiter = '|', textBlock = """
        1 | HIR 12 TDI (FFF); HDR 2 TDI (0); TIR 0; TDR 0; SIR 6 TDI (09); SDR 32 TDI (0) TDO (1234A0F3)  | 9
        2 | HIR 8 TDI (FF); HDR 1 TDI (0); TIR 6 TDI (3F); TDR 1 TDI (0); SIR 4 TDI (F); SDR 1 TDI (1) TDO (0) | 15
        3 | HIR 0; HDR 0; TIR 10 TDI (3FF); TDR 2 TDI (0); SIR 8 TDI (FE); SDR 32 TDI (0) TDO (2B5C7A2D) | 254
        """)
    void shiftsTheHeaderFirstAndTheTrailerLast(int target, String statements, int instruction) throws IOException {
        SvfSummary summary = play("STATE RESET; " + statements + ";");

        assertEquals(instruction, chain.device(target - 1).instruction());
        for (int other = 0; other < 3; other++) {
            if (other != target - 1) {
                int ones = (1 << chain.device(other).model().irLength()) - 1;
                assertEquals(ones, chain.device(other).instruction(), "device " + (other + 1) + " in BYPASS");
            }
        }
        assertEquals(1, summary.compares());
    }

    /** The memory device's IDCODE 0x2B5C7A2D, compared under masks. */
    @ParameterizedTest(name = "TDO ({0}) MASK ({1})")
    @CsvSource(delimiter = '|', textBlock = """
        2B5C7A2F | FFFFFFFD | true
        2B5C7A2F | FFFFFFFF | false
        00000000 | 00000000 | true
        AB5C7A2D | 7FFFFFFF | true
        AB5C7A2D | 80000000 | false
        """)
    void comparesOnlyTheMaskedBits(String tdo, String mask, boolean matches) throws IOException {
        String file = "STATE RESET; TIR 10 TDI (3FF); TDR 2 TDI (0); SIR 8 TDI (FE);"
                + " SDR 32 TDI (0) TDO (" + tdo + ") MASK (" + mask + ");";
        if (matches) {
            assertEquals(1, play(file).compares());
            return;
        }
        SvfCompareException e = assertThrows(SvfCompareException.class, () -> play(file));
        assertEquals(5, e.line());
        assertEquals("02B5C7A2D", e.captured().toHex(), "the IDCODE, then two BYPASS bits: " + e.getMessage());
        assertEquals(mask, e.mask().toHex().substring(1), "the scan's mask, trailer bits 0");
        assertTrue(e.getMessage().contains("SVF line 5"), e.getMessage());
    }

    /** Bus time of a wait: the longer of the clock count and the minimum time, at the frequency set. */
    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', textBlock = """
        RUNTEST 2E-3 SEC                             | 2000
        RUNTEST IDLE 5000 TCK 1.0E-3 SEC             | 5000
        RUNTEST 100 TCK 3E-3 SEC MAXIMUM 1 SEC       | 3000
        RUNTEST RESET 4000 TCK ENDSTATE IDLE         | 4000
        """)
    void waitsTheLongerOfClocksAndTime(String runTest, long micros) throws IOException {
        play("STATE IDLE;");
        Duration before = adapter.busTime();
        play(runTest + ";");
        long waited = adapter.busTime().minus(before).toNanos() / 1000;
        // At 1 MHz one clock is a microsecond; moving into and out of the run state takes a few.
        assertTrue(waited >= micros && waited <= micros + 20, waited + " µs for " + micros);
    }

    /** Scans with waits and no compares, long enough for several streaming writes. */
    private static String longFile(int scans) {
        StringBuilder text = new StringBuilder("STATE IDLE;\n");
        for (int i = 0; i < scans; i++) {
            text.append("SDR 256 TDI (").append("0123456789ABCDEF".repeat(4)).append(");\nRUNTEST 100 TCK;\n");
        }
        return text.toString();
    }

    @Test
    void anUnplugEndsTheRunWithTheLineReached() {
        SvfPlayer player = new SvfPlayer(jtag).onProgress((statements, characters) -> {
            if (statements == 1024) {
                adapter.unplug();
            }
        });

        SvfPlayException e = assertThrows(SvfPlayException.class, () -> player.play(new StringReader(longFile(5_000))));
        assertTrue(e.line() > 1024 && e.line() <= 10_001, e.getMessage());
        assertTrue(e.getMessage().startsWith("SVF line " + e.line() + " reached: "), e.getMessage());
    }

    @Test
    void closingTheDeviceDuringARunEndsItWithAsynchronousClose() throws Exception {
        CountDownLatch started = new CountDownLatch(1);
        SvfPlayer player = new SvfPlayer(jtag).onProgress((statements, characters) -> started.countDown());
        FutureTask<SvfSummary> run = new FutureTask<>(() -> player.play(new StringReader(longFile(50_000))));
        new Thread(run).start();
        assertTrue(started.await(2, TimeUnit.MINUTES), "hang guard");
        device.close();

        ExecutionException e = assertThrows(ExecutionException.class, () -> run.get(2, TimeUnit.MINUTES));
        assertTrue(e.getCause() instanceof AsynchronousCloseException, String.valueOf(e.getCause()));
    }
}
