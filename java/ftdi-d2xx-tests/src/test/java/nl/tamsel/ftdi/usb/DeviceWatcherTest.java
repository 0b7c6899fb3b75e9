package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.time.Duration;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.Optional;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicBoolean;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/**
 * The device watcher against devices that come and go: the changes it reports and their order,
 * waiting for a device, stopping it while a listener runs, and its rescans racing the list
 * calls of other threads. Waits are hang guards only: nothing here depends on how fast it runs.
 */
class DeviceWatcherTest extends SimulatedDriverTestBase {

    private static final Duration PERIOD = DeviceWatcher.MIN_PERIOD;
    /** Long enough that only a change the watcher never reports runs into it. */
    private static final long GUARD_SECONDS = 60;

    private final BlockingQueue<DeviceChange> changes = new LinkedBlockingQueue<>();
    private final ExecutorService executor = Executors.newCachedThreadPool();
    private DeviceWatcher watcher;

    @AfterEach
    void stop() {
        if (watcher != null) {
            watcher.close();
        }
        executor.shutdownNow();
    }

    /** Its first listener always throws: the one that queues the changes must hear them all the same. */
    private void startWatching() throws FtdiException {
        watcher = DeviceWatcher.start(PERIOD, change -> {
            throw new IllegalStateException("listener fault");
        });
        watcher.addListener(changes::add);
    }

    /** The next change, as "arrived SERIAL@location"; fails if none comes. */
    private String next() throws InterruptedException {
        DeviceChange change = changes.poll(GUARD_SECONDS, TimeUnit.SECONDS);
        assertNotNull(change, "no change reported");
        DeviceInfo device = change.device();
        return change.kind().name().toLowerCase() + " " + device.serialNumber() + "@"
                + Integer.toHexString(device.locationId());
    }

    private static SimulatedDevice plug(String serial, int location) {
        return SimulatedDevice.builder().serialNumber(serial).locationId(location).attach();
    }

