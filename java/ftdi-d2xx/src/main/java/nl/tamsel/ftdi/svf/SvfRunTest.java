package nl.tamsel.ftdi.svf;

/**
 * {@code RUNTEST}: go to {@code runState}, clock there at least {@code clocks} times and for at
 * least {@code minSeconds} (both hold), then go to {@code endState}. Defaults are filled in: the
 * run state of the previous RUNTEST (IDLE at first), and the run state as end state.
 *
 * @param runState   the stable state to clock in
 * @param clocks     the clock count, 0 when the file gave only a time
 * @param systemClock true when the count was given in SCK (system clocks) rather than TCK
 * @param minSeconds the minimum time, 0 when the file gave only a count
 * @param maxSeconds the MAXIMUM time, or {@link Double#POSITIVE_INFINITY} when not given
 * @param endState   the stable state to end in
 * @param line       the line of the keyword
 */
public record SvfRunTest(SvfState runState, long clocks, boolean systemClock, double minSeconds,
                         double maxSeconds, SvfState endState, int line) implements SvfStatement {
}
