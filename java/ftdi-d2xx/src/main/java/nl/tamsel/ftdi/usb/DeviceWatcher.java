package nl.tamsel.ftdi.usb;

import java.time.Duration;
import java.time.Instant;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.Objects;
import java.util.Optional;
import java.util.concurrent.CopyOnWriteArrayList;
import java.util.concurrent.locks.ReentrantLock;

/**
 * Watches FTDI devices come and go: rescans the driver's device list at a period and tells its
 * listeners of each device that arrived or was removed, and lets a thread wait for a device to
 * arrive.
 *
 * <pre>{@code
 * try (DeviceWatcher watcher = DeviceWatcher.start(DeviceWatcher.DEFAULT_PERIOD,
 *         change -> System.out.println(change))) {
 *     Optional<DeviceInfo> meter = watcher.awaitDevice(DeviceSelector.bySerialNumber("FT1ZK4"),
 *             Duration.ofMinutes(1));
 * }
 * }</pre>
 *
 * <h2>What counts as a change</h2>
 * A device is known by its serial number, or by its location when it has none. A device that
 * leaves the list is removed; one that appears, or shows at a location other than before (plugged
 * into another port), has arrived; the second is reported as a removal followed by an arrival.
 * A device that another process opens stays the same device although the list then shows it
 * without serial number. A device unplugged and plugged back into the same port between two
 * rescans looks unchanged to the watcher; an {@link FtdiDevice} that had it open learns it from
 * {@link DeviceGoneException} all the same.
 *
 * <h2>Threads and costs</h2>
 * All watchers share one daemon thread, started with the first and stopped (and waited for) when
 * the last closes. A rescan reads the device list, which this library's listing and opening
 * take turns with; it never touches an open device. Between rescans the thread sleeps. A rescan
 * that fails is logged on the {@link System.Logger} named after this class and changes nothing:
 * no device is reported removed because the list could not be read.
 */
public final class DeviceWatcher implements AutoCloseable {

    /** How often a watcher rescans unless told otherwise: 250 ms. */
    public static final Duration DEFAULT_PERIOD = Duration.ofMillis(250);
    /** The shortest period a watcher takes: 10 ms. */
    public static final Duration MIN_PERIOD = Duration.ofMillis(10);

    private static final System.Logger LOG = System.getLogger(DeviceWatcher.class.getName());

    private final long periodNanos;
    private final List<DeviceListener> listeners = new CopyOnWriteArrayList<>();
    /** Held while listeners are told of a rescan, so that close can wait for them. */
    private final ReentrantLock delivery = new ReentrantLock();
    /** Guards known, latest and latestStart, and is notified after each rescan and on close. */
    private final Object state = new Object();
    private Map<String, DeviceInfo> known;
    private List<DeviceInfo> latest;
    private long latestStart;
    private volatile boolean closed;
    private boolean failing;
    /** When the scanner next rescans for this watcher, in System.nanoTime; guarded by the scanner's lock. */
    long nextDue;

    private DeviceWatcher(Duration period, Scan first) throws FtdiException {
        this.periodNanos = period.toNanos();
        if (first.failure != null) {
            throw first.failure;
        }
        this.latest = first.devices;
        this.latestStart = first.startNanos;
        this.known = keyed(first.devices, Map.of());
        this.nextDue = first.startNanos + periodNanos;
    }

    /**
     * Starts a watcher that rescans every {@link #DEFAULT_PERIOD}.
     *
     * @return the running watcher; {@link #devices()} holds the devices there now
     * @throws FtdiException if the driver cannot list its devices
     */
    public static DeviceWatcher start() throws FtdiException {
        return start(DEFAULT_PERIOD);
    }

    /**
     * Starts a watcher. It reads the device list once before it returns: the devices there now
     * are in {@link #devices()}, and listeners are told only of what changes afterwards.
     *
     * @param period how often to rescan, at least {@link #MIN_PERIOD}
     * @return the running watcher
     * @throws IllegalArgumentException if the period is shorter than {@link #MIN_PERIOD}
     * @throws FtdiException            if the driver cannot list its devices
     */
    public static DeviceWatcher start(Duration period) throws FtdiException {
        return start(period, null);
    }

