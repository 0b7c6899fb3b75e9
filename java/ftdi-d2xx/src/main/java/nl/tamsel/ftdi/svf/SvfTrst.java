package nl.tamsel.ftdi.svf;

/**
 * {@code TRST}: how to drive the TRST* line.
 *
 * @param mode the level
 * @param line the line of the keyword
 */
public record SvfTrst(Mode mode, int line) implements SvfStatement {

    /** The levels of TRST*. */
    public enum Mode {
        /** Asserted (low). */
        ON,
        /** Released (high). */
        OFF,
        /** Not driven. */
        Z,
        /** There is no TRST* line. */
        ABSENT
    }
}
