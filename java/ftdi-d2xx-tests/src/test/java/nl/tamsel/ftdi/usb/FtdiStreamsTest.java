package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.io.InputStream;
import java.io.InterruptedIOException;
import java.io.OutputStream;
import java.net.SocketTimeoutException;
import java.time.Duration;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.CompletionException;
import java.util.concurrent.TimeUnit;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/** The stream views: java.io semantics over the driver's reads and writes. */
class FtdiStreamsTest extends SimulatedDriverTestBase {

    /** Bounds a test that would otherwise hang on a bug; not a speed requirement. */
    private static final long HANG_GUARD_SECONDS = 20;

    private int simulated;
    private FtdiDevice device;
    private InputStream in;
    private OutputStream out;

    @BeforeEach
    void openDevice() throws FtdiException {
        simulated = attach();
        SimulatedDriver.setLoopback(simulated, false);
        device = FtdiDevice.openByIndex(0);
        in = device.getInputStream();
        out = device.getOutputStream();
    }

    @AfterEach
    void closeDevice() throws FtdiException {
        device.close();
    }

    @Test
    void singleByteReadsReturnUnsignedValues() throws IOException {
        SimulatedDriver.inject(simulated, new byte[] {(byte) 0xFF, 0, (byte) 0x80, 0x7F});
        assertEquals(List.of(255, 0, 128, 127), List.of(in.read(), in.read(), in.read(), in.read()));
    }

    @Test
    void readReturnsTheBytesThereAreWithoutWaitingToFillTheBuffer() throws IOException {
        device.setReadTimeout(Duration.ofHours(1));
        SimulatedDriver.inject(simulated, new byte[] {1, 2, 3});
        byte[] buffer = new byte[100];

        assertEquals(3, in.read(buffer, 10, 90));

        assertArrayEquals(new byte[] {0, 1, 2, 3, 0}, Arrays.copyOfRange(buffer, 9, 14));
    }

    @Test
    void readWaitsForTheFirstByteThenTakesWhatHasArrived() throws Exception {
        int readsBefore = calls("FT_Read");
        byte[] buffer = new byte[8];
        CompletableFuture<Integer> reading = CompletableFuture.supplyAsync(() -> {
            try {
                return in.read(buffer);
            } catch (IOException e) {
                throw new CompletionException(e);
            }
        });
        while (calls("FT_Read") == readsBefore) {
            Thread.onSpinWait();
        }

        SimulatedDriver.inject(simulated, new byte[] {5, 6, 7});

        assertEquals(3, reading.get(HANG_GUARD_SECONDS, TimeUnit.SECONDS));
        assertArrayEquals(new byte[] {5, 6, 7}, Arrays.copyOf(buffer, 3));
    }

    @Test
    void readWithNothingArrivingEndsAtTheReadTimeoutLikeASocket() throws FtdiException {
        device.setReadTimeout(Duration.ofMillis(30));

        SocketTimeoutException timeout = assertThrows(SocketTimeoutException.class, in::read);

        assertTrue(timeout.getMessage().contains("within the read timeout of 30 ms"), timeout.getMessage());
        assertEquals(30, lastArgs("FT_SetTimeouts")[1], "the driver waits the timeout itself");
    }

    @Test
    void availableIsTheReceiveQueueFill() throws IOException {
        assertEquals(0, in.available());
        SimulatedDriver.inject(simulated, new byte[5]);
        assertEquals(5, in.available());
    }

    @Test
    void deviceReadWaitsForAllBytesUntilTheTimeout() throws IOException {
        device.setReadTimeout(Duration.ofMillis(30));
        SimulatedDriver.inject(simulated, new byte[] {9, 8});
        byte[] buffer = new byte[4];

        assertEquals(2, device.read(buffer, 0, 4));
        assertEquals(0, device.read(buffer, 0, 4));
        assertEquals(4, lastArgs("FT_Read")[2], "one driver read asks for all bytes");
    }

    @Test
    void writeContinuesAfterAShortCountUntilAllBytesAreWritten() throws IOException {
        byte[] message = pattern(10, 3);
        SimulatedDriver.reportNextCount("FT_Write", 3);

        out.write(message);

        assertArrayEquals(message, SimulatedDriver.takeWritten(simulated));
        assertEquals(2, calls("FT_Write"));
        assertEquals(7, lastArgs("FT_Write")[2], "the second write carries the rest");
    }

    @Test
    void writeThatTheDeviceTakesNothingOfWithinTheTimeoutIsInterrupted() throws IOException {
        device.setWriteTimeout(Duration.ofMillis(100));
        SimulatedDriver.reportNextCount("FT_Write", 0);

        InterruptedIOException timeout = assertThrows(InterruptedIOException.class, () -> out.write(pattern(10, 1)));

        assertEquals(0, timeout.bytesTransferred);
        assertTrue(timeout.getMessage().contains("0 of 10 bytes were written"), timeout.getMessage());
        assertEquals(1, calls("FT_Write"));
    }

    @Test
    void writeWithoutTimeoutKeepsTryingAfterNothingWasTaken() throws IOException {
        SimulatedDriver.reportNextCount("FT_Write", 0);
        out.write(pattern(10, 1));
        assertArrayEquals(pattern(10, 1), SimulatedDriver.takeWritten(simulated));
    }

    @Test
    void singleByteWriteSendsTheLowEightBits() throws IOException {
        out.write(0x1FF);
        assertArrayEquals(new byte[] {(byte) 0xFF}, SimulatedDriver.takeWritten(simulated));
    }

    @ParameterizedTest
    @ValueSource(ints = {-1, 5})
    void regionOutsideTheArrayIsRefusedBeforeTheDriverSeesIt(int offset) {
        int callsBefore = callsOfAllDriverFunctions();
        byte[] buffer = new byte[8];
        assertThrows(IndexOutOfBoundsException.class, () -> in.read(buffer, offset, 4));
        assertThrows(IndexOutOfBoundsException.class, () -> out.write(buffer, offset, 4));
        assertThrows(IndexOutOfBoundsException.class, () -> device.read(buffer, offset, 4));
        assertEquals(callsBefore, callsOfAllDriverFunctions());
    }

    @Test
    void loopedBackBytesComeBackThroughTheStreams() throws IOException {
        SimulatedDriver.setLoopback(simulated, true);
        byte[] message = pattern(1000, 7);

        out.write(message);

        assertArrayEquals(message, in.readNBytes(message.length));
    }
}
