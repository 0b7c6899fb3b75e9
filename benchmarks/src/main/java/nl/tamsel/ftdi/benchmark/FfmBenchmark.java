package nl.tamsel.ftdi.benchmark;

import java.util.concurrent.TimeUnit;
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
 * The same driver calls through the FFM API (Java 22 and later). "Array" calls copy between the
 * Java array and native memory around the call, as the bridge does; "Native" calls leave the
 * bytes in native memory.
 */
@BenchmarkMode(Mode.AverageTime)
@OutputTimeUnit(TimeUnit.NANOSECONDS)
@State(Scope.Thread)
public class FfmBenchmark {

    private long handle;
    private ForeignCalls driver;

    @Setup(Level.Trial)
    public void open() {
        handle = InstantDevice.open();
        driver = ForeignCalls.forHandle(handle);
    }

    @TearDown(Level.Trial)
    public void close() {
        InstantDevice.close(handle);
    }

    @Benchmark
    public int bareDowncall() {
        return driver.bareDowncall();
    }

    @Benchmark
    public int getQueueStatus() {
        return driver.getQueueStatus();
    }

    @Benchmark
    public int readArray(TransferSize transfer) {
        return driver.read(transfer.bytes, transfer.size);
    }

    @Benchmark
    public int writeArray(TransferSize transfer) {
        return driver.write(transfer.bytes, transfer.size);
    }

    @Benchmark
    public int readNative(TransferSize transfer) {
        return driver.readNative(transfer.size);
    }

    @Benchmark
    public int writeNative(TransferSize transfer) {
        return driver.writeNative(transfer.size);
    }
}
