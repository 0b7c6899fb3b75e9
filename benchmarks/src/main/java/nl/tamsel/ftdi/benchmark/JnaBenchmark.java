package nl.tamsel.ftdi.benchmark;

import com.sun.jna.Memory;
import com.sun.jna.Pointer;
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
 * The same driver calls through JNA direct mapping, each answering as the bridge does (the
 * count, or the negated status). "Array" calls pass the Java array, as the bridge's callers do;
 * "Memory" calls keep the bytes in native memory and never copy them into a Java array.
 */
@BenchmarkMode(Mode.AverageTime)
@OutputTimeUnit(TimeUnit.NANOSECONDS)
@State(Scope.Thread)
public class JnaBenchmark {

    private long handleBits;
    private Pointer handle;
    private final int[] count = new int[1];
    private final Memory countMemory = new Memory(Integer.BYTES);
    private final Memory buffer = new Memory(65536);

    @Setup(Level.Trial)
    public void open() {
        handleBits = InstantDevice.open();
        handle = new Pointer(handleBits);
    }

    @TearDown(Level.Trial)
    public void close() {
        InstantDevice.close(handleBits);
    }

    private static int countOrError(int status, int count) {
        return status == 0 ? count : -status;
    }

    @Benchmark
    public int getQueueStatusArray() {
        return countOrError(JnaArrays.FT_GetQueueStatus(handle, count), count[0]);
    }

    @Benchmark
    public int readArray(TransferSize transfer) {
        return countOrError(JnaArrays.FT_Read(handle, transfer.bytes, transfer.size, count), count[0]);
    }

    @Benchmark
    public int writeArray(TransferSize transfer) {
        return countOrError(JnaArrays.FT_Write(handle, transfer.bytes, transfer.size, count), count[0]);
    }

    @Benchmark
    public int getQueueStatusMemory() {
        return countOrError(JnaPointers.FT_GetQueueStatus(handle, countMemory), countMemory.getInt(0));
    }

    @Benchmark
    public int readMemory(TransferSize transfer) {
        return countOrError(JnaPointers.FT_Read(handle, buffer, transfer.size, countMemory), countMemory.getInt(0));
    }

    @Benchmark
    public int writeMemory(TransferSize transfer) {
        return countOrError(JnaPointers.FT_Write(handle, buffer, transfer.size, countMemory), countMemory.getInt(0));
    }
}
