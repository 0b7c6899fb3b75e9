package nl.tamsel.ftdi.svf;

import java.io.IOException;

/**
 * The bits a scan captured differ from those the SVF file expects where its mask is set: the
 * part did not answer as the file says (a failed verify, a wrong device, a broken chain). The
 * run stops here.
 */
public class SvfCompareException extends IOException {

    private static final long serialVersionUID = 1L;

    /** The SVF line of the scan. */
    private final int line;
    /** The expected bits. */
    private final transient SvfBits expected;
    /** The captured bits. */
    private final transient SvfBits captured;
    /** The compared bits. */
    private final transient SvfBits mask;

    /**
     * Creates the exception.
     *
     * @param line     the SVF line of the scan
     * @param expected the expected bits (TDO), over the whole scan with header and trailer
     * @param captured the captured bits
     * @param mask     the compared bits
     */
    public SvfCompareException(int line, SvfBits expected, SvfBits captured, SvfBits mask) {
        super("SVF line " + line + ": TDO mismatch: expected (" + expected.toHex() + "), captured ("
                + captured.toHex() + "), mask (" + mask.toHex() + ")");
        this.line = line;
        this.expected = expected;
        this.captured = captured;
        this.mask = mask;
    }

    /**
     * The SVF line of the scan that failed.
     *
     * @return the line of the scan's keyword
     */
    public int line() {
        return line;
    }

    /**
     * The expected bits.
     *
     * @return TDO over the whole scan (header, scan, trailer)
     */
    public SvfBits expected() {
        return expected;
    }

    /**
     * The captured bits.
     *
     * @return what came back from the chain
     */
    public SvfBits captured() {
        return captured;
    }

    /**
     * The compared bits.
     *
     * @return ones where the captured bit had to match
     */
    public SvfBits mask() {
        return mask;
    }
}
