package nl.tamsel.ftdi.benchmark;

import java.util.concurrent.TimeUnit;
import nl.tamsel.ftdi.usb.D2XX;
import org.openjdk.jmh.annotations.Benchmark;
import org.openjdk.jmh.annotations.BenchmarkMode;
import org.openjdk.jmh.annotations.Level;
import org.openjdk.jmh.annotations.Mode;
import org.openjdk.jmh.annotations.OutputTimeUnit;
import org.openjdk.jmh.annotations.Scope;
import org.openjdk.jmh.annotations.Setup;
import org.openjdk.jmh.annotations.State;
import org.openjdk.jmh.annotations.TearDown;

/** The JNI bridge: a query and transfers on the instant device. */
@BenchmarkMode(Mode.AverageTime)
@OutputTimeUnit(TimeUnit.NANOSECONDS)
@State(Scope.Thread)
public class BridgeBenchmark {

    private long handle;

    @Setup(Level.Trial)
    public void open() {
        handle = InstantDevice.open();
    }

    @TearDown(Level.Trial)
    public void close() {
        InstantDevice.close(handle);
    }

    @Benchmark
    public int getQueueStatus() {
        return D2XX.getQueueStatus(handle);
    }

    @Benchmark
    public int read(TransferSize transfer) {
        return D2XX.read(handle, transfer.bytes, 0, transfer.size);
    }

    @Benchmark
    public int write(TransferSize transfer) {
        return D2XX.write(handle, transfer.bytes, 0, transfer.size);
    }
}