    /**
     * Starts a watcher with a listener that hears of every change from the first rescan on, so
     * that none happens between starting and adding the listener.
     *
     * @param period   how often to rescan, at least {@link #MIN_PERIOD}
     * @param listener told of each device that arrives or is removed; null for none
     * @return the running watcher
     * @throws IllegalArgumentException if the period is shorter than {@link #MIN_PERIOD}
     * @throws FtdiException            if the driver cannot list its devices
     */
    public static DeviceWatcher start(Duration period, DeviceListener listener) throws FtdiException {
        Objects.requireNonNull(period, "period");
        if (period.compareTo(MIN_PERIOD) < 0) {
            throw new IllegalArgumentException("A watcher rescans at most every " + MIN_PERIOD.toMillis()
                    + " ms, not every " + period.toMillis() + " ms");
        }
        DeviceWatcher watcher = new DeviceWatcher(period, Scan.now());
        if (listener != null) {
            watcher.addListener(listener);
        }
        DeviceScanner.register(watcher);
        return watcher;
    }

    /**
     * Adds a listener; it hears of changes from the next rescan on.
     *
     * @param listener told of each device that arrives or is removed
     * @return this watcher
     */
    public DeviceWatcher addListener(DeviceListener listener) {
        listeners.add(Objects.requireNonNull(listener, "listener"));
        return this;
    }

    /**
     * Removes a listener; it is not called again once this returns, unless it is running on the
     * watcher's thread right now.
     *
     * @param listener a listener added before
     */
    public void removeListener(DeviceListener listener) {
        listeners.remove(listener);
    }

    /**
     * How often this watcher rescans.
     *
     * @return the period
     */
    public Duration period() {
        return Duration.ofNanos(periodNanos);
    }

    /**
     * The devices the latest rescan found.
     *
     * @return the list as the driver gave it then
     */
    public List<DeviceInfo> devices() {
        synchronized (state) {
            return latest;
        }
    }

    /**
     * Rescans now, without waiting for the period: listeners hear of the changes on the calling
     * thread before this returns, one at a time with those of the watcher's own rescans.
     *
     * @return the devices the driver lists now
     * @throws FtdiException         if the driver cannot list its devices
     * @throws IllegalStateException if the watcher is closed
     */
    public List<DeviceInfo> rescan() throws FtdiException {
        if (closed) {
            throw new IllegalStateException("The device watcher is closed");
        }
        Scan scan = Scan.now();
        if (scan.failure != null) {
            throw scan.failure;
        }
        deliver(scan);
        return scan.devices;
    }

    /**
     * Waits for a device to be there: returns the first device a rescan begun after this call
     * finds that matches the selector, whether it was there before or arrives later. A device
     * that was just unplugged is thus never returned from a list read before the call.
     *
     * @param selector which device; an index selector matches the device at that position
     * @param timeout  how long to wait at most
     * @return the device's entry; empty when the timeout passed first
     * @throws InterruptedException  if the thread is interrupted while it waits
     * @throws IllegalStateException if the watcher is closed, also while the call waits
     */
    public Optional<DeviceInfo> awaitDevice(DeviceSelector selector, Duration timeout) throws InterruptedException {
        Objects.requireNonNull(selector, "selector");
        Objects.requireNonNull(timeout, "timeout");
        long start = System.nanoTime();
        long deadline = start + Math.max(0, timeout.toNanos());
        synchronized (state) {
            for (;;) {
                if (closed) {
                    throw new IllegalStateException("The device watcher is closed");
                }
                if (latestStart - start >= 0) {
                    for (int index = 0; index < latest.size(); index++) {
                        if (selector.matches(latest.get(index), index)) {
                            return Optional.of(latest.get(index));
                        }
                    }
                }
                long left = deadline - System.nanoTime();
                if (left <= 0) {
                    return Optional.empty();
                }
                state.wait(Math.max(1, (left + 999_999) / 1_000_000));
            }
        }
    }

