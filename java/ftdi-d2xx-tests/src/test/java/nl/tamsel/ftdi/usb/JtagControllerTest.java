package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.util.ArrayList;
import java.util.List;
import java.util.stream.Stream;
import nl.tamsel.ftdi.sim.Pin;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.MethodSource;

/**
 * The JTAG controller's bit handling and round trips, with TDI wired to TDO: every bit a scan
 * shifts out comes back as its captured bit, so any misplaced, lost or doubled bit shows.
 */
class JtagControllerTest extends SimulatedDriverTestBase {

    private FtdiDevice device;

    private JtagController wired(DeviceType type, JtagConfig config) throws IOException {
        SimulatedDevice adapter = SimulatedDevice.builder().type(type).loopback(false).attach();
        adapter.connect(Pin.AD1, Pin.AD2);
        device = FtdiDevice.openByIndex(adapter.id());
        return device.jtag(config);
    }

    private JtagController wired() throws IOException {
        return wired(DeviceType.FT_DEVICE_232H, JtagConfig.builder().clockHz(6_000_000).build());
    }

    @org.junit.jupiter.api.AfterEach
    void closeDevice() throws IOException {
        if (device != null) {
            device.close();
        }
    }

    /** Lengths around byte edges, both registers, every way a scan can end. */
    static Stream<Arguments> scans() {
        List<Arguments> cases = new ArrayList<>();
        int[] lengths = {1, 2, 7, 8, 9, 15, 16, 17, 63, 64, 65, 1000};
        TapState[] ends = {TapState.RUN_TEST_IDLE, TapState.PAUSE_DR, TapState.PAUSE_IR, TapState.TEST_LOGIC_RESET,
            TapState.SHIFT_DR, TapState.SHIFT_IR};
        for (int i = 0; i < lengths.length; i++) {
            cases.add(Arguments.of(i % 2 == 0, lengths[i], ends[i % ends.length]));
            cases.add(Arguments.of(i % 2 != 0, lengths[i], ends[(i + 3) % ends.length]));
        }
        return cases.stream();
    }

    @ParameterizedTest(name = "IR {0}, {1} bits, ending in {2}")
    @MethodSource("scans")
    void aScanCapturesEachBitItShifts(boolean ir, int bits, TapState end) throws IOException {
        try (JtagController jtag = wired()) {
            byte[] tdi = masked(pattern((bits + 7) / 8, bits), bits);
            int writes = calls("FT_Write");
            int reads = calls("FT_Read");
            byte[] tdo = ir ? jtag.scanIr(bits, tdi, end) : jtag.scanDr(bits, tdi, end);
            assertArrayEquals(tdi, tdo, "captured bits");
            assertEquals(end, jtag.state());
            assertEquals(1, calls("FT_Write") - writes, "driver writes");
            assertEquals(1, calls("FT_Read") - reads, "driver reads");
            assertEquals(replyBytes(bits, end == (ir ? TapState.SHIFT_IR : TapState.SHIFT_DR)),
                    lastArgs("FT_Read")[2], "bytes asked of the one read");
            // A null TDI shifts ones.
            byte[] ones = ir ? jtag.scanIr(bits, null, end) : jtag.scanDr(bits, null, end);
            assertArrayEquals(masked(filled(tdi.length, 0xFF), bits), ones, "ones for a null TDI");
            reads = calls("FT_Read");
            if (ir) {
                jtag.writeIr(bits, tdi, end);
            } else {
                jtag.writeDr(bits, null, end);
            }
            assertEquals(reads, calls("FT_Read"), "a write reads nothing back");
        }
    }

    /** Reply bytes of a scan: its whole bytes, a bit command's byte, and the last bit's byte. */
    private static long replyBytes(int bits, boolean staysInShift) {
        int data = staysInShift ? bits : bits - 1;
        return data / 8 + (data % 8 > 0 ? 1 : 0) + (staysInShift ? 0 : 1);
    }

    /**
     * IR and DR scans in turn, every other one with a callback: within the reply bound the batch
     * makes one read; beyond it, it reads while it builds, and beyond the write limit it writes:
     * 1 + replies / bound reads and 1 + commands / limit writes, every bit still in place, the
     * callbacks in order and the other captures returned in order.
     */
    @ParameterizedTest(name = "{0} scans of {1} bits, reply bound {2}")
    @CsvSource({"2000, 64, 65536", "1, 600000, 65536", "300, 4000, 65536", "40, 4000, 4096", "1, 100000, 1024"})
    void aLongBatchStreamsWithinTheReplyBound(int scans, int bits, int bound) throws IOException {
        try (JtagController jtag = wired()) {
            jtag.mpsse.port.setReplyBound(bound);
            int writes = calls("FT_Write");
            int reads = calls("FT_Read");
            List<byte[]> sent = new ArrayList<>();
            List<byte[]> called = new ArrayList<>();
            List<byte[]> returned;
            long commandBytes;
            try (JtagBatch batch = jtag.batch()) {
                for (int i = 0; i < scans; i++) {
                    byte[] tdi = masked(pattern((bits + 7) / 8, i * 31 + 5), bits);
                    sent.add(tdi);
                    if (i % 2 == 0) {
                        batch.scanDr(bits, tdi, TapState.PAUSE_DR, called::add);
                    } else {
                        batch.scanIr(bits, tdi, TapState.RUN_TEST_IDLE);
                    }
                }
                commandBytes = batch.commandBytes();
                returned = batch.execute();
            }
            long replyBytes = (long) scans * replyBytes(bits, false);
            assertEquals(sent.size(), called.size() + returned.size());
            for (int i = 0; i < sent.size(); i++) {
                assertArrayEquals(sent.get(i), (i % 2 == 0 ? called : returned).get(i / 2), "scan " + i);
            }
            int readsMade = calls("FT_Read") - reads;
            assertTrue(readsMade >= (replyBytes + bound - 1) / bound && readsMade <= 1 + replyBytes / bound,
                    readsMade + " reads for " + replyBytes + " reply bytes");
            assertTrue(lastArgs("FT_Read")[2] <= bound, "no read asks more than the bound");
            assertTrue(calls("FT_Write") - writes <= 1 + (replyBytes + bound - 1) / bound
                    + commandBytes / JtagBatch.WRITE_LIMIT, "driver writes");
        }
    }

