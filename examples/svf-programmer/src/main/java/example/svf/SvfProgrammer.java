package example.svf;

import java.io.IOException;
import java.nio.file.Path;
import nl.tamsel.ftdi.svf.SvfPlayer;
import nl.tamsel.ftdi.svf.SvfSummary;
import nl.tamsel.ftdi.usb.FtdiDevice;
import nl.tamsel.ftdi.usb.JtagConfig;
import nl.tamsel.ftdi.usb.JtagController;

/**
 * Programs a part from an SVF file, as a CPLD's or FPGA's vendor tool writes it, through the
 * JTAG adapter with the given serial number.
 */
public final class SvfProgrammer {

    private SvfProgrammer() {
    }

    /**
     * Plays the file; a malformed file is refused before anything is clocked, and a failed
     * verify stops the run with the line, the expected and captured bits and the mask.
     *
     * @param serial  the adapter's serial number
     * @param svf     the SVF file
     * @param clockHz the highest TCK frequency (the file's FREQUENCY may lower it)
     * @return what the run did
     * @throws IOException when the file is malformed, a verify fails or the adapter fails
     */
    public static SvfSummary program(String serial, Path svf, long clockHz) throws IOException {
        try (FtdiDevice adapter = FtdiDevice.openBySerialNumber(serial);
             JtagController jtag = adapter.jtag(JtagConfig.builder().clockHz(clockHz).build())) {
            return new SvfPlayer(jtag).play(svf);
        }
    }

    /**
     * Programs from the command line: {@code SvfProgrammer SERIAL FILE.svf [HZ]}.
     *
     * @param args the serial number, the file and optionally the frequency (default 6 MHz)
     * @throws IOException when programming fails
     */
    public static void main(String[] args) throws IOException {
        long clockHz = args.length > 2 ? Long.parseLong(args[2]) : 6_000_000;
        SvfSummary summary = program(args[0], Path.of(args[1]), clockHz);
        System.out.println(summary.statements() + " statements, " + summary.scans() + " scans, "
                + summary.compares() + " verified, bus time " + summary.busTime().toMillis() + " ms");
    }
}
