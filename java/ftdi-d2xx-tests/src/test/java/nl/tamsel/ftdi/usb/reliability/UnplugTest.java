package nl.tamsel.ftdi.usb.reliability;

import static nl.tamsel.ftdi.usb.D2XXConstants.FT_DEVICE_NOT_FOUND;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_INVALID_HANDLE;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_IO_ERROR;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.Arrays;
import java.util.Random;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import java.util.function.LongToIntFunction;
import java.util.stream.Stream;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.usb.D2XX;
import nl.tamsel.ftdi.usb.DeviceInfo;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/**
 * A device pulled out while a read waits for it, while writes go to it, and between two calls:
 * every call on its handle then fails with FT_IO_ERROR, nothing is copied, the handle still
 * closes, and the bytes the driver took before are exactly those it acknowledged.
 */
class UnplugTest {

    private static final String SERIAL = "UNPLUG1";
    private static final int LOCATION = 0x400;
    /**
     * Bounds a wait for the driver that would otherwise be endless if unplugging failed to end it:
     * a hang guard only, at 1 ms or more a poll, generous for a loaded machine under emulation.
     */
    private static final int MAX_POLLS = 120_000;

    private final ExecutorService executor = Executors.newSingleThreadExecutor();
    private int device;
    private long handle;

    @BeforeEach
    void openLoopbackDevice() {
        SimulatedDriver.reset();
        device = LoopbackDevices.attach(SERIAL, LOCATION);
        handle = LoopbackDevices.open(SERIAL);
    }

    @AfterEach
    void stopExecutor() {
        executor.shutdownNow();
    }

    @Test
    void blockedReadEndsWithIoErrorAndCopiesNothing() throws Exception {
        // The read asks for more than is there and waits up to a minute for the rest.
        assertEquals(0, D2XX.setTimeouts(handle, 60_000, 1000));
        SimulatedDriver.inject(device, new byte[10]);
        byte[] buffer = new byte[100];
        Arrays.fill(buffer, (byte) 0x5A);
        Future<Integer> read = executor.submit(() -> D2XX.read(handle, buffer, 0, 100));
        // The driver records the call before it waits, and its lock is free only once it waits.
        awaitCalls("FT_Read", 1);

        SimulatedDriver.unplug(device);

        assertEquals(-FT_IO_ERROR, read.get(60, TimeUnit.SECONDS));
        byte[] untouched = new byte[100];
        Arrays.fill(untouched, (byte) 0x5A);
        assertArrayEquals(untouched, buffer);
        assertClosesOnceThenInvalid();
    }

    @Test
    void writesRacingAnUnplugEitherCompleteOrFailAndNoAcknowledgedByteIsLost() throws Exception {
        SimulatedDriver.setLoopback(device, false);
        CheckedStream stream = new CheckedStream(7);
        Future<Long> writer = executor.submit(() -> {
            Random random = new Random(7);
            byte[] buffer = new byte[1024];
            long acknowledged = 0;
            while (true) {
                int length = CheckedStream.chunk(random, Long.MAX_VALUE);
                stream.fill(buffer, 0, length, acknowledged);
                int written = D2XX.write(handle, buffer, 0, length);
                if (written < 0) {
                    assertEquals(-FT_IO_ERROR, written);
                    return acknowledged;
                }
                assertEquals(length, written);
                acknowledged += written;
            }
        });
        awaitCalls("FT_Write", 50);

        SimulatedDriver.unplug(device);

        long acknowledged = writer.get(60, TimeUnit.SECONDS);
        // The writer runs until the unplug, which a busy machine may delay past the 16 MiB the
        // log keeps: the driver's total counts every byte, the log holds their beginning.
        assertEquals(acknowledged, SimulatedDriver.writtenTotal(device), "bytes the driver took versus bytes it acknowledged");
        byte[] taken = SimulatedDriver.takeWritten(device);
        assertTrue(taken.length <= acknowledged, "the log holds more than was acknowledged");
        stream.check(taken, 0, taken.length, 0);
        assertEquals(-FT_IO_ERROR, D2XX.write(handle, new byte[1], 0, 1));
        assertClosesOnceThenInvalid();
    }

