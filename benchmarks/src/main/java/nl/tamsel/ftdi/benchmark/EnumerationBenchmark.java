package nl.tamsel.ftdi.benchmark;

import java.util.concurrent.TimeUnit;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.usb.D2XX;
import nl.tamsel.ftdi.usb.DeviceInfo;
import org.openjdk.jmh.annotations.Benchmark;
import org.openjdk.jmh.annotations.BenchmarkMode;
import org.openjdk.jmh.annotations.Level;
import org.openjdk.jmh.annotations.Mode;
import org.openjdk.jmh.annotations.OutputTimeUnit;
import org.openjdk.jmh.annotations.Param;
import org.openjdk.jmh.annotations.Scope;
import org.openjdk.jmh.annotations.Setup;
import org.openjdk.jmh.annotations.State;

/** Listing the attached devices through the bridge, as the list grows. */
@BenchmarkMode(Mode.AverageTime)
@OutputTimeUnit(TimeUnit.NANOSECONDS)
@State(Scope.Thread)
public class EnumerationBenchmark {

    @Param({"1", "16", "128"})
    public int devices;

    @Setup(Level.Trial)
    public void attach() {
        SimulatedDriver.reset();
        for (int i = 0; i < devices; i++) {
            SimulatedDriver.addDevice(0, 8, 0x04036014, 0x1000 + i, String.format("BENCH%03d", i),
                    "Benchmark device " + i);
        }
    }

    @Benchmark
    public DeviceInfo[] createDeviceInfoList() {
        return D2XX.createDeviceInfoList();
    }
}
