package nl.tamsel.ftdi.benchmark;

import java.time.Duration;
import java.util.List;
import java.util.concurrent.TimeUnit;
import nl.tamsel.ftdi.usb.DeviceInfo;
import nl.tamsel.ftdi.usb.DeviceWatcher;
import nl.tamsel.ftdi.usb.FtdiDevice;
import nl.tamsel.ftdi.usb.FtdiException;
import org.openjdk.jmh.annotations.Benchmark;
import org.openjdk.jmh.annotations.BenchmarkMode;
import org.openjdk.jmh.annotations.Level;
import org.openjdk.jmh.annotations.Mode;
import org.openjdk.jmh.annotations.OutputTimeUnit;
import org.openjdk.jmh.annotations.Scope;
import org.openjdk.jmh.annotations.Setup;
import org.openjdk.jmh.annotations.State;
import org.openjdk.jmh.annotations.TearDown;

/**
 * What one rescan of a device watcher costs with eight devices attached and none changing (the
 * null driver lists eight): reading the list through the typed API, and the watcher's rescan,
 * which adds comparing it with the list before. Needs the null driver.
 */
@BenchmarkMode(Mode.AverageTime)
@OutputTimeUnit(TimeUnit.NANOSECONDS)
@State(Scope.Thread)
public class WatcherBenchmark {

    private DeviceWatcher watcher;

    @Setup(Level.Trial)
    public void start() throws FtdiException {
        if (LibraryPaths.simulated()) {
            throw new IllegalStateException("a watcher's rescan is measured on the null driver only");
        }
        // Its own thread rescans once an hour: the measured rescans are the benchmark's.
        watcher = DeviceWatcher.start(Duration.ofHours(1));
        if (watcher.devices().size() != 8) {
            throw new IllegalStateException("the null driver lists " + watcher.devices().size() + " devices, not 8");
        }
    }

    @TearDown(Level.Trial)
    public void stop() {
        watcher.close();
    }

    @Benchmark
    public List<DeviceInfo> list() throws FtdiException {
        return FtdiDevice.list();
    }

    @Benchmark
    public List<DeviceInfo> rescan() throws FtdiException {
        return watcher.rescan();
    }
}
