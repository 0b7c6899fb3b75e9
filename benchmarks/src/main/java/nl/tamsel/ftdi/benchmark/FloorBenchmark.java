package nl.tamsel.ftdi.benchmark;

import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicLong;
import org.openjdk.jmh.annotations.Benchmark;
import org.openjdk.jmh.annotations.BenchmarkMode;
import org.openjdk.jmh.annotations.Mode;
import org.openjdk.jmh.annotations.OutputTimeUnit;
import org.openjdk.jmh.annotations.Scope;
import org.openjdk.jmh.annotations.State;

/**
 * The bare JNI call, what any native call from Java costs at least, shaped like the bridge's
 * queries and like its transfers, and the query-shaped call with one of the VM callbacks that
 * the bridge's transfers make; and the two atomic additions that the typed API's close
 * protection makes per call.
 */
@BenchmarkMode(Mode.AverageTime)
@OutputTimeUnit(TimeUnit.NANOSECONDS)
@State(Scope.Thread)
public class FloorBenchmark {

    private long handle = 0x7F5A_0000_0010L;
    private final byte[] bytes = new byte[64];
    private final AtomicLong calls = new AtomicLong();

    @Benchmark
    public int bareJniCall() {
        return BareJni.call(handle);
    }

    @Benchmark
    public int bareJniTransferCall() {
        return BareJni.transfer(handle, bytes, 0, bytes.length);
    }

    /** The least a close protection costs: one atomic addition to enter a call, one to leave. */
    @Benchmark
    public long atomicEnterAndLeave() {
        calls.addAndGet(1);
        return calls.addAndGet(-1);
    }

    @Benchmark
    public int getArrayLength() {
        return BareJni.arrayLength(bytes);
    }

    @Benchmark
    public int getByteArrayRegion64() {
        return BareJni.copyRegion(bytes, bytes.length);
    }
}
