package nl.tamsel.ftdi.svf;

import java.io.IOException;

/**
 * An SVF file is malformed, or asks for something that cannot be played: the message names
 * the line, the column and what was expected there.
 */
public class SvfSyntaxException extends IOException {

    private static final long serialVersionUID = 1L;

    /** The line of the fault, 1 for the first. */
    private final int line;
    /** The column of the fault, 1 for a line's first character. */
    private final int column;
    /** What the file should have had there. */
    private final String expected;

    /**
     * Creates the exception.
     *
     * @param line     the line of the fault, 1 for the first
     * @param column   the column of the fault, 1 for the first character of a line
     * @param expected what the file should have had there
     * @param found    what it had (a short description)
     */
    public SvfSyntaxException(int line, int column, String expected, String found) {
        super("SVF line " + line + ", column " + column + ": expected " + expected + ", found " + found);
        this.line = line;
        this.column = column;
        this.expected = expected;
    }

    /**
     * The line of the fault.
     *
     * @return the line, 1 for the first
     */
    public int line() {
        return line;
    }

    /**
     * The column of the fault.
     *
     * @return the column, 1 for a line's first character
     */
    public int column() {
        return column;
    }

    /**
     * What the file should have had there.
     *
     * @return a short description, such as "a hex digit or ')'"
     */
    public String expected() {
        return expected;
    }
}
