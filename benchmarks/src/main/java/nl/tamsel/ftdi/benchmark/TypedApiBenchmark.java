package nl.tamsel.ftdi.benchmark;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.util.concurrent.TimeUnit;
import nl.tamsel.ftdi.usb.FtdiDevice;
import org.openjdk.jmh.annotations.Benchmark;
import org.openjdk.jmh.annotations.BenchmarkMode;
import org.openjdk.jmh.annotations.Level;
import org.openjdk.jmh.annotations.Mode;
import org.openjdk.jmh.annotations.OutputTimeUnit;
import org.openjdk.jmh.annotations.Param;
import org.openjdk.jmh.annotations.Scope;
import org.openjdk.jmh.annotations.Setup;
import org.openjdk.jmh.annotations.State;
import org.openjdk.jmh.annotations.TearDown;

/**
 * The typed API over the bridge: {@link FtdiDevice}'s transfers and query, and its streams. Set
 * beside {@link BridgeBenchmark}'s raw calls of the same sizes, the difference is what the typed
 * API adds per call (its close protection and result checks). Needs the null driver, whose
 * reads always return every byte asked for and whose receive queue is never empty.
 */
@BenchmarkMode(Mode.AverageTime)
@OutputTimeUnit(TimeUnit.NANOSECONDS)
@State(Scope.Thread)
public class TypedApiBenchmark {

    private FtdiDevice device;
    private InputStream input;
    private OutputStream output;

    /** The sizes the typed API is measured at: one byte, a short packet, a USB transfer block. */
    @State(Scope.Thread)
    public static class Size {

        /** Bytes per read or write. */
        @Param({"1", "64", "4096"})
        public int size;

        /** The Java array the bytes are read into or written from. */
        public byte[] bytes;

        @Setup
        public void allocate() {
            bytes = new byte[size];
        }
    }

    @Setup(Level.Trial)
    public void open() throws IOException {
        if (LibraryPaths.simulated()) {
            throw new IllegalStateException("the typed API is measured on the null driver only");
        }
        device = FtdiDevice.openByIndex(0);
        input = device.getInputStream();
        output = device.getOutputStream();
    }

    @TearDown(Level.Trial)
    public void close() throws IOException {
        device.close();
    }

    @Benchmark
    public int bytesAvailable() throws IOException {
        return device.bytesAvailable();
    }

    @Benchmark
    public int deviceRead(Size transfer) throws IOException {
        return device.read(transfer.bytes, 0, transfer.size);
    }

    @Benchmark
    public int deviceWrite(Size transfer) throws IOException {
        return device.write(transfer.bytes, 0, transfer.size);
    }

    @Benchmark
    public int streamRead(Size transfer) throws IOException {
        return input.read(transfer.bytes, 0, transfer.size);
    }

    @Benchmark
    public byte[] streamWrite(Size transfer) throws IOException {
        output.write(transfer.bytes, 0, transfer.size);
        return transfer.bytes;
    }
}
