package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import java.io.IOException;
import java.nio.channels.AsynchronousCloseException;
import java.time.Duration;
import java.util.ArrayList;
import java.util.EnumMap;
import java.util.List;
import java.util.Map;
import java.util.Optional;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.concurrent.atomic.AtomicReference;
import nl.tamsel.ftdi.sim.JtagDeviceModel;
import nl.tamsel.ftdi.sim.Pin;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedJtagChain;
import nl.tamsel.ftdi.sim.SimulatedJtagDevice;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * The JTAG controller against simulated chains: the TAP table, chain scans (and TDO open or
 * shorted), instruction and data scans through several devices, waits counted in bus time, the
 * programmable memory's busy time, TRST*, and a device closed under a running batch.
 */
class JtagChainTest extends SimulatedDriverTestBase {

    /** The TAP table, state: next with TMS 0, next with TMS 1. */
    private static final Map<TapState, TapState[]> TABLE = new EnumMap<>(TapState.class);

    static {
        String[] rows = {
            "TEST_LOGIC_RESET RUN_TEST_IDLE TEST_LOGIC_RESET", "RUN_TEST_IDLE RUN_TEST_IDLE SELECT_DR_SCAN",
            "SELECT_DR_SCAN CAPTURE_DR SELECT_IR_SCAN", "CAPTURE_DR SHIFT_DR EXIT1_DR", "SHIFT_DR SHIFT_DR EXIT1_DR",
            "EXIT1_DR PAUSE_DR UPDATE_DR", "PAUSE_DR PAUSE_DR EXIT2_DR", "EXIT2_DR SHIFT_DR UPDATE_DR",
            "UPDATE_DR RUN_TEST_IDLE SELECT_DR_SCAN", "SELECT_IR_SCAN CAPTURE_IR TEST_LOGIC_RESET",
            "CAPTURE_IR SHIFT_IR EXIT1_IR", "SHIFT_IR SHIFT_IR EXIT1_IR", "EXIT1_IR PAUSE_IR UPDATE_IR",
            "PAUSE_IR PAUSE_IR EXIT2_IR", "EXIT2_IR SHIFT_IR UPDATE_IR", "UPDATE_IR RUN_TEST_IDLE SELECT_DR_SCAN"};
        for (String row : rows) {
            String[] names = row.split(" ");
            TABLE.put(TapState.valueOf(names[0]),
                    new TapState[] {TapState.valueOf(names[1]), TapState.valueOf(names[2])});
        }
    }

    private FtdiDevice device;

    @AfterEach
    void closeDevice() throws IOException {
        if (device != null) {
            device.close();
        }
    }

    private JtagController open(SimulatedJtagChain chain, JtagConfig config) throws IOException {
        device = FtdiDevice.openByIndex(chain.adapter().id());
        return device.jtag(config);
    }

    private static SimulatedJtagChain chain(List<JtagDeviceModel> models, Pin trst) {
        return chain(DeviceType.FT_DEVICE_232H, models, trst);
    }

    private static SimulatedJtagChain chain(DeviceType type, List<JtagDeviceModel> models, Pin trst) {
        SimulatedDevice adapter = SimulatedDevice.builder().type(type).loopback(false).attach();
        return adapter.attachJtagChain(models, trst);
    }

    private static SimulatedJtagChain demo() {
        return chain(SimulatedJtagChain.demoChain(), null);
    }

