package nl.tamsel.ftdi.svf;

/**
 * The TAP states by their SVF names. {@link #RESET}, {@link #IDLE}, {@link #DRPAUSE} and
 * {@link #IRPAUSE} are the stable states a statement may end in; the others appear only in the
 * paths of a {@code STATE} statement.
 */
public enum SvfState {
    /** Test-Logic-Reset. */
    RESET,
    /** Run-Test/Idle. */
    IDLE,
    /** Select-DR-Scan. */
    DRSELECT,
    /** Capture-DR. */
    DRCAPTURE,
    /** Shift-DR. */
    DRSHIFT,
    /** Exit1-DR. */
    DREXIT1,
    /** Pause-DR. */
    DRPAUSE,
    /** Exit2-DR. */
    DREXIT2,
    /** Update-DR. */
    DRUPDATE,
    /** Select-IR-Scan. */
    IRSELECT,
    /** Capture-IR. */
    IRCAPTURE,
    /** Shift-IR. */
    IRSHIFT,
    /** Exit1-IR. */
    IREXIT1,
    /** Pause-IR. */
    IRPAUSE,
    /** Exit2-IR. */
    IREXIT2,
    /** Update-IR. */
    IRUPDATE;

    /**
     * Whether a statement may end in this state.
     *
     * @return true for RESET, IDLE, DRPAUSE and IRPAUSE
     */
    public boolean isStable() {
        return this == RESET || this == IDLE || this == DRPAUSE || this == IRPAUSE;
    }

    /**
     * The state one TCK clock leads to.
     *
     * @param tms the TMS level on that clock
     * @return the next state of the TAP state table
     */
    public SvfState next(boolean tms) {
        switch (this) {
            case RESET: return tms ? RESET : IDLE;
            case IDLE: return tms ? DRSELECT : IDLE;
            case DRSELECT: return tms ? IRSELECT : DRCAPTURE;
            case DRCAPTURE: return tms ? DREXIT1 : DRSHIFT;
            case DRSHIFT: return tms ? DREXIT1 : DRSHIFT;
            case DREXIT1: return tms ? DRUPDATE : DRPAUSE;
            case DRPAUSE: return tms ? DREXIT2 : DRPAUSE;
            case DREXIT2: return tms ? DRUPDATE : DRSHIFT;
            case DRUPDATE: return tms ? DRSELECT : IDLE;
            case IRSELECT: return tms ? RESET : IRCAPTURE;
            case IRCAPTURE: return tms ? IREXIT1 : IRSHIFT;
            case IRSHIFT: return tms ? IREXIT1 : IRSHIFT;
            case IREXIT1: return tms ? IRUPDATE : IRPAUSE;
            case IRPAUSE: return tms ? IREXIT2 : IRPAUSE;
            case IREXIT2: return tms ? IRUPDATE : IRSHIFT;
            case IRUPDATE: return tms ? DRSELECT : IDLE;
            default: throw new AssertionError(this);
        }
    }

    /**
     * Whether one clock leads from this state to another.
     *
     * @param other the state that should follow
     * @return true when TMS 0 or TMS 1 leads there
     */
    public boolean leadsTo(SvfState other) {
        return next(false) == other || next(true) == other;
    }
}