    /**
     * Steps separated by ';', each "actions > the changes they bring, in order", actions and
     * changes separated by ','. Actions: start (the watcher), plug SERIAL LOC, bare LOC (a device
     * without serial number), unplug SERIAL, replug SERIAL LOC, elsewhere SERIAL (another process
     * opens it). Each step waits for its changes before the next begins, so rescans may fall
     * anywhere between the actions.
     */
    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', value = {
        "several devices       | plug A 11, start > ; plug B 12, plug C 13 > arrived B@12, arrived C@13;"
                + " unplug B > removed B@12; replug B 12 > arrived B@12",
        "a new port            | plug A 11, start > ; unplug A, replug A 21 > removed A@11, arrived A@21",
        "no serial number      | bare 31, bare 32, start > ; unplug @32 > removed @32; plug D 33 > arrived D@33",
        "opened elsewhere      | plug A 11, start > ; elsewhere A, plug B 12 > arrived B@12; unplug A > removed A@11"})
    void reportsArrivalsAndRemovalsInOrder(String name, String steps) throws Exception {
        Map<String, Integer> ids = new HashMap<>();
        for (String step : steps.split(";")) {
            String[] parts = step.split(">", -1);
            for (String action : parts[0].split(",")) {
                String[] words = action.trim().split(" ");
                switch (words[0]) {
                    case "start" -> startWatching();
                    case "plug" -> ids.put(words[1], plug(words[1], Integer.parseInt(words[2], 16)).id());
                    case "bare" -> ids.put("@" + words[1], SimulatedDriver.addDevice(0, D2XXConstants.FT_DEVICE_232R,
                            FT232R_ID, Integer.parseInt(words[1], 16), "", "No serial"));
                    case "unplug" -> SimulatedDriver.unplug(ids.get(words[1]));
                    case "replug" -> SimulatedDriver.replug(ids.get(words[1]), Integer.parseInt(words[2], 16));
                    case "elsewhere" -> SimulatedDriver.setOpenedElsewhere(ids.get(words[1]), true);
                    default -> throw new IllegalArgumentException(action);
                }
            }
            for (String expected : parts[1].split(",")) {
                if (!expected.isBlank()) {
                    assertEquals(expected.trim(), next(), step);
                }
            }
        }
        assertNull(changes.poll(), "no more changes");
    }

    @Test
    void waitingReturnsADevicePluggedBackInButNotOneListedBeforeTheUnplug() throws Exception {
        SimulatedDevice a = plug("A", 0x11);
        startWatching();
        assertEquals(Optional.empty(), watcher.awaitDevice(DeviceSelector.bySerialNumber("NEVER"), Duration.ofMillis(30)));
        a.unplug();
        // The watcher may not have rescanned since: its last list still shows A.
        assertEquals(Optional.empty(), watcher.awaitDevice(DeviceSelector.bySerialNumber("A"), Duration.ZERO));
        Future<Optional<DeviceInfo>> waiting = executor.submit(
                () -> watcher.awaitDevice(DeviceSelector.bySerialNumber("A"), Duration.ofSeconds(GUARD_SECONDS)));
        a.replug(0x44);
        Optional<DeviceInfo> back = waiting.get(GUARD_SECONDS * 2, TimeUnit.SECONDS);
        assertEquals(0x44, back.orElseThrow().locationId());
        FtdiDevice.open(DeviceSelector.of(back.get())).close();
    }

    @Test
    void closingWakesAWaiterAndRefusesLaterWaits() throws Exception {
        startWatching();
        Future<Optional<DeviceInfo>> waiting = executor.submit(
                () -> watcher.awaitDevice(DeviceSelector.bySerialNumber("X"), Duration.ofSeconds(GUARD_SECONDS)));
        // Closed before or while the other thread waits, the wait ends the same way.
        watcher.close();
        Exception woken = assertThrows(Exception.class, () -> waiting.get(GUARD_SECONDS, TimeUnit.SECONDS));
        assertTrue(woken.getCause() instanceof IllegalStateException, woken.toString());
        assertThrows(IllegalStateException.class, () -> watcher.awaitDevice(DeviceSelector.byIndex(0), Duration.ZERO));
    }

    @Test
    void aWatcherStoppedWhileItsListenerRunsCallsNoListenerAfterClose() throws Exception {
        CountDownLatch inListener = new CountDownLatch(1);
        CountDownLatch release = new CountDownLatch(1);
        AtomicBoolean closeReturned = new AtomicBoolean();
        List<String> afterClose = new ArrayList<>();
        watcher = DeviceWatcher.start(PERIOD, change -> {
            if (closeReturned.get()) {
                afterClose.add(change.toString());
            }
            inListener.countDown();
            awaitQuietly(release);
        });
        plug("A", 0x11);
        assertTrue(inListener.await(GUARD_SECONDS, TimeUnit.SECONDS));
        Future<?> closing = executor.submit(() -> {
            watcher.close();
            closeReturned.set(true);
        });
        plug("B", 0x12);
        assertFalse(closeReturned.get(), "close returned while the listener still ran");
        release.countDown();
        closing.get(GUARD_SECONDS, TimeUnit.SECONDS);
        plug("C", 0x13);
        // A new watcher's first rescans come after C: had the old one run on, it would have told of C.
        try (DeviceWatcher later = DeviceWatcher.start(PERIOD)) {
            later.awaitDevice(DeviceSelector.bySerialNumber("C"), Duration.ofSeconds(GUARD_SECONDS));
        }
        assertEquals(List.of(), afterClose);
        assertFalse(watcher.isRunning());
    }

    @Test
    void aListenerMayCloseItsOwnWatcher() throws Exception {
        CountDownLatch closed = new CountDownLatch(1);
        DeviceWatcher[] self = new DeviceWatcher[1];
        self[0] = DeviceWatcher.start(PERIOD, change -> {
            self[0].close();
            closed.countDown();
        });
        plug("A", 0x11);
        assertTrue(closed.await(GUARD_SECONDS, TimeUnit.SECONDS), "the listener's close did not return");
        assertFalse(self[0].isRunning());
    }

    @Test
    void listsOpensAndRescansRacingEachOtherSeeWholeLists() throws Exception {
        // Serials rise in arrival order and the earliest leaves first, so every list the driver
        // can show is a run of consecutive serials.
        watcher = DeviceWatcher.start(PERIOD, changes::add);
        try (DeviceWatcher second = DeviceWatcher.start(PERIOD)) {
            int rounds = 200;
            Future<?> plugging = executor.submit(() -> {
                List<SimulatedDevice> plugged = new ArrayList<>();
                for (int i = 0; i < rounds; i++) {
                    plugged.add(plug(String.format("R%04d", i), 0x1000 + i));
                    if (plugged.size() > 3) {
                        plugged.remove(0).unplug();
                    }
                }
                return null;
            });
            List<Future<?>> readers = new ArrayList<>();
            for (int t = 0; t < 3; t++) {
                readers.add(executor.submit(() -> {
                    while (!plugging.isDone()) {
                        checkConsecutive(FtdiDevice.list());
                        try (FtdiDevice device = FtdiDevice.openByIndex(0)) {
                            device.modemStatus();
                        } catch (FtdiException expected) {
                            // The device may leave between list and open, or before the call.
                        }
                    }
                    return null;
                }));
            }
            plugging.get(GUARD_SECONDS, TimeUnit.SECONDS);
            for (Future<?> reader : readers) {
                reader.get(GUARD_SECONDS, TimeUnit.SECONDS);
            }
            checkConsecutive(second.devices());
        }
    }

    private static void checkConsecutive(List<DeviceInfo> list) {
        for (int i = 1; i < list.size(); i++) {
            int previous = Integer.parseInt(list.get(i - 1).serialNumber().substring(1));
            int current = Integer.parseInt(list.get(i).serialNumber().substring(1));
            assertEquals(previous + 1, current, "list " + list);
        }
    }

    private static void awaitQuietly(CountDownLatch latch) {
        try {
            latch.await(GUARD_SECONDS, TimeUnit.SECONDS);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
    }
}