    /**
     * The enum's table, and the controller's walks as the chain follows them: a tour through every
     * state step by step, then in one walk and by goTo to each stable state. A jump is refused.
     */
    @Test
    void theTableAndTheControllersWalksAreTheChains() throws IOException {
        SimulatedJtagChain chain = demo();
        TABLE.forEach((from, next) -> {
            assertEquals(next[0], from.next(false), from + " with TMS 0");
            assertEquals(next[1], from.next(true), from + " with TMS 1");
        });
        TapState[] tour = {TapState.RUN_TEST_IDLE, TapState.SELECT_DR_SCAN, TapState.CAPTURE_DR, TapState.EXIT1_DR,
            TapState.PAUSE_DR, TapState.EXIT2_DR, TapState.SHIFT_DR, TapState.EXIT1_DR, TapState.UPDATE_DR,
            TapState.SELECT_DR_SCAN, TapState.SELECT_IR_SCAN, TapState.CAPTURE_IR, TapState.SHIFT_IR,
            TapState.EXIT1_IR, TapState.PAUSE_IR, TapState.EXIT2_IR, TapState.UPDATE_IR, TapState.SELECT_DR_SCAN,
            TapState.SELECT_IR_SCAN, TapState.TEST_LOGIC_RESET};
        try (JtagController jtag = open(chain, JtagConfig.builder().build())) {
            for (TapState state : tour) {
                jtag.walk(state);
                assertEquals(state, jtag.state());
                for (SimulatedJtagDevice simulated : chain.devices()) {
                    assertEquals(state.name(), simulated.state(), "device " + simulated.index());
                }
            }
            jtag.walk(tour);
            assertEquals("TEST_LOGIC_RESET", chain.device(2).state(), "the tour in one walk");
            for (TapState target : TapState.values()) {
                if (target.isStable()) {
                    jtag.goTo(target);
                    assertEquals(target.name(), chain.device(2).state(), "goTo " + target);
                }
            }
            jtag.goTo(TapState.RUN_TEST_IDLE);
            jtag.walk(TapState.SELECT_DR_SCAN, TapState.SELECT_IR_SCAN);
            IllegalArgumentException jump = assertThrows(IllegalArgumentException.class,
                    () -> jtag.walk(TapState.CAPTURE_IR, TapState.UPDATE_IR));
            assertTrue(jump.getMessage().contains("CAPTURE_IR to UPDATE_IR"), jump.getMessage());
            assertEquals(TapState.SELECT_IR_SCAN, jtag.state(), "a refused walk moves nothing");
        }
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource({"0x1234A0F3, 1, 0x79, 0x234A, 1", "0x2B5C7A2D, 11, 0x16, 0xB5C7, 2", "0x0BA00477, 5, 0x3B, 0xBA00, 0",
        "0xF0000001, 1, 0x00, 0x0000, 15"})
    void anIdcodeNamesItsManufacturerPartAndVersion(String value, int bank, String id, String part, int version) {
        IdCode code = new IdCode(Integer.parseUnsignedInt(value.substring(2), 16));
        assertEquals(bank, code.manufacturerBank());
        assertEquals(Integer.decode(id), code.manufacturerId());
        assertEquals(Integer.decode(part), code.part());
        assertEquals(version, code.version());
    }

    /** Chains of up to eight devices: IR lengths 2 to 32, with and without IDCODE. */
    @ParameterizedTest(name = "IR lengths {0}, IDCODE mask {1}")
    @CsvSource({"2, 0", "32, 1", "5 3, 2", "2 2 2 2 2 2 2 2, 0", "8 2 32 4 7 3 16 5, 0xA5", "4 4 4 4 4 4 4 4, 0xFF",
        "6 4 8, 5"})
    void chainsOfUpToEightDevicesAreFoundInOneRoundTrip(String irLengths, String idMask) throws IOException {
        String[] lengths = irLengths.split(" ");
        int mask = Integer.decode(idMask);
        List<JtagDeviceModel> models = new ArrayList<>();
        List<ChainDevice> expected = new ArrayList<>();
        int total = 0;
        for (int i = 0; i < lengths.length; i++) {
            int length = Integer.parseInt(lengths[i]);
            total += length;
            JtagDeviceModel.Builder model = JtagDeviceModel.builder(length);
            if ((mask >> i & 1) != 0) {
                int idcode = 0x00100001 | i << 28 | i << 12 | (i + 1) << 1;
                model.idcode(idcode);
                expected.add(new ChainDevice(i, Optional.of(new IdCode(idcode))));
            } else {
                expected.add(new ChainDevice(i, Optional.empty()));
            }
            models.add(model.build());
        }
        try (JtagController jtag = open(chain(models, null), JtagConfig.builder().clockHz(10_000_000).build())) {
            jtag.goTo(TapState.PAUSE_IR);
            int writes = calls("FT_Write");
            int reads = calls("FT_Read");
            ChainScan scan = jtag.scanChain();
            assertEquals(1, calls("FT_Write") - writes, "driver writes");
            assertEquals(1, calls("FT_Read") - reads, "driver reads");
            assertEquals(new ChainScan(ChainScan.Status.OK, expected, total), scan);
            assertEquals(TapState.TEST_LOGIC_RESET, jtag.state());
        }
    }

    @ParameterizedTest(name = "TDO {0}")
    @CsvSource({"open, TDO_OPEN", "low, TDO_SHORTED", "low with a chain, TDO_SHORTED", "wired to TDI, UNRECOGNISED"})
    void aTdoThatDoesNotAnswerIsReportedAsSuch(String tdo, ChainScan.Status status) throws IOException {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).loopback(false).attach();
        if (tdo.equals("low with a chain")) {
            adapter.attachJtagChain(SimulatedJtagChain.demoChain());
        }
        if (tdo.startsWith("low")) {
            adapter.drive(Pin.AD2, false);
        } else if (tdo.equals("wired to TDI")) {
            adapter.connect(Pin.AD1, Pin.AD2);
        }
        device = FtdiDevice.openByIndex(adapter.id());
        try (JtagController jtag = device.jtag(JtagConfig.builder().build())) {
            ChainScan scan = jtag.scanChain();
            assertEquals(new ChainScan(status, List.of(), 0), scan);
            assertTrue(scan.describe().startsWith("No chain"), scan.describe());
        }
    }

