package nl.tamsel.ftdi.usb.reliability;

import static nl.tamsel.ftdi.usb.D2XXConstants.FT_BITS_8;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_FLOW_NONE;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_FLOW_RTS_CTS;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_PARITY_NONE;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_PURGE_TX;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_STOP_BITS_1;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.ArrayList;
import java.util.List;
import java.util.Random;
import java.util.concurrent.Callable;
import java.util.concurrent.ExecutionException;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicBoolean;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.usb.D2XX;
import nl.tamsel.ftdi.usb.DeviceInfo;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/**
 * Many threads on the bridge at once: reads, writes, settings and queries on loopback devices
 * while the device list is fetched and other devices are opened, closed, plugged in and
 * unplugged. Every byte written to a loopback device must be read back exactly once and in order.
 */
class ConcurrencyTest {

    private static final int DEVICES = 8;
    // Below a simulated device's 1 MiB receive queue, so a reader that falls behind loses nothing.
    private static final long BYTES_PER_DEVICE = 512 * 1024;
    private static final long BYTES_ON_SHARED_DEVICE = 768 * 1024;
    private static final int MAX_EMPTY_READS = 250;
    private static final int MAX_PLUG_ROUNDS = 400;
    private static final int[] BAUD_RATES = {9600, 115_200, 921_600, 3_000_000};
    /** Ends a test whose threads are stuck rather than letting the build hang; no timing is measured. */
    private static final long HANG_GUARD_SECONDS = 300;

    private final List<Callable<Void>> tasks = new ArrayList<>();
    private final AtomicBoolean trafficDone = new AtomicBoolean();

    @BeforeEach
    @AfterEach
    void resetDriver() {
        SimulatedDriver.reset();
    }

    @Test
    void eightDevicesEachWithAWriterAndAReaderLoseNoByte() throws Exception {
        List<Long> handles = new ArrayList<>();
        for (int d = 0; d < DEVICES; d++) {
            LoopbackDevices.attach("LOOP" + d, 0x100 + d);
        }
        for (int d = 0; d < DEVICES; d++) {
            handles.add(LoopbackDevices.open("LOOP" + d));
        }
        List<Callable<Void>> traffic = new ArrayList<>();
        for (int d = 0; d < DEVICES; d++) {
            long handle = handles.get(d);
            CheckedStream stream = new CheckedStream(d);
            Random writerRandom = new Random(100 + d);
            Random readerRandom = new Random(200 + d);
            traffic.add(() -> {
                stream.write(handle, BYTES_PER_DEVICE, writerRandom, () -> settingOrQuery(handle, writerRandom));
                return null;
            });
            traffic.add(() -> {
                stream.read(handle, BYTES_PER_DEVICE, readerRandom, MAX_EMPTY_READS,
                        () -> settingOrQuery(handle, readerRandom));
                return null;
            });
        }
        runWithListAndPlugChurn(traffic, DEVICES);

        for (int d = 0; d < DEVICES; d++) {
            assertEquals(0, D2XX.getQueueStatus(handles.get(d)), "bytes left over on LOOP" + d);
            assertEquals(0, D2XX.close(handles.get(d)));
        }
    }

    @Test
    void severalThreadsShareOneDeviceWithSerialisedWrites() throws Exception {
        LoopbackDevices.attach("SHARED", 0x200);
        long handle = LoopbackDevices.open("SHARED");
        CheckedStream stream = new CheckedStream(42);
        Object writeLock = new Object();
        long[] nextPosition = {0};  // guarded by writeLock
        List<Callable<Void>> traffic = new ArrayList<>();
        for (int w = 0; w < 3; w++) {
            Random random = new Random(300 + w);
            traffic.add(() -> {
                byte[] buffer = new byte[1024];
                while (true) {
                    synchronized (writeLock) {
                        long remaining = BYTES_ON_SHARED_DEVICE - nextPosition[0];
                        if (remaining == 0) {
                            return null;
                        }
                        int length = CheckedStream.chunk(random, remaining);
                        stream.fill(buffer, 3, length, nextPosition[0]);
                        assertEquals(length, D2XX.write(handle, buffer, 3, length));
                        nextPosition[0] += length;
                    }
                    settingOrQuery(handle, random);
                }
            });
        }
        Random readerRandom = new Random(400);
        traffic.add(() -> {
            stream.read(handle, BYTES_ON_SHARED_DEVICE, readerRandom, MAX_EMPTY_READS, () -> { });
            return null;
        });
        for (int q = 0; q < 3; q++) {
            Random random = new Random(500 + q);
            tasks.add(() -> {
                while (!trafficDone.get()) {
                    settingOrQuery(handle, random);
                }
                return null;
            });
        }
        runWithListAndPlugChurn(traffic, 1);

        assertEquals(0, D2XX.getQueueStatus(handle));
        assertEquals(0, D2XX.close(handle));
    }

