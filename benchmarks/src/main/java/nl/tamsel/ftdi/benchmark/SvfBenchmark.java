package nl.tamsel.ftdi.benchmark;

import java.io.IOException;
import java.io.StringReader;
import java.util.concurrent.TimeUnit;
import nl.tamsel.ftdi.svf.SvfParser;
import nl.tamsel.ftdi.svf.SvfPlayer;
import nl.tamsel.ftdi.usb.FtdiDevice;
import nl.tamsel.ftdi.usb.JtagConfig;
import nl.tamsel.ftdi.usb.JtagController;
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
 * The host CPU an SVF file costs: reading it ({@link SvfParser}) and, on the null driver, reading
 * it and building its MPSSE commands. The file is a programming file's pattern: 20,000
 * {@code SDR 256} scans each followed by {@code RUNTEST 100 TCK}, TDO compared on every tenth
 * (2.2 MB of text). One operation is the whole file; its size divided by the time is the rate.
 */
@BenchmarkMode(Mode.AverageTime)
@OutputTimeUnit(TimeUnit.MILLISECONDS)
@State(Scope.Benchmark)
public class SvfBenchmark {

    /** The file the benchmarks read, as text. */
    public static final String FILE = programmingFile(20_000);

    /**
     * A programming file's pattern.
     *
     * @param scans the number of SDR scans
     * @return the SVF text
     */
    public static String programmingFile(int scans) {
        StringBuilder text = new StringBuilder("FREQUENCY 3E6 HZ;\nSTATE RESET;\nSTATE IDLE;\n");
        String tdi = "0123456789ABCDEF".repeat(4);
        for (int i = 0; i < scans; i++) {
            text.append("SDR 256 TDI (").append(tdi).append(')');
            if (i % 10 == 0) {
                text.append(" TDO (").append("0".repeat(64)).append(") MASK (").append("F".repeat(64)).append(')');
            }
            text.append(";\nRUNTEST 100 TCK;\n");
        }
        return text.toString();
    }

    @Benchmark
    public long parse() throws IOException {
        long count = 0;
        try (SvfParser parser = new SvfParser(new StringReader(FILE))) {
            while (parser.next() != null) {
                count++;
            }
        }
        return count;
    }

    private FtdiDevice device;
    private JtagController jtag;

    @Setup(Level.Trial)
    public void open() throws IOException {
        if (LibraryPaths.simulated()) {
            throw new IllegalStateException("an SVF file's host CPU is measured on the null driver only");
        }
        device = FtdiDevice.openByIndex(0);
        jtag = device.jtag(JtagConfig.builder().clockHz(3_000_000).build());
    }

    @TearDown(Level.Trial)
    public void close() throws IOException {
        jtag.close();
        device.close();
    }

    /** Reads the file and builds its commands; the null driver takes them and answers zeros, which match. */
    @Benchmark
    public long play() throws IOException {
        return new SvfPlayer(jtag).play(new StringReader(FILE)).commandBytes();
    }
}
