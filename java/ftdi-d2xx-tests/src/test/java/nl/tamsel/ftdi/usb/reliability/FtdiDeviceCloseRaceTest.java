package nl.tamsel.ftdi.usb.reliability;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import java.io.IOException;
import java.net.SocketTimeoutException;
import java.nio.channels.AsynchronousCloseException;
import java.time.Duration;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.OptionalInt;
import java.util.Random;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.concurrent.atomic.AtomicLong;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.usb.DataBits;
import nl.tamsel.ftdi.usb.FlowControl;
import nl.tamsel.ftdi.usb.FtdiDevice;
import nl.tamsel.ftdi.usb.Parity;
import nl.tamsel.ftdi.usb.StopBits;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/**
 * {@link FtdiDevice} closed at random moments while many threads use it, on many loopback
 * devices at once, with the simulated driver giving each closed handle's value to the next
 * open. Per device and round: a writer and a reader of a checked byte stream (each switching
 * between the device's methods and its streams), six threads mixing settings and queries, a
 * thread interrupting the others, and one or two closers. Every thread must end, every
 * exception must be one the API documents for a closed device, no call may reach the driver with
 * a closed handle, every byte the driver took must be one the writer counted, in order, and every
 * byte read must continue the stream.
 */
class FtdiDeviceCloseRaceTest {

    private static final int DEVICES = 6;
    private static final int ROUNDS = 12;
    private static final int MIXERS = 6;
    /** Keeps the writer within a simulated device's 1 MiB receive queue, so no byte overflows. */
    private static final long MAX_UNREAD = 256 * 1024;
    /** Bounds a hung test; generous for a loaded 2-core machine, and no speed is measured. */
    private static final Duration DEADLOCK_BOUND = Duration.ofSeconds(120);
    private static final int[] BAUD_RATES = {9600, 115_200, 921_600, 3_000_000};
    private static final Duration[] READ_TIMEOUTS = {Duration.ZERO, Duration.ofMillis(1), Duration.ofMillis(15)};
    private static final Duration[] WRITE_TIMEOUTS = {Duration.ZERO, Duration.ofMillis(100), Duration.ofHours(1)};

    private final AtomicInteger closeRaces = new AtomicInteger();
    private final AtomicLong bytesChecked = new AtomicLong();

    @BeforeEach
    void reuseHandleValues() {
        SimulatedDriver.reset();
        SimulatedDriver.setHandleReuse(true);
    }

    @AfterEach
    void resetDriver() {
        SimulatedDriver.reset();
    }

    @Test
    void closeAtRandomMomentsLeavesNoCallForAClosedHandleAndLosesNoByte() throws Exception {
        for (int d = 0; d < DEVICES; d++) {
            LoopbackDevices.attach("RACE" + d, 0x300 + d);
        }
        BoundedThreads lanes = new BoundedThreads();
        for (int d = 0; d < DEVICES; d++) {
            int device = d;
            lanes.start("lane " + d, () -> {
                for (int round = 0; round < ROUNDS; round++) {
                    runRound(device, round);
                }
            });
        }
        lanes.joinAll(DEADLOCK_BOUND);

        assertEquals(DEVICES * ROUNDS, closeRaces.get());
        assertTrue(bytesChecked.get() > 0, "no byte went through");
        Map<Long, Integer> lateCalls = SimulatedDriver.closedHandleCalls();
        assertEquals(Map.of(), lateCalls, () -> "calls reached the driver with a closed handle: "
                + lateCalls.entrySet().stream().map(e -> Long.toHexString(e.getKey()) + " " + e.getValue() + " times")
                        .toList());
        System.out.printf("close races: %d on %d devices at once, each with %d threads using it, 1 or 2"
                + " closing it and 1 interrupting; bytes checked: %d%n", closeRaces.get(), DEVICES, 2 + MIXERS,
                bytesChecked.get());
    }

