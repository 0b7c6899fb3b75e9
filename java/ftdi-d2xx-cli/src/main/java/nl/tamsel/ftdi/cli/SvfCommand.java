package nl.tamsel.ftdi.cli;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import nl.tamsel.ftdi.svf.SvfCompareException;
import nl.tamsel.ftdi.svf.SvfPlayException;
import nl.tamsel.ftdi.svf.SvfPlayer;
import nl.tamsel.ftdi.svf.SvfSummary;
import nl.tamsel.ftdi.svf.SvfSyntaxException;
import nl.tamsel.ftdi.usb.FtdiDevice;
import nl.tamsel.ftdi.usb.JtagConfig;
import nl.tamsel.ftdi.usb.JtagController;

/** {@code jtag svf <device> FILE [--frequency HZ]}: plays an SVF file through the JTAG pins, for {@link JtagCommand}. */
final class SvfCommand {

    /** The highest TCK an H chip makes: the file's FREQUENCY statements decide below it. */
    private static final long FASTEST_HZ = 30_000_000;

    static final String HELP = "  jtag svf <device> FILE               plays an SVF file (erase, program, verify, as vendors' tools\n"
            + "                                       write them), checked whole before anything is clocked, and\n"
            + "                                       prints a summary; exit 7 when captured bits differ from the\n"
            + "                                       file's TDO, 2 when the file is malformed. --frequency caps\n"
            + "                                       its FREQUENCY statements (without it: up to 30 MHz, starting\n"
            + "                                       at 1 MHz)\n";

    private SvfCommand() {
    }

    /** Runs {@code svf <device> FILE}, the positional arguments after {@code jtag}. */
    static void run(Arguments args, Command.Output output) throws CommandFailure, IOException {
        args.requirePositional("svf", "<device>", "FILE");
        var selector = LineOptions.selector(args.positional.get(1));
        Path file = Path.of(args.positional.get(2));
        long size;
        try {
            size = Files.size(file);
        } catch (NoSuchFileException e) {
            throw new CommandFailure(ExitCode.FILE_ERROR, "No such SVF file: " + file);
        }
        long highest = args.has("frequency") ? args.intOption("frequency", 0, 1, Integer.MAX_VALUE) : FASTEST_HZ;
        long clockHz = args.has("frequency") ? highest : JtagConfig.DEFAULT_CLOCK_HZ;
        ProgressBar progress = new ProgressBar(output.progress(), size);
        long started = System.nanoTime();
        SvfSummary summary;
        try (FtdiDevice device = FtdiDevice.open(selector);
             JtagController jtag = device.jtag(JtagConfig.builder().clockHz(clockHz).build())) {
            summary = new SvfPlayer(jtag).highestClockHz(highest)
                    .onProgress((statements, characters) -> progress.update(characters))
                    .play(file);
        } catch (SvfSyntaxException e) {
            throw new CommandFailure(ExitCode.SVF_MALFORMED, file + ": " + e.getMessage());
        } catch (SvfCompareException e) {
            throw new CommandFailure(ExitCode.SVF_MISMATCH, file + ": " + e.getMessage());
        } catch (SvfPlayException e) {
            throw new CommandFailure(ExitCode.DEVICE_ERROR, file + ": " + e.getMessage());
        } finally {
            progress.finish();
        }
        long wallNanos = System.nanoTime() - started;
        output.out().printf("%s: %d statements, %d scans, %d compared, all matched%n", file.getFileName(),
                summary.statements(), summary.scans(), summary.compares());
        output.out().printf("bus time %.3f ms (%d MPSSE command bytes), wall time %.3f ms%n",
                summary.busTime().toNanos() / 1e6, summary.commandBytes(), wallNanos / 1e6);
    }
}
