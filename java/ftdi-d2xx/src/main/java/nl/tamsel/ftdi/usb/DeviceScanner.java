package nl.tamsel.ftdi.usb;

import java.util.ArrayList;
import java.util.List;

/**
 * The one daemon thread that rescans the driver's list for every running {@link DeviceWatcher}:
 * it sleeps until the next watcher is due, reads the list once and hands it to each watcher
 * that is due. It starts with the first watcher and ends with the last, which joins it.
 */
final class DeviceScanner {

    private static final Object LOCK = new Object();
    /** The running watchers; guarded by LOCK. */
    private static final List<DeviceWatcher> WATCHERS = new ArrayList<>();
    /** The thread that scans now, or null; guarded by LOCK. An older one that sees another here ends. */
    private static Thread thread;

    private DeviceScanner() {
    }

    static void register(DeviceWatcher watcher) {
        synchronized (LOCK) {
            WATCHERS.add(watcher);
            if (thread == null) {
                thread = new Thread(DeviceScanner::run, "ftdi-device-watcher");
                thread.setDaemon(true);
                thread.start();
            }
            LOCK.notifyAll();
        }
    }

    /** Removes the watcher; when it was the last, stops the thread and waits for its end. */
    static void unregister(DeviceWatcher watcher) {
        Thread stopped = null;
        synchronized (LOCK) {
            WATCHERS.remove(watcher);
            if (WATCHERS.isEmpty() && thread != null) {
                stopped = thread;
                thread = null;
                LOCK.notifyAll();
            }
        }
        // A listener that closes its own watcher runs on the thread: it ends once the listener returns.
        if (stopped != null && stopped != Thread.currentThread()) {
            joinUninterruptibly(stopped);
        }
    }

    static boolean running() {
        synchronized (LOCK) {
            return thread != null;
        }
    }

    private static void run() {
        Thread self = Thread.currentThread();
        for (;;) {
            List<DeviceWatcher> due = new ArrayList<>();
            long now;
            synchronized (LOCK) {
                for (;;) {
                    if (thread != self) {
                        return;
                    }
                    now = System.nanoTime();
                    long wait = Long.MAX_VALUE;
                    for (DeviceWatcher watcher : WATCHERS) {
                        wait = Math.min(wait, watcher.nextDue - now);
                    }
                    if (wait <= 0) {
                        break;
                    }
                    try {
                        // Whole milliseconds rounded up, so that the wait does not end just before it is due.
                        LOCK.wait(Math.max(1, (wait + 999_999) / 1_000_000));
                    } catch (InterruptedException e) {
                        // Only unregister ends this thread; a stray interrupt changes nothing.
                    }
                }
                for (DeviceWatcher watcher : WATCHERS) {
                    if (watcher.nextDue - now <= 0) {
                        watcher.nextDue = now + watcher.periodNanos();
                        due.add(watcher);
                    }
                }
            }
            DeviceWatcher.Scan scan = DeviceWatcher.Scan.now();
            for (DeviceWatcher watcher : due) {
                watcher.deliver(scan);
            }
        }
    }

    private static void joinUninterruptibly(Thread stopped) {
        boolean interrupted = false;
        for (;;) {
            try {
                stopped.join();
                break;
            } catch (InterruptedException e) {
                interrupted = true;
            }
        }
        if (interrupted) {
            Thread.currentThread().interrupt();
        }
    }
}
