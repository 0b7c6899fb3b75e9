package nl.tamsel.ftdi.usb.reliability;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.channels.AsynchronousCloseException;
import java.time.Duration;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.concurrent.atomic.AtomicReference;
import java.util.stream.Stream;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.usb.FtdiDevice;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/**
 * Closing an {@link FtdiDevice} while several threads wait in the driver, in reads that no byte
 * arrives for or in writes to a device whose flow control holds the line, with and without
 * timeouts, the waiting threads interrupted meanwhile: close must end every waiting call with
 * {@link AsynchronousCloseException}, keep their interrupt status, and let no call reach the
 * driver with the closed handle.
 */
class FtdiDeviceBlockedCloseTest {

    private static final int WAITERS = 3;
    /** Bounds a hung test; generous for a loaded 2-core machine, and no speed is measured. */
    private static final Duration DEADLOCK_BOUND = Duration.ofSeconds(60);

    private int simulated;
    private FtdiDevice device;

    @BeforeEach
    void openDevice() throws IOException {
        SimulatedDriver.reset();
        SimulatedDriver.setHandleReuse(true);
        simulated = LoopbackDevices.attach("BLOCKED", 0x400);
        device = FtdiDevice.openBySerialNumber("BLOCKED");
    }

    @AfterEach
    void resetDriver() throws IOException {
        device.close();
        SimulatedDriver.reset();
    }

    @FunctionalInterface
    interface Waiting {
        void call(FtdiDevice device) throws IOException;
    }

    static Stream<Arguments> waitingCalls() {
        Waiting read = d -> d.read(new byte[8], 0, 8);
        Waiting streamRead = d -> d.getInputStream().read(new byte[8]);
        Waiting write = d -> d.write(new byte[] {1, 2, 3}, 0, 3);
        Waiting streamWrite = d -> d.getOutputStream().write(new byte[] {1, 2, 3});
        List<Arguments> cases = new ArrayList<>();
        for (Duration timeout : List.of(Duration.ZERO, Duration.ofHours(1))) {
            String after = timeout.isZero() ? "without timeout" : "with a timeout of an hour";
            cases.add(Arguments.of("read " + after, "FT_Read", read, timeout));
            cases.add(Arguments.of("stream read " + after, "FT_Read", streamRead, timeout));
            cases.add(Arguments.of("write " + after, "FT_Write", write, timeout));
            cases.add(Arguments.of("stream write " + after, "FT_Write", streamWrite, timeout));
        }
        return cases.stream();
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("waitingCalls")
    void closeEndsEveryWaitingCall(String name, String function, Waiting waiting, Duration timeout) throws Exception {
        device.setReadTimeout(timeout);
        device.setWriteTimeout(timeout);
        SimulatedDriver.setWritesStalled(simulated, true);
        int callsBefore = SimulatedDriver.callCount(function);
        BoundedThreads threads = new BoundedThreads();
        List<AtomicReference<Throwable>> endings = new ArrayList<>();
        List<Thread> waiters = new ArrayList<>();
        for (int w = 0; w < WAITERS; w++) {
            AtomicReference<Throwable> ending = new AtomicReference<>();
            endings.add(ending);
            waiters.add(threads.start(name + " " + w, () -> {
                try {
                    waiting.call(device);
                    ending.set(new AssertionError("the call returned"));
                } catch (IOException | RuntimeException e) {
                    ending.set(e);
                }
                assertTrue(Thread.currentThread().isInterrupted(), "the call cleared the interrupt status");
            }));
        }
        // The driver counts a call before it waits, under the lock that close's purge takes too.
        while (SimulatedDriver.callCount(function) < callsBefore + WAITERS) {
            Thread.onSpinWait();
        }
        waiters.forEach(Thread::interrupt);
        threads.start("closer", device::close);
        threads.joinAll(DEADLOCK_BOUND);

        for (AtomicReference<Throwable> ending : endings) {
            assertInstanceOf(AsynchronousCloseException.class, ending.get());
        }
        assertFalse(SimulatedDriver.state(simulated).open());
        assertEquals(Map.of(), SimulatedDriver.closedHandleCalls());
    }
}