    static Stream<Arguments> callsOnAnOpenHandle() {
        byte[] buffer = new byte[300];
        return Stream.of(
                Arguments.of("getDriverVersion", (LongToIntFunction) D2XX::getDriverVersion),
                Arguments.of("getComPortNumber", (LongToIntFunction) D2XX::getComPortNumber),
                Arguments.of("getModemStatus", (LongToIntFunction) D2XX::getModemStatus),
                Arguments.of("getQueueStatus", (LongToIntFunction) D2XX::getQueueStatus),
                Arguments.of("getLatencyTimer", (LongToIntFunction) D2XX::getLatencyTimer),
                Arguments.of("reset", (LongToIntFunction) D2XX::reset),
                Arguments.of("read", (LongToIntFunction) h -> D2XX.read(h, buffer, 0, 10)),
                Arguments.of("write", (LongToIntFunction) h -> D2XX.write(h, buffer, 0, 300)),
                Arguments.of("setBaudrate", (LongToIntFunction) h -> D2XX.setBaudrate(h, 9600)),
                Arguments.of("setDataCharacteristics", (LongToIntFunction) h -> D2XX.setDataCharacteristics(h, 8, 0, 0)),
                Arguments.of("setTimeouts", (LongToIntFunction) h -> D2XX.setTimeouts(h, 10, 10)),
                Arguments.of("setFlowControl", (LongToIntFunction) h -> D2XX.setFlowControl(h, 0)),
                Arguments.of("setChars", (LongToIntFunction) h -> D2XX.setChars(h, (byte) 1, true, (byte) 2, true)),
                Arguments.of("setDTR", (LongToIntFunction) h -> D2XX.setDTR(h, true)),
                Arguments.of("setRTS", (LongToIntFunction) h -> D2XX.setRTS(h, false)),
                Arguments.of("setBreak", (LongToIntFunction) h -> D2XX.setBreak(h, true)),
                Arguments.of("purge", (LongToIntFunction) h -> D2XX.purge(h, 3)),
                Arguments.of("setLatencyTimer", (LongToIntFunction) h -> D2XX.setLatencyTimer(h, 2)),
                Arguments.of("setUSBParameters", (LongToIntFunction) h -> D2XX.setUSBParameters(h, 64)));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("callsOnAnOpenHandle")
    void everyCallBetweenUnplugAndCloseFailsWithIoError(String name, LongToIntFunction call) {
        SimulatedDriver.unplug(device);

        assertEquals(-FT_IO_ERROR, call.applyAsInt(handle));
        assertEquals(0, D2XX.createDeviceInfoList().length, "an unplugged device is not listed");
        assertEquals(-FT_DEVICE_NOT_FOUND, D2XX.openBySerialNumber(SERIAL));
        assertClosesOnceThenInvalid();
        assertEquals(-FT_INVALID_HANDLE, call.applyAsInt(handle), "after close");
    }

    @Test
    void pluggedBackInItOpensAfreshWhileTheOldHandleStaysDead() {
        SimulatedDriver.unplug(device);
        int again = LoopbackDevices.attach(SERIAL, LOCATION);

        long fresh = LoopbackDevices.open(SERIAL);

        DeviceInfo[] list = D2XX.createDeviceInfoList();
        assertEquals(1, list.length);
        assertEquals(fresh, list[0].handle());
        assertTrue(fresh != handle, "a new handle");
        assertEquals(-FT_IO_ERROR, D2XX.getQueueStatus(handle));
        byte[] echo = {1, 2, 3};
        assertEquals(3, D2XX.write(fresh, echo, 0, 3));
        assertEquals(3, D2XX.read(fresh, new byte[3], 0, 3));
        assertEquals(0, D2XX.close(fresh));
        assertEquals(0L, SimulatedDriver.handleOf(again));
        assertClosesOnceThenInvalid();
    }

    private void assertClosesOnceThenInvalid() {
        assertEquals(0, D2XX.close(handle), "an unplugged device's handle still closes");
        assertEquals(-FT_INVALID_HANDLE, D2XX.close(handle));
    }

    private static void awaitCalls(String function, int calls) throws InterruptedException {
        for (int poll = 0; SimulatedDriver.callCount(function) < calls; poll++) {
            assertTrue(poll < MAX_POLLS, function + " was not called " + calls + " times");
            Thread.sleep(1);
        }
    }
}