    /**
     * Runs the traffic together with the tasks added so far, a thread that fetches the device
     * list over and over, and one that plugs in, opens, closes and unplugs other devices; fails
     * with the first error of any of them.
     */
    private void runWithListAndPlugChurn(List<Callable<Void>> traffic, int steadyDevices) throws Exception {
        tasks.add(() -> {
            while (!trafficDone.get()) {
                DeviceInfo[] list = D2XX.createDeviceInfoList();
                assertNotNull(list, "the device list failed");
                assertTrue(list.length >= steadyDevices, "devices missing from the list: " + list.length);
                for (int i = 0; i < steadyDevices; i++) {
                    assertNotNull(list[i], "empty list entry " + i);
                }
            }
            return null;
        });
        tasks.add(() -> {
            Random random = new Random(600);
            // Bounded: unplugged devices stay in the simulated driver's books until it is reset.
            for (int round = 0; round < MAX_PLUG_ROUNDS && !trafficDone.get(); round++) {
                String serial = "HOT" + round;
                int device = LoopbackDevices.attach(serial, 0x1000 + round);
                long handle = switch (round % 3) {
                    case 0 -> D2XX.openBySerialNumber(serial);
                    case 1 -> D2XX.openByDescription("Loopback " + serial);
                    default -> D2XX.openByLocationId(0x1000 + round);
                };
                assertTrue(handle > 0, "open " + serial + " returned " + handle);
                settingOrQuery(handle, random);
                assertEquals(0, D2XX.close(handle));
                SimulatedDriver.unplug(device);
            }
            return null;
        });
        ExecutorService pool = Executors.newFixedThreadPool(traffic.size() + tasks.size());
        try {
            List<Future<Void>> trafficResults = new ArrayList<>();
            List<Future<Void>> otherResults = new ArrayList<>();
            for (Callable<Void> task : traffic) {
                trafficResults.add(pool.submit(task));
            }
            for (Callable<Void> task : tasks) {
                otherResults.add(pool.submit(task));
            }
            try {
                awaitAll(trafficResults);
            } finally {
                trafficDone.set(true);
            }
            awaitAll(otherResults);
        } finally {
            pool.shutdownNow();
        }
    }

    private static void awaitAll(List<Future<Void>> results) throws Exception {
        for (Future<Void> result : results) {
            try {
                result.get(HANG_GUARD_SECONDS, TimeUnit.SECONDS);
            } catch (ExecutionException e) {
                if (e.getCause() instanceof Error error) {
                    throw error;
                }
                throw e;
            }
        }
    }

    /** One setting or query that leaves the data path alone, checked for its result. */
    private static void settingOrQuery(long handle, Random random) {
        switch (random.nextInt(15)) {
            case 0 -> assertEquals(0, D2XX.setBaudrate(handle, BAUD_RATES[random.nextInt(BAUD_RATES.length)]));
            case 1 -> assertEquals(0, D2XX.setDataCharacteristics(handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE));
            case 2 -> assertEquals(0, D2XX.setFlowControl(handle, random.nextBoolean() ? FT_FLOW_NONE : FT_FLOW_RTS_CTS));
            case 3 -> assertEquals(0, D2XX.setChars(handle, (byte) 0x0A, random.nextBoolean(), (byte) 0, false));
            case 4 -> assertEquals(0, D2XX.setDTR(handle, random.nextBoolean()));
            case 5 -> assertEquals(0, D2XX.setRTS(handle, random.nextBoolean()));
            case 6 -> assertEquals(0, D2XX.setBreak(handle, random.nextBoolean()));
            case 7 -> assertEquals(0, D2XX.setLatencyTimer(handle, 2 + random.nextInt(254)));
            case 8 -> assertEquals(0, D2XX.purge(handle, FT_PURGE_TX));
            case 9 -> assertEquals(0, D2XX.setUSBParameters(handle, 64 * (1 + random.nextInt(1024))));
            case 10 -> assertEquals(0, D2XX.setTimeouts(handle, LoopbackDevices.READ_TIMEOUT_MS,
                    LoopbackDevices.WRITE_TIMEOUT_MS));
            case 11 -> {
                int latency = D2XX.getLatencyTimer(handle);
                assertTrue(latency >= 2 && latency <= 255, "latency timer " + latency);
            }
            case 12 -> assertTrue(D2XX.getQueueStatus(handle) >= 0);
            case 13 -> assertEquals(0, D2XX.getModemStatus(handle) & 0xFFFF_0000);
            default -> assertEquals(-1, D2XX.getComPortNumber(handle));
        }
    }
}
