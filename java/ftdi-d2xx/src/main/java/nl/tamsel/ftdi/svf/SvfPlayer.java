package nl.tamsel.ftdi.svf;

import java.io.IOException;
import java.io.Reader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Objects;
import nl.tamsel.ftdi.usb.JtagController;

/**
 * Plays SVF files through a {@link JtagController}: scans and waits are appended to one
 * streaming {@link nl.tamsel.ftdi.usb.JtagBatch}, so the device gets them in large writes and
 * the host never waits between scans; only the captured bits of scans that compare TDO come
 * back, and they are checked as they arrive.
 *
 * <pre>{@code
 * try (FtdiDevice device = FtdiDevice.openBySerialNumber("FT232HJT");
 *      JtagController jtag = device.jtag(JtagConfig.builder().clockHz(6_000_000).build())) {
 *     SvfSummary summary = new SvfPlayer(jtag)
 *             .onProgress((statements, characters) -> System.out.print("."))
 *             .play(Path.of("program.svf"));
 *     System.out.println(summary.scans() + " scans, " + summary.compares() + " compared");
 * }
 * }</pre>
 *
 * <p>Compares are checked as their captured bits come back, which is when the replies due reach
 * the device's reply bound or at the end: the statements after a failing compare may already
 * have been clocked by then (in a file with few compares, all of them). A file that must stop
 * before erasing when, say, the IDCODE is wrong is played as two files.
 *
 * <p>A run starts at the controller's frequency; {@code FREQUENCY} statements change it, never
 * above the highest frequency set here (by default the controller's when the run starts). TCK counts of RUNTEST given in SCK (system clocks) are clocked
 * on TCK, the only clock the adapter has. Waits are clock-only MPSSE commands, the longer of the
 * clock count and the minimum time at the current frequency; a MAXIMUM time is accepted and not
 * checked, as the wait is never longer than both minimums ask for. SMASK is not needed: every TDI
 * bit is shifted as the file gives it.
 *
 * <p>A player is used by one thread at a time; closing the controller from another thread ends a
 * run with {@link java.nio.channels.AsynchronousCloseException}.
 */
public final class SvfPlayer {

    private final JtagController jtag;
    private SvfProgressListener listener = (statements, characters) -> { };
    private long highestClockHz;

    /**
     * A player on a controller, which it does not close.
     *
     * @param jtag the controller, with its frequency the highest for the runs
     */
    public SvfPlayer(JtagController jtag) {
        this.jtag = Objects.requireNonNull(jtag, "jtag");
    }

    /**
     * Sets the highest TCK frequency a file's {@code FREQUENCY} statements may ask for; a
     * {@code FREQUENCY} without a number asks for this one.
     *
     * @param hz the frequency in Hz, or 0 for the controller's frequency when a run starts
     * @return this player
     * @throws IllegalArgumentException if hz is negative
     */
    public SvfPlayer highestClockHz(long hz) {
        if (hz < 0) {
            throw new IllegalArgumentException("The highest TCK frequency must be 0 (the controller's) or more, not " + hz);
        }
        this.highestClockHz = hz;
        return this;
    }

    /**
     * Sets the listener told about progress.
     *
     * @param listener called on the playing thread every few hundred statements and at the end
     * @return this player
     */
    public SvfPlayer onProgress(SvfProgressListener listener) {
        this.listener = Objects.requireNonNull(listener, "listener");
        return this;
    }

    /**
     * Checks a whole file first, then plays it: a malformed file is refused before anything is
     * clocked.
     *
     * @param file the SVF file
     * @return what the run did
     * @throws SvfSyntaxException  when the file is malformed (nothing was played)
     * @throws SvfCompareException when captured bits differ from the file's TDO where its mask
     *                             is set; the run stopped at that scan
     * @throws java.nio.channels.AsynchronousCloseException when the controller was closed
     *                             during the run
     * @throws SvfPlayException    when the device or driver failed, with the line reached
     * @throws IOException         when the file cannot be read
     */
    public SvfSummary play(Path file) throws IOException {
        try (SvfParser parser = new SvfParser(Files.newBufferedReader(file, StandardCharsets.ISO_8859_1))) {
            while (parser.next() != null) {
                continue;
            }
        }
        try (Reader reader = Files.newBufferedReader(file, StandardCharsets.ISO_8859_1)) {
            return play(reader);
        }
    }

    /**
     * Plays SVF text as it is read, in memory bounded by the longest scan. A fault found late in
     * the text stops the run there: the commands before it may already have been played (those
     * within the first 64 KiB of MPSSE commands never are). {@link #play(Path)} checks first.
     *
     * @param svf the text (read as it is; buffered inside)
     * @return what the run did
     * @throws SvfSyntaxException  when the text is malformed
     * @throws SvfCompareException when captured bits differ from the file's TDO where its mask
     *                             is set
     * @throws java.nio.channels.AsynchronousCloseException when the controller was closed
     *                             during the run
     * @throws SvfPlayException    when the device or driver failed, with the line reached
     * @throws IOException         when the text cannot be read
     */
    public SvfSummary play(Reader svf) throws IOException {
        CountingReader counted = new CountingReader(svf);
        return new SvfRun(jtag, listener, highestClockHz > 0 ? highestClockHz : jtag.clockHz())
                .play(new SvfParser(counted), counted);
    }
}