    /**
     * An instruction for each device (USERCODE in the first, BYPASS in the others), then the data
     * registers: the USERCODE comes out behind two bypass bits, and the instruction scan captures
     * each device's 01 pattern.
     */
    @Test
    void instructionAndDataScansReachEachDevice() throws IOException {
        SimulatedJtagChain chain = demo();
        try (JtagController jtag = open(chain, JtagConfig.builder().clockHz(3_000_000).build())) {
            // Bits 0-7 reach the device at TDO, 8-11 the middle one, 12-17 the one at TDI.
            byte[] captured = jtag.scanIr(18, bytes(0x3D << 12 | 0xF << 8 | 0xFF, 3), TapState.RUN_TEST_IDLE);
            assertArrayEquals(bytes(0x01 << 12 | 0x1 << 8 | 0x01, 3), captured, "capture patterns");
            assertEquals(0x3D, chain.device(0).instruction());
            assertEquals(0xF, chain.device(1).instruction());
            assertEquals(0xFF, chain.device(2).instruction());
            byte[] dr = jtag.scanDr(34, null, TapState.PAUSE_DR);
            assertArrayEquals(bytes(0xCAFE0001L << 2, 5), dr, "two bypass zeros, then USERCODE");
            assertEquals("PAUSE_DR", chain.device(0).state());
            // Back to IDCODE (or BYPASS) by reset.
            jtag.reset();
            assertEquals(0x09, chain.device(0).instruction());
        }
    }

    /**
     * Waits cost bus time and no round trip: the clocks counted, at the frequency set, and the
     * state held (TMS 1 in Test-Logic-Reset, 0 elsewhere). The FT2232D, without clock-only
     * commands, clocks TDI bits instead.
     */
    @ParameterizedTest(name = "{0}: {1} clocks, at least {2} us, at {3} Hz on the {4}")
    @CsvSource({"RUN_TEST_IDLE, 1000, 0, 1000000, FT_DEVICE_232H", "RUN_TEST_IDLE, 0, 2000, 1000000, FT_DEVICE_232H",
        "PAUSE_DR, 1, 0, 6000000, FT_DEVICE_232H", "PAUSE_IR, 7, 1, 6000000, FT_DEVICE_2232H",
        "TEST_LOGIC_RESET, 600000, 0, 30000000, FT_DEVICE_232H", "RUN_TEST_IDLE, 100, 500, 100000, FT_DEVICE_4232H",
        "RUN_TEST_IDLE, 524295, 0, 30000000, FT_DEVICE_232H", "RUN_TEST_IDLE, 1003, 0, 1000000, FT_DEVICE_2232C",
        "TEST_LOGIC_RESET, 300005, 0, 6000000, FT_DEVICE_2232C", "PAUSE_IR, 5, 0, 6000000, FT_DEVICE_2232C"})
    void waitsAreClockedOnTheBus(TapState in, long clocks, long micros, long hz, DeviceType type) throws IOException {
        SimulatedJtagChain chain = chain(type, SimulatedJtagChain.demoChain(), null);
        SimulatedDevice adapter = chain.adapter();
        try (JtagController jtag = open(chain, JtagConfig.builder().clockHz(hz).build())) {
            jtag.goTo(in);
            int writes = calls("FT_Write");
            int reads = calls("FT_Read");
            long expected = Math.max(clocks, micros * hz / 1_000_000);
            Duration before = adapter.busTime();
            // The TAP stays put: a runTest that starts and ends where it is moves nothing else.
            jtag.runTest(in, clocks, Duration.ofNanos(micros * 1000), in);
            Duration spent = adapter.busTime().minus(before);
            assertEquals(in.name(), chain.device(0).state(), "the TAP stayed");
            assertEquals(1, calls("FT_Write") - writes);
            assertEquals(0, calls("FT_Read") - reads);
            double nanos = expected * 1e9 / hz;
            assertTrue(spent.toNanos() >= Math.floor(nanos) && spent.toNanos() <= nanos + 4e9 / hz,
                    spent + " on the bus for " + expected + " clocks at " + hz + " Hz");
        }
    }

