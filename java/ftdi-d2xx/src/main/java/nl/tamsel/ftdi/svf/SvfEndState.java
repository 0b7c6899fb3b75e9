package nl.tamsel.ftdi.svf;

/**
 * {@code ENDIR} or {@code ENDDR}: the stable state later instruction or data scans end in.
 *
 * @param instruction true for ENDIR, false for ENDDR
 * @param state       a stable state
 * @param line        the line of the keyword
 */
public record SvfEndState(boolean instruction, SvfState state, int line) implements SvfStatement {
}