    /** Opens the device, races traffic against closing it, and checks what the driver saw. */
    private void runRound(int simulated, int round) throws Exception {
        Random random = new Random(1000L * simulated + round);
        long totalBefore = SimulatedDriver.writtenTotal(simulated);
        FtdiDevice device = FtdiDevice.openBySerialNumber("RACE" + simulated);
        // The device keeps what the previous round left in its receive queue, as a chip does.
        device.purgeReceiveQueue();
        CheckedStream stream = new CheckedStream(1000L * simulated + round);
        AtomicLong written = new AtomicLong();
        AtomicLong read = new AtomicLong();
        BoundedThreads threads = new BoundedThreads();
        String name = "device " + simulated + " round " + round;
        long seed = random.nextLong();
        Thread writer = threads.start(name + " writer", () -> writeUntilClosed(device, stream, written, read,
                new Random(seed)));
        Thread reader = threads.start(name + " reader", () -> readUntilClosed(device, stream, read,
                new Random(seed + 1)));
        List<Thread> workers = new ArrayList<>(List.of(writer, reader));
        for (int m = 0; m < MIXERS; m++) {
            long mixerSeed = seed + 2 + m;
            workers.add(threads.start(name + " mixer " + m, () -> mixUntilClosed(device, new Random(mixerSeed))));
        }
        int closers = 1 + random.nextInt(2);
        long closeAfterBytes = random.nextInt(64 * 1024);
        int closeWay = random.nextInt(3);
        for (int c = 0; c < closers; c++) {
            workers.add(threads.start(name + " closer " + c, () -> {
                // Waits for traffic, not for time, so the race comes at a different point each round.
                while (written.get() < closeAfterBytes && device.isOpen()) {
                    Thread.yield();
                }
                keepingInterrupt(() -> {
                    switch (closeWay) {
                        case 0 -> device.close();
                        case 1 -> device.getInputStream().close();
                        default -> device.getOutputStream().close();
                    }
                });
                assertFalse(device.isOpen());
                // Also for the closer that lost the race: close returns once the handle is closed.
                assertFalse(SimulatedDriver.state(simulated).open(), "close returned with " + name + " open");
            }));
        }
        threads.start(name + " interrupter", () -> {
            Random interrupts = new Random(seed - 1);
            while (device.isOpen()) {
                workers.get(interrupts.nextInt(workers.size())).interrupt();
                Thread.sleep(1);
            }
        });
        threads.joinAll(DEADLOCK_BOUND);
        closeRaces.incrementAndGet();

        assertFalse(SimulatedDriver.state(simulated).open(), "the driver still has " + name + " open");
        // A late write of another device's predecessor on a reused handle value would show here.
        assertEquals(written.get(), SimulatedDriver.writtenTotal(simulated) - totalBefore,
                "bytes the driver took for " + name + " against bytes written");
        // The log keeps the first 16 MiB; when a starved closer let the writer go past that, the
        // reader has checked the rest as it read it back.
        byte[] log = SimulatedDriver.takeWritten(simulated);
        assertTrue(log.length <= written.get(), "the log holds more than was written for " + name);
        stream.check(log, 0, log.length, 0);
        assertTrue(read.get() <= written.get());
        bytesChecked.addAndGet(log.length + read.get());
    }

    private static void writeUntilClosed(FtdiDevice device, CheckedStream stream, AtomicLong written, AtomicLong read,
            Random random) throws IOException {
        byte[] buffer = new byte[1024];
        while (true) {
            while (written.get() - read.get() > MAX_UNREAD && device.isOpen()) {
                Thread.yield();
            }
            int offset = random.nextInt(16);
            int length = CheckedStream.chunk(random, 700);
            stream.fill(buffer, offset, length, written.get());
            try {
                int done = keepingInterrupt(() -> {
                    if (random.nextBoolean()) {
                        device.getOutputStream().write(buffer, offset, length);
                        return length;
                    }
                    return device.write(buffer, offset, length);
                });
                assertEquals(length, done, "the device took part of a write without a stall");
                written.addAndGet(done);
            } catch (Exception e) {
                expectClosed(device, e);
                return;
            }
        }
    }

    private static void readUntilClosed(FtdiDevice device, CheckedStream stream, AtomicLong read, Random random)
            throws IOException {
        byte[] buffer = new byte[1024];
        while (true) {
            int offset = random.nextInt(16);
            int length = 1 + random.nextInt(700);
            try {
                int got = keepingInterrupt(() -> random.nextBoolean()
                        ? device.getInputStream().read(buffer, offset, length)
                        : device.read(buffer, offset, length));
                assertTrue(got >= 0 && got <= length, "read returned " + got + " for " + length);
                stream.check(buffer, offset, got, read.get());
                read.addAndGet(got);
            } catch (SocketTimeoutException e) {
                // A mixer set a read timeout and nothing came in time: documented, read on.
            } catch (Exception e) {
                expectClosed(device, e);
                return;
            }
        }
    }