    /**
     * The memory is busy for 100 TCK clocks after each program: a batch that waits that long keeps
     * every word, one that waits less loses the programs that come while it is busy, and its
     * read-back shows it.
     */
    @ParameterizedTest(name = "wait {0} clocks or {1} us at {2} Hz: programmed {3}")
    @CsvSource({"100, 0, 1000000, true", "0, 100, 1000000, true", "50, 0, 1000000, false", "0, 100, 500000, false"})
    void aWaitTooShortMakesTheMemoryLoseItsProgram(long clocks, long micros, long hz, boolean programmed)
            throws IOException {
        SimulatedJtagChain chain = demo();
        int[] words = {0x1234, 0xABCD, 0x0F0F, 0x8001};
        List<byte[]> readBack = new ArrayList<>();
        try (JtagController jtag = open(chain, JtagConfig.builder().clockHz(hz).build())) {
            try (JtagBatch batch = jtag.batch()) {
                batch.writeIr(18, memoryIr(JtagDeviceModel.MEM_ENABLE), TapState.RUN_TEST_IDLE)
                        .writeIr(18, memoryIr(JtagDeviceModel.MEM_ERASE), TapState.RUN_TEST_IDLE)
                        .runTest(TapState.RUN_TEST_IDLE, JtagDeviceModel.DEFAULT_ERASE_CLOCKS, null,
                                TapState.RUN_TEST_IDLE)
                        .writeIr(18, memoryIr(JtagDeviceModel.MEM_PROGRAM), TapState.RUN_TEST_IDLE);
                for (int address = 0; address < words.length; address++) {
                    batch.writeDr(26, bytes(words[address] << 8 | address, 4), TapState.RUN_TEST_IDLE)
                            .runTest(TapState.RUN_TEST_IDLE, clocks, Duration.ofNanos(micros * 1000),
                                    TapState.RUN_TEST_IDLE);
                }
                batch.writeIr(18, memoryIr(JtagDeviceModel.MEM_READ), TapState.RUN_TEST_IDLE);
                for (int address = 0; address <= words.length; address++) {
                    batch.scanDr(26, bytes(address % words.length, 4), TapState.RUN_TEST_IDLE, readBack::add);
                }
                batch.writeIr(18, memoryIr(JtagDeviceModel.MEM_STATUS), TapState.RUN_TEST_IDLE);
                batch.scanDr(10, null, TapState.RUN_TEST_IDLE, readBack::add);
                assertEquals(List.of(), batch.execute());
            }
        }
        int[] memory = chain.device(2).memoryWords();
        boolean all = true;
        for (int address = 0; address < words.length; address++) {
            int word = value(readBack.get(address + 1)) >> 8 & 0xFFFF;
            assertEquals(memory[address], word, "read back " + address + " as the memory holds it");
            assertEquals(address, value(readBack.get(address + 1)) & 0xFF, "the read address");
            all &= word == words[address];
        }
        assertEquals(programmed, all, "every word programmed");
        int status = value(readBack.get(words.length + 1)) & 0xFF;
        assertEquals(programmed ? 0 : SimulatedJtagDevice.STATUS_ERROR, status & SimulatedJtagDevice.STATUS_ERROR,
                "the error flag");
        assertTrue((status & SimulatedJtagDevice.STATUS_ENABLED) != 0, "still enabled");
    }

    /** The demo chain's instruction register with the memory's instruction and the others BYPASS. */
    private static byte[] memoryIr(int instruction) {
        return bytes(0x3F << 12 | 0xF << 8 | instruction, 3);
    }