    @Test
    void theFrequencySetIsTheHighestNotAboveTheWish() throws IOException {
        try (JtagController jtag = wired(DeviceType.FT_DEVICE_232H, JtagConfig.builder().clockHz(7_000_000).build())) {
            assertEquals(6_000_000, jtag.clockHz(), "60 MHz / 10");
            assertEquals(30_000_000, jtag.setClockHz(100_000_000), "the fastest for a wish above it");
            assertEquals(1_000_000, jtag.setClockHz(1_000_000));
            assertEquals(457, jtag.setClockHz(457), "60 MHz / 131072 is the slowest");
            assertThrows(IllegalArgumentException.class, () -> jtag.setClockHz(456));
            assertEquals(457, jtag.clockHz(), "a refused wish changes nothing");
        }
    }

    /** Wrong arguments are refused before anything is sent, with a message naming the fault. */
    static Stream<Arguments> refusals() {
        return Stream.of(
                Arguments.of("no bits", (Call) jtag -> jtag.scanDr(0, null, TapState.RUN_TEST_IDLE), "1 or more"),
                Arguments.of("short TDI", (Call) jtag -> jtag.scanIr(17, new byte[2], TapState.RUN_TEST_IDLE),
                        "needs 3 TDI bytes"),
                Arguments.of("unstable end", (Call) jtag -> jtag.scanDr(8, null, TapState.EXIT1_DR), "stable"),
                Arguments.of("goTo unstable", (Call) jtag -> jtag.goTo(TapState.UPDATE_IR), "stable"),
                Arguments.of("wait in shift", (Call) jtag -> jtag.runTest(TapState.SHIFT_DR, 5, null,
                        TapState.RUN_TEST_IDLE), "shift state"),
                Arguments.of("negative wait", (Call) jtag -> jtag.runTest(TapState.RUN_TEST_IDLE, -1, null,
                        TapState.RUN_TEST_IDLE), "0 or more"),
                Arguments.of("no TRST pin", (Call) jtag -> jtag.setTrst(true), "No TRST"));
    }

    @FunctionalInterface
    interface Call {
        void on(JtagController jtag) throws IOException;
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("refusals")
    void wrongArgumentsAreRefusedAndSendNothing(String name, Call call, String message) throws IOException {
        try (JtagController jtag = wired()) {
            int writes = calls("FT_Write");
            RuntimeException e = assertThrows(RuntimeException.class, () -> call.on(jtag));
            assertTrue(e instanceof IllegalArgumentException || e instanceof IllegalStateException, e.toString());
            assertTrue(e.getMessage().contains(message), e.getMessage());
            assertEquals(0, calls("FT_Write") - writes, "nothing sent");
            jtag.goTo(TapState.RUN_TEST_IDLE);
            assertEquals(TapState.RUN_TEST_IDLE, jtag.state(), "the controller is still usable");
        }
    }

    @Test
    void configurationsAreChecked() throws IOException {
        assertThrows(IllegalArgumentException.class, () -> JtagConfig.builder().trstPin(3).build());
        assertThrows(IllegalArgumentException.class,
                () -> JtagConfig.builder().trstPin(7).adaptiveClocking(true).build());
        assertThrows(IllegalArgumentException.class, () -> JtagConfig.builder().clockHz(0).build());
        // The FT2232D has no RTCK and no GPIOH4..7.
        assertThrows(IllegalArgumentException.class, () -> wired(DeviceType.FT_DEVICE_2232C,
                JtagConfig.builder().adaptiveClocking(true).build()));
        device.close();
        IllegalArgumentException missing = assertThrows(IllegalArgumentException.class, () -> wired(
                DeviceType.FT_DEVICE_2232C, JtagConfig.builder().trstPin(13).build()));
        assertTrue(missing.getMessage().contains("no MPSSE pin 13"), missing.getMessage());
        // The pins came back: another function may take them.
        device.spiMaster(SpiConfig.builder().build()).close();
    }

    @Test
    void theControllerOwnsItsPinsAndABatchHoldsIt() throws IOException {
        try (JtagController jtag = wired()) {
            IllegalStateException taken = assertThrows(IllegalStateException.class,
                    () -> device.spiMaster(SpiConfig.builder().build()));
            assertTrue(taken.getMessage().contains("JtagController"), taken.getMessage());
            long hz = jtag.clockHz();
            try (JtagBatch batch = jtag.batch()) {
                batch.goTo(TapState.PAUSE_IR);
                batch.setClockHz(1000);
                assertThrows(IllegalStateException.class, () -> jtag.scanDr(8, null, TapState.RUN_TEST_IDLE),
                        "the batch's thread cannot call around it");
            }
            assertEquals(TapState.TEST_LOGIC_RESET, jtag.state(), "a batch closed unexecuted sent nothing");
            assertEquals(hz, jtag.clockHz(), "nor set the frequency");
            jtag.close();
            assertThrows(IllegalStateException.class, () -> jtag.goTo(TapState.RUN_TEST_IDLE));
        }
    }

    private static byte[] masked(byte[] bytes, int bits) {
        if (bits % 8 != 0) {
            bytes[bytes.length - 1] &= (byte) ((1 << bits % 8) - 1);
        }
        return bytes;
    }
}
