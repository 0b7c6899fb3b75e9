package nl.tamsel.ftdi.benchmark;

import java.io.IOException;
import java.util.List;
import java.util.concurrent.TimeUnit;
import nl.tamsel.ftdi.usb.FtdiDevice;
import nl.tamsel.ftdi.usb.JtagBatch;
import nl.tamsel.ftdi.usb.JtagConfig;
import nl.tamsel.ftdi.usb.JtagController;
import nl.tamsel.ftdi.usb.TapState;
import org.openjdk.jmh.annotations.Benchmark;
import org.openjdk.jmh.annotations.BenchmarkMode;
import org.openjdk.jmh.annotations.Level;
import org.openjdk.jmh.annotations.Mode;
import org.openjdk.jmh.annotations.OperationsPerInvocation;
import org.openjdk.jmh.annotations.OutputTimeUnit;
import org.openjdk.jmh.annotations.Scope;
import org.openjdk.jmh.annotations.Setup;
import org.openjdk.jmh.annotations.State;
import org.openjdk.jmh.annotations.TearDown;

/**
 * The host CPU of one 64-bit JTAG data scan that captures TDO: building its MPSSE commands (the
 * TMS move to Shift-DR, the bytes, the last bit with TMS, the way back to Run-Test/Idle) and
 * putting the captured bits together. Alone, a scan is one driver write and one read; in a batch
 * of 1,000 the transfers are shared, so the batch's figure is the building itself. On the null
 * driver, which answers at once, so no USB time is in the figures.
 */
@BenchmarkMode(Mode.AverageTime)
@OutputTimeUnit(TimeUnit.NANOSECONDS)
@State(Scope.Thread)
public class JtagBenchmark {

    /** Scans per batch in {@link #batchedDrScan64}. */
    static final int BATCH = 1000;

    private FtdiDevice device;
    private JtagController jtag;
    private final byte[] tdi = {0x01, 0x23, 0x45, 0x67, (byte) 0x89, (byte) 0xAB, (byte) 0xCD, (byte) 0xEF};

    @Setup(Level.Trial)
    public void open() throws IOException {
        device = SerialBusBenchmark.openNullDevice();
        jtag = device.jtag(JtagConfig.builder().clockHz(30_000_000).build());
        jtag.goTo(TapState.RUN_TEST_IDLE);
    }

    @TearDown(Level.Trial)
    public void close() throws IOException {
        jtag.close();
        device.close();
    }

    /** One capturing 64-bit DR scan on its own: build, one driver write, one driver read, the bits. */
    @Benchmark
    public byte[] drScan64() throws IOException {
        return jtag.scanDr(64, tdi, TapState.RUN_TEST_IDLE);
    }

    /** 1,000 capturing 64-bit DR scans in one batch; the figure is per scan. */
    @Benchmark
    @OperationsPerInvocation(BATCH)
    public List<byte[]> batchedDrScan64() throws IOException {
        try (JtagBatch batch = jtag.batch()) {
            for (int i = 0; i < BATCH; i++) {
                batch.scanDr(64, tdi, TapState.RUN_TEST_IDLE);
            }
            return batch.execute();
        }
    }
}