    @Test
    void trstHoldsTheChainInReset() throws IOException {
        SimulatedJtagChain chain = chain(SimulatedJtagChain.demoChain(), Pin.AC2);
        try (JtagController jtag = open(chain, JtagConfig.builder().trstPin(MpssePins.GPIOH0 + 2).build())) {
            jtag.writeIr(18, null, TapState.SHIFT_DR);
            assertEquals(0xFF, chain.device(2).instruction());
            jtag.setTrst(true);
            assertEquals(TapState.TEST_LOGIC_RESET, jtag.state());
            assertEquals("TEST_LOGIC_RESET", chain.device(2).state());
            assertEquals(0xFE, chain.device(2).instruction(), "IDCODE again");
            jtag.setTrst(false);
            jtag.writeIr(18, null, TapState.RUN_TEST_IDLE);
            assertEquals(0xFF, chain.device(2).instruction(), "released");
        }
    }

    /**
     * With adaptive clocking each TCK edge waits for RTCK (GPIOL3) to follow: wired back from TCK
     * the chain answers; left open, the engine waits and the call fails at the read timeout,
     * leaving the state unknown. GPIOL3 and TRST* are the controller's; other pins are free.
     */
    @ParameterizedTest(name = "RTCK wired to TCK: {0}")
    @ValueSource(booleans = {true, false})
    void adaptiveClockingWaitsForRtck(boolean wired) throws IOException {
        SimulatedJtagChain chain = chain(SimulatedJtagChain.demoChain(), Pin.AD4);
        if (wired) {
            chain.adapter().connect(Pin.AD0, Pin.AD7);
        }
        try (JtagController jtag = open(chain, JtagConfig.builder().adaptiveClocking(true).trstPin(4).build())) {
            IllegalArgumentException owned = assertThrows(IllegalArgumentException.class,
                    () -> jtag.pins().set(MpssePins.GPIOL3, true, true));
            assertTrue(owned.getMessage().contains("RTCK"), owned.getMessage());
            assertThrows(IllegalArgumentException.class, () -> jtag.pins().set(MpssePins.GPIOL0, true, true));
            if (wired) {
                assertEquals(ChainScan.Status.OK, jtag.scanChain().status());
                jtag.pins().set(MpssePins.GPIOL0 + 1, true, false);
            } else {
                assertThrows(FtdiException.class, jtag::scanChain);
                assertEquals(null, jtag.state(), "unknown after a failed transfer");
                assertThrows(IllegalStateException.class, () -> jtag.goTo(TapState.RUN_TEST_IDLE));
            }
        }
    }

    /**
     * Closing the device while batches stream: the running one ends with an
     * {@link AsynchronousCloseException}, whether the close came during a transfer or between two,
     * never hangs or fails otherwise, and the controller closes afterwards.
     */
    @ParameterizedTest(name = "close after {0} captures")
    @CsvSource({"1", "40", "400"})
    void closingTheDeviceEndsARunningBatch(int captures) throws Exception {
        SimulatedJtagChain chain = demo();
        JtagController jtag = open(chain, JtagConfig.builder().clockHz(30_000_000).build());
        jtag.mpsse.port.setReplyBound(256);
        CountDownLatch reached = new CountDownLatch(1);
        AtomicInteger seen = new AtomicInteger();
        AtomicReference<Throwable> ended = new AtomicReference<>();
        Thread worker = new Thread(() -> {
            try {
                for (int round = 0; round < 1000; round++) {
                    try (JtagBatch batch = jtag.batch()) {
                        for (int i = 0; i < 500; i++) {
                            batch.scanDr(66, null, TapState.RUN_TEST_IDLE, tdo -> {
                                if (seen.incrementAndGet() == captures) {
                                    reached.countDown();
                                }
                            });
                        }
                        batch.execute();
                    }
                }
                ended.set(new AssertionError("the batches ran to the end"));
            } catch (Throwable e) {
                ended.set(e);
            }
        });
        worker.start();
        assertTrue(reached.await(120, TimeUnit.SECONDS), "captures came");
        device.close();
        worker.join(TimeUnit.SECONDS.toMillis(120));
        assertFalse(worker.isAlive(), "the batch ended");
        Throwable e = ended.get();
        if (!(e instanceof AsynchronousCloseException)) {
            fail("the batch ended with " + e, e);
        }
        jtag.close();
    }

    private static byte[] bytes(long value, int count) {
        byte[] bytes = new byte[count];
        for (int i = 0; i < count; i++) {
            bytes[i] = (byte) (value >>> 8 * i);
        }
        return bytes;
    }

    private static int value(byte[] bytes) {
        int value = 0;
        for (int i = Math.min(bytes.length, 4) - 1; i >= 0; i--) {
            value = value << 8 | bytes[i] & 0xFF;
        }
        return value;
    }
}