    /** Settings and queries that leave the bytes in the queues alone. */
    private static void mixUntilClosed(FtdiDevice device, Random random) throws IOException {
        while (true) {
            try {
                keepingInterrupt(() -> {
                    mixOnce(device, random);
                    return 0;
                });
            } catch (Exception e) {
                expectClosed(device, e);
                return;
            }
        }
    }

    private static void mixOnce(FtdiDevice device, Random random) throws IOException {
        switch (random.nextInt(20)) {
            case 0 -> device.setBaudRate(BAUD_RATES[random.nextInt(BAUD_RATES.length)]);
            case 1 -> device.setDataCharacteristics(DataBits.EIGHT, StopBits.ONE, Parity.NONE);
            case 2 -> device.setFlowControl(random.nextBoolean() ? FlowControl.NONE : FlowControl.RTS_CTS);
            case 3 -> device.setReadTimeout(READ_TIMEOUTS[random.nextInt(READ_TIMEOUTS.length)]);
            case 4 -> device.setWriteTimeout(WRITE_TIMEOUTS[random.nextInt(WRITE_TIMEOUTS.length)]);
            case 5 -> device.setLatencyTimer(Duration.ofMillis(2 + random.nextInt(254)));
            case 6 -> device.setUsbTransferSize(64 * (1 + random.nextInt(1024)));
            case 7 -> device.setSpecialCharacters(OptionalInt.of(0x0A), OptionalInt.empty());
            case 8 -> device.setDtr(random.nextBoolean());
            case 9 -> device.setRts(random.nextBoolean());
            case 10 -> device.setBreak(random.nextBoolean());
            case 11 -> device.purgeTransmitQueue();
            case 12 -> assertTrue(device.modemStatus() != null);
            case 13 -> assertTrue(device.bytesAvailable() >= 0);
            case 14 -> assertTrue(device.getInputStream().available() >= 0);
            case 15 -> assertTrue(device.driverVersion() != null);
            case 16 -> assertEquals(OptionalInt.empty(), device.comPort());
            case 17 -> {
                long latency = device.latencyTimer().toMillis();
                assertTrue(latency >= 2 && latency <= 255, "latency timer " + latency);
            }
            case 18 -> assertTrue(device.readTimeout().compareTo(Duration.ofSeconds(1)) < 0);
            default -> assertTrue(device.toString().startsWith("FtdiDevice[serial:RACE"));
        }
    }

    /**
     * Passes what the API documents for a device closed under a call: {@link IllegalStateException}
     * from a device method, {@link AsynchronousCloseException} from a call that close ended, and an
     * {@link IOException} caused by the former from a stream. A driver failure would mean a call
     * reached the driver with a stale handle.
     */
    private static void expectClosed(FtdiDevice device, Exception e) {
        boolean documented = e instanceof IllegalStateException
                || e instanceof AsynchronousCloseException
                || (e.getClass() == IOException.class && e.getCause() instanceof IllegalStateException);
        if (!documented || device.isOpen()) {
            throw new AssertionError("not how a closed device fails" + (device.isOpen() ? " (and it is open)" : "")
                    + ": " + e, e);
        }
    }

    @FunctionalInterface
    private interface Call<T> {
        T call() throws Exception;
    }

    /**
     * Runs a call and fails if it cleared the thread's interrupt status; the status is cleared
     * afterwards, so that the next call starts without it.
     */
    private static <T> T keepingInterrupt(Call<T> call) throws Exception {
        boolean interruptedBefore = Thread.currentThread().isInterrupted();
        try {
            return call.call();
        } finally {
            if (interruptedBefore && !Thread.currentThread().isInterrupted()) {
                fail("a call cleared the thread's interrupt status");
            }
            Thread.interrupted();
        }
    }

    private static void keepingInterrupt(BoundedThreads.Body body) throws Exception {
        keepingInterrupt(() -> {
            body.run();
            return null;
        });
    }
}