    /**
     * Whether the watcher still rescans.
     *
     * @return false once {@link #close()} has begun
     */
    public boolean isRunning() {
        return !closed;
    }

    /**
     * Stops the watcher. Once this returns no listener of it is called again; a listener running
     * on another thread is waited for. The last watcher to close stops the shared thread and
     * waits for its end. Closing again does nothing; a listener may close its own watcher.
     */
    @Override
    public void close() {
        synchronized (state) {
            if (closed) {
                return;
            }
            closed = true;
            state.notifyAll();
        }
        DeviceScanner.unregister(this);
        // Waits for a delivery in progress on the shared thread, which other watchers keep running.
        delivery.lock();
        delivery.unlock();
    }

    long periodNanos() {
        return periodNanos;
    }

    /** Tells the listeners what changed since the rescan before; called on the scanner's thread. */
    void deliver(Scan scan) {
        delivery.lock();
        try {
            if (closed) {
                return;
            }
            if (scan.failure != null) {
                if (!failing) {
                    LOG.log(System.Logger.Level.WARNING, "Rescanning the FTDI devices failed; the watcher"
                            + " keeps the devices it knew and tries again", scan.failure);
                }
                failing = true;
                return;
            }
            failing = false;
            List<DeviceChange> changes = new ArrayList<>();
            synchronized (state) {
                if (scan.startNanos - latestStart < 0) {
                    // A list read before the latest one delivered: it would undo newer news.
                    return;
                }
                Map<String, DeviceInfo> now = keyed(scan.devices, known);
                Instant time = scan.time;
                known.forEach((key, before) -> {
                    if (!now.containsKey(key)) {
                        changes.add(new DeviceChange(DeviceChange.Kind.REMOVED, before, time));
                    }
                });
                now.forEach((key, entry) -> {
                    if (!known.containsKey(key)) {
                        changes.add(new DeviceChange(DeviceChange.Kind.ARRIVED, entry, time));
                    }
                });
                known = now;
                latest = scan.devices;
                latestStart = scan.startNanos;
                state.notifyAll();
            }
            for (DeviceChange change : changes) {
                for (DeviceListener listener : listeners) {
                    if (closed) {
                        return;
                    }
                    tell(listener, change);
                }
            }
        } finally {
            delivery.unlock();
        }
    }

    private static void tell(DeviceListener listener, DeviceChange change) {
        try {
            listener.deviceChanged(change);
        } catch (RuntimeException e) {
            LOG.log(System.Logger.Level.WARNING, "A device listener failed on " + change, e);
        }
    }

    /**
     * The entries by what identifies them here: serial number and location, or the location
     * alone for an entry without serial number. An entry that lost its serial number because
     * another process opened the device keeps the key (and entry) it had before.
     */
    private static Map<String, DeviceInfo> keyed(List<DeviceInfo> devices, Map<String, DeviceInfo> before) {
        Map<String, DeviceInfo> keyed = new LinkedHashMap<>();
        for (DeviceInfo entry : devices) {
            DeviceInfo known = entry;
            if (entry.serialNumber().isEmpty() && entry.isOpen()) {
                for (DeviceInfo earlier : before.values()) {
                    if (earlier.locationId() == entry.locationId()) {
                        known = earlier;
                        break;
                    }
                }
            }
            keyed.putIfAbsent(key(known), known);
        }
        return keyed;
    }

    private static String key(DeviceInfo entry) {
        return entry.serialNumber() + "@" + Integer.toHexString(entry.locationId());
    }

    /** One reading of the device list and when it began. */
    static final class Scan {
        final long startNanos;
        final Instant time;
        final List<DeviceInfo> devices;
        final FtdiException failure;

        private Scan(long startNanos, Instant time, List<DeviceInfo> devices, FtdiException failure) {
            this.startNanos = startNanos;
            this.time = time;
            this.devices = devices;
            this.failure = failure;
        }

        static Scan now() {
            long start = System.nanoTime();
            Instant time = Instant.now();
            try {
                return new Scan(start, time, DeviceList.read(), null);
            } catch (FtdiException e) {
                return new Scan(start, time, List.of(), e);
            }
        }
    }
}
