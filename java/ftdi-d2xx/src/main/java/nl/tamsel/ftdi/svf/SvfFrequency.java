package nl.tamsel.ftdi.svf;

/**
 * {@code FREQUENCY}: the highest TCK frequency from now on.
 *
 * @param hertz the frequency in Hz, or {@link Double#POSITIVE_INFINITY} for "the fastest"
 *              (the statement without a number)
 * @param line  the line of the keyword
 */
public record SvfFrequency(double hertz, int line) implements SvfStatement {
}
