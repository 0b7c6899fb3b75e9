package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.channels.AsynchronousCloseException;
import java.time.Duration;
import java.util.List;
import java.util.OptionalInt;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.ExecutionException;
import java.util.concurrent.TimeUnit;
import java.util.stream.Stream;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Named;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/** Closing: once only, never with a call in the driver, and never leaving a stale handle in use. */
class FtdiDeviceClosingTest extends SimulatedDriverTestBase {

    /** Bounds a test that would otherwise hang on a bug; not a speed requirement. */
    private static final long HANG_GUARD_SECONDS = 120;

    private int simulated;
    private FtdiDevice device;

    @BeforeEach
    void openDevice() throws FtdiException {
        simulated = attach();
        device = FtdiDevice.openByIndex(0);
    }

    @AfterEach
    void closeDevice() throws FtdiException {
        device.close();
    }

    @FunctionalInterface
    interface Use {
        void apply(FtdiDevice device) throws Exception;
    }

    private static Arguments use(String name, Use use) {
        return Arguments.of(Named.of(name, use));
    }

    static Stream<Arguments> uses() {
        return Stream.of(
                use("setBaudRate", d -> d.setBaudRate(9600)),
                use("setDataCharacteristics", d -> d.setDataCharacteristics(DataBits.EIGHT, StopBits.ONE, Parity.NONE)),
                use("setFlowControl", d -> d.setFlowControl(FlowControl.NONE)),
                use("setReadTimeout", d -> d.setReadTimeout(Duration.ofSeconds(1))),
                use("setWriteTimeout", d -> d.setWriteTimeout(Duration.ofSeconds(1))),
                use("setLatencyTimer", d -> d.setLatencyTimer(Duration.ofMillis(2))),
                use("latencyTimer", FtdiDevice::latencyTimer),
                use("setUsbTransferSize", d -> d.setUsbTransferSize(64)),
                use("setSpecialCharacters", d -> d.setSpecialCharacters(OptionalInt.empty(), OptionalInt.empty())),
                use("setDtr", d -> d.setDtr(true)),
                use("setRts", d -> d.setRts(true)),
                use("setBreak", d -> d.setBreak(false)),
                use("purgeReceiveQueue", FtdiDevice::purgeReceiveQueue),
                use("purgeTransmitQueue", FtdiDevice::purgeTransmitQueue),
                use("reset", FtdiDevice::reset),
                use("modemStatus", FtdiDevice::modemStatus),
                use("bytesAvailable", FtdiDevice::bytesAvailable),
                use("driverVersion", FtdiDevice::driverVersion),
                use("comPort", FtdiDevice::comPort),
                use("read", d -> d.read(new byte[1], 0, 1)),
                use("write", d -> d.write(new byte[1], 0, 1)));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("uses")
    void useAfterCloseThrowsWithoutCallingTheDriver(Use use) throws FtdiException {
        device.close();
        int callsBefore = callsOfAllDriverFunctions();

        IllegalStateException error = assertThrows(IllegalStateException.class, () -> use.apply(device));

        assertEquals("Device 0 is closed", error.getMessage());
        assertEquals(callsBefore, callsOfAllDriverFunctions());
    }

    static Stream<Arguments> streamUses() {
        return Stream.of(
                use("read", d -> d.getInputStream().read()),
                use("available", d -> d.getInputStream().available()),
                use("write", d -> d.getOutputStream().write(1)));
    }

    /** Streams keep to java.io: a closed stream throws IOException. */
    @ParameterizedTest(name = "{0}")
    @MethodSource("streamUses")
    void streamUseAfterCloseThrowsIoException(Use use) throws FtdiException {
        device.close();
        IOException error = assertThrows(IOException.class, () -> use.apply(device));
        assertEquals("Device 0 is closed", error.getMessage());
    }

    @Test
    void closingAgainDoesNothing() throws IOException {
        device.close();
        device.close();
        device.getInputStream().close();
        assertEquals(1, calls("FT_Close"));
        assertFalse(device.isOpen());
        assertEquals("FtdiDevice[0, closed]", device.toString());
    }

    @Test
    void closingAStreamClosesTheDevice() throws IOException {
        device.getOutputStream().close();
        assertFalse(device.isOpen());
        assertFalse(SimulatedDriver.state(simulated).open());
    }

    @Test
    void closeFailureIsReportedAndTheDeviceStaysClosed() {
        SimulatedDriver.failNext("FT_Close", 4);
        FtdiException error = assertThrows(FtdiException.class, device::close);
        assertEquals("Closing", error.operation());
        assertFalse(device.isOpen());
    }

    /** Starts a read on another thread and returns once it waits inside the driver. */
    private CompletableFuture<Integer> readWaitingInTheDriver(Use setUp, ReadCall read) throws Exception {
        return readWaitingInTheDriver(setUp, read, 1);
    }

    /** Starts a read on another thread and returns once it waits in its n-th driver read. */
    private CompletableFuture<Integer> readWaitingInTheDriver(Use setUp, ReadCall read, int driverReads)
            throws Exception {
        setUp.apply(device);
        int readsBefore = calls("FT_Read");
        CompletableFuture<Integer> result = CompletableFuture.supplyAsync(() -> {
            try {
                return read.read(device);
            } catch (IOException e) {
                throw new java.util.concurrent.CompletionException(e);
            }
        });
        // The driver records a read as it starts waiting, under the lock that purge takes too.
        while (calls("FT_Read") < readsBefore + driverReads) {
            Thread.onSpinWait();
        }
        return result;
    }

    @FunctionalInterface
    interface ReadCall {
        int read(FtdiDevice device) throws IOException;
    }

    static Stream<Arguments> waitingReads() {
        ReadCall deviceRead = d -> d.read(new byte[10], 0, 10);
        ReadCall streamRead = d -> d.getInputStream().read(new byte[10]);
        Use noTimeout = d -> { };
        Use longTimeout = d -> d.setReadTimeout(Duration.ofHours(1));
        return Stream.of(
                Arguments.of(Named.of("device read without timeout", deviceRead), noTimeout),
                Arguments.of(Named.of("device read with a timeout of an hour", deviceRead), longTimeout),
                Arguments.of(Named.of("stream read without timeout", streamRead), noTimeout),
                Arguments.of(Named.of("stream read with a timeout of an hour", streamRead), longTimeout));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("waitingReads")
    void closeDuringAWaitingReadEndsTheReadBeforeTheHandleCloses(ReadCall read, Use setUp) throws Exception {
        CompletableFuture<Integer> waiting = readWaitingInTheDriver(setUp, read);

        device.close();

        ExecutionException error = assertThrows(ExecutionException.class,
                () -> waiting.get(HANG_GUARD_SECONDS, TimeUnit.SECONDS));
        // A read still in the driver at its close would have failed with FT_INVALID_HANDLE instead.
        assertInstanceOf(AsynchronousCloseException.class, error.getCause());
        assertEquals(1, calls("FT_Close"));
    }

    @Test
    void closeDuringAReadWithoutTimeoutReturnsTheBytesAlreadyRead() throws Exception {
        SimulatedDriver.inject(simulated, new byte[] {1, 2, 3});
        byte[] buffer = new byte[10];
        // The first waiting step ends with the 3 bytes there are; the second waits for the rest.
        CompletableFuture<Integer> waiting = readWaitingInTheDriver(d -> { }, d -> d.read(buffer, 0, 10), 2);

        device.close();

        assertEquals(3, waiting.get(HANG_GUARD_SECONDS, TimeUnit.SECONDS));
        assertEquals(List.of(1, 2, 3), List.of(buffer[0], buffer[1], buffer[2]).stream().map(Byte::intValue).toList());
    }

    @Test
    void unplugDuringAReadFailsTheReadWithAnIoError() throws Exception {
        CompletableFuture<Integer> waiting = readWaitingInTheDriver(d -> { }, d -> d.read(new byte[10], 0, 10));

        SimulatedDriver.unplug(simulated);

        ExecutionException error = assertThrows(ExecutionException.class,
                () -> waiting.get(HANG_GUARD_SECONDS, TimeUnit.SECONDS));
        FtdiException failure = assertInstanceOf(FtdiException.class, error.getCause());
        assertEquals(FtdiStatus.FT_IO_ERROR, failure.status());
        assertEquals("Reading 10 bytes", failure.operation());
        device.close();
        assertEquals(1, calls("FT_Close"));
    }

    @Test
    void callsRacingWithCloseEitherSucceedOrFindTheDeviceClosed() throws Exception {
        CompletableFuture<Throwable> caller = CompletableFuture.supplyAsync(() -> {
            try {
                for (;;) {
                    device.setDtr(true);
                    device.modemStatus();
                }
            } catch (IllegalStateException | FtdiException e) {
                return e;
            }
        });
        while (calls("FT_GetModemStatus") < 50) {
            Thread.onSpinWait();
        }

        device.close();

        Throwable end = caller.get(HANG_GUARD_SECONDS, TimeUnit.SECONDS);
        assertInstanceOf(IllegalStateException.class, end, "a driver call made with the closed handle");
        assertTrue(SimulatedDriver.state(simulated).dtr());
    }
}
