package nl.tamsel.ftdi.benchmark;

import java.lang.management.ManagementFactory;
import java.lang.management.OperatingSystemMXBean;
import java.lang.management.ThreadMXBean;
import java.time.Duration;
import nl.tamsel.ftdi.usb.DeviceWatcher;

/**
 * The CPU a device watcher takes while nothing changes: starts one at its default period on the
 * driver the library loads (the null driver lists eight devices), sleeps, and prints the CPU
 * time of the watcher's thread and of the whole process over that time, as a share of one core.
 * Run by hand: {@code java -Dnl.tamsel.ftdi.driver=.../libftd2xx.so -cp benchmarks.jar
 * nl.tamsel.ftdi.benchmark.WatcherIdleCpu [seconds, default 60]}.
 */
public final class WatcherIdleCpu {

    private WatcherIdleCpu() {
    }

    public static void main(String[] args) throws Exception {
        Duration span = Duration.ofSeconds(args.length > 0 ? Long.parseLong(args[0]) : 60);
        ThreadMXBean threads = ManagementFactory.getThreadMXBean();
        OperatingSystemMXBean os = ManagementFactory.getOperatingSystemMXBean();
        com.sun.management.OperatingSystemMXBean process = (com.sun.management.OperatingSystemMXBean) os;
        try (DeviceWatcher watcher = DeviceWatcher.start()) {
            Thread scanner = Thread.getAllStackTraces().keySet().stream()
                    .filter(t -> t.getName().equals("ftdi-device-watcher")).findFirst().orElseThrow();
            long threadBefore = threads.getThreadCpuTime(scanner.getId());
            long processBefore = process.getProcessCpuTime();
            long wallBefore = System.nanoTime();
            Thread.sleep(span.toMillis());
            long wall = System.nanoTime() - wallBefore;
            long thread = threads.getThreadCpuTime(scanner.getId()) - threadBefore;
            long all = process.getProcessCpuTime() - processBefore;
            System.out.printf("devices listed: %d, period %d ms, over %.1f s%n", watcher.devices().size(),
                    watcher.period().toMillis(), wall / 1e9);
            System.out.printf("watcher thread: %.1f ms CPU = %.4f %% of one core (%.1f us per rescan)%n",
                    thread / 1e6, 100.0 * thread / wall, thread / 1e3 / (wall / (double) watcher.period().toNanos()));
            System.out.printf("whole process:  %.1f ms CPU = %.4f %% of one core%n", all / 1e6, 100.0 * all / wall);
        }
    }
}
