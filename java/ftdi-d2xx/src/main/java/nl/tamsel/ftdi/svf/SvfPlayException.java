package nl.tamsel.ftdi.svf;

import java.io.IOException;

/**
 * Playing an SVF file failed for a reason outside the file: the device went away, the driver
 * failed, or the controller refused a statement. The message names the line the run had reached;
 * the cause is the underlying failure.
 */
public class SvfPlayException extends IOException {

    private static final long serialVersionUID = 1L;

    /** The SVF line the run had reached. */
    private final int line;

    /**
     * Creates the exception.
     *
     * @param line  the SVF line the run had reached
     * @param cause the failure
     */
    public SvfPlayException(int line, Throwable cause) {
        super("SVF line " + line + " reached: " + cause.getMessage(), cause);
        this.line = line;
    }

    /**
     * The line the run had reached.
     *
     * @return the line of the statement being played when the failure surfaced
     */
    public int line() {
        return line;
    }
}
