package nl.tamsel.ftdi.usb;

/**
 * The sixteen states of a JTAG test access port (TAP), and how TMS moves between them on each
 * rising edge of TCK. Every device of a chain shares TCK and TMS, so all are in the same state.
 *
 * <p>The stable states are those a TAP can stay in while TCK runs with TMS held:
 * {@link #TEST_LOGIC_RESET} (TMS 1), {@link #RUN_TEST_IDLE}, {@link #PAUSE_DR} and
 * {@link #PAUSE_IR} (TMS 0), and the two shift states, which shift a bit on every clock.
 */
public enum TapState {
    /** Test-Logic-Reset: the devices' test logic is off; IDCODE (or BYPASS) is the instruction. */
    TEST_LOGIC_RESET,
    /** Run-Test/Idle. */
    RUN_TEST_IDLE,
    /** Select-DR-Scan. */
    SELECT_DR_SCAN,
    /** Capture-DR: the selected data register loads its value. */
    CAPTURE_DR,
    /** Shift-DR: the data registers shift one bit per clock from TDI towards TDO. */
    SHIFT_DR,
    /** Exit1-DR. */
    EXIT1_DR,
    /** Pause-DR. */
    PAUSE_DR,
    /** Exit2-DR. */
    EXIT2_DR,
    /** Update-DR: the shifted data is latched. */
    UPDATE_DR,
    /** Select-IR-Scan. */
    SELECT_IR_SCAN,
    /** Capture-IR: the instruction registers load their capture pattern (ending in 01). */
    CAPTURE_IR,
    /** Shift-IR: the instruction registers shift one bit per clock from TDI towards TDO. */
    SHIFT_IR,
    /** Exit1-IR. */
    EXIT1_IR,
    /** Pause-IR. */
    PAUSE_IR,
    /** Exit2-IR. */
    EXIT2_IR,
    /** Update-IR: the shifted instruction becomes the current one. */
    UPDATE_IR;

    /** Per state, the next state for TMS 0 and for TMS 1. */
    private static final TapState[][] NEXT = {
        {RUN_TEST_IDLE, TEST_LOGIC_RESET},
        {RUN_TEST_IDLE, SELECT_DR_SCAN},
        {CAPTURE_DR, SELECT_IR_SCAN},
        {SHIFT_DR, EXIT1_DR},
        {SHIFT_DR, EXIT1_DR},
        {PAUSE_DR, UPDATE_DR},
        {PAUSE_DR, EXIT2_DR},
        {SHIFT_DR, UPDATE_DR},
        {RUN_TEST_IDLE, SELECT_DR_SCAN},
        {CAPTURE_IR, TEST_LOGIC_RESET},
        {SHIFT_IR, EXIT1_IR},
        {SHIFT_IR, EXIT1_IR},
        {PAUSE_IR, UPDATE_IR},
        {PAUSE_IR, EXIT2_IR},
        {SHIFT_IR, UPDATE_IR},
        {RUN_TEST_IDLE, SELECT_DR_SCAN},
    };

    /** Shortest TMS sequences, [from][to]: the bits in clock order from bit 0, and the count in bits 16 and up. */
    private static final int[][] PATHS = shortestPaths();

    /**
     * The state after one rising edge of TCK.
     *
     * @param tms the level of TMS at that edge
     * @return the next state
     */
    public TapState next(boolean tms) {
        return NEXT[ordinal()][tms ? 1 : 0];
    }

    /**
     * Whether the TAP can stay in this state while TCK runs: Test-Logic-Reset, Run-Test/Idle,
     * Shift-DR, Pause-DR, Shift-IR and Pause-IR.
     *
     * @return true for a stable state
     */
    public boolean isStable() {
        return this == TEST_LOGIC_RESET || this == RUN_TEST_IDLE || this == SHIFT_DR || this == PAUSE_DR
                || this == SHIFT_IR || this == PAUSE_IR;
    }

    /**
     * Whether the state is one of the data register column's (Select-DR-Scan to Update-DR).
     *
     * @return true for a DR state
     */
    boolean isDr() {
        return ordinal() >= SELECT_DR_SCAN.ordinal() && ordinal() <= UPDATE_DR.ordinal();
    }

    /**
     * The fewest TMS bits that lead from this state to another, in clock order from bit 0. To
     * Test-Logic-Reset from elsewhere it is always five ones, which reach it from any state.
     */
    int pathTo(TapState target) {
        return PATHS[ordinal()][target.ordinal()] & 0xFFFF;
    }

    /** The number of bits of {@link #pathTo}. */
    int pathLength(TapState target) {
        return PATHS[ordinal()][target.ordinal()] >>> 16;
    }

    private static int[][] shortestPaths() {
        TapState[] states = values();
        int[][] paths = new int[states.length][states.length];
        for (TapState from : states) {
            // Breadth first, TMS 0 before 1, so that equal-length paths are always chosen alike.
            int[] found = paths[from.ordinal()];
            java.util.Arrays.fill(found, -1);
            found[from.ordinal()] = 0;
            java.util.ArrayDeque<TapState> queue = new java.util.ArrayDeque<>(java.util.List.of(from));
            while (!queue.isEmpty()) {
                TapState at = queue.removeFirst();
                int bits = found[at.ordinal()] & 0xFFFF;
                int length = found[at.ordinal()] >>> 16;
                for (int tms = 0; tms < 2; tms++) {
                    TapState to = NEXT[at.ordinal()][tms];
                    if (found[to.ordinal()] == -1) {
                        found[to.ordinal()] = (length + 1) << 16 | bits | tms << length;
                        queue.addLast(to);
                    }
                }
            }
            if (from != TEST_LOGIC_RESET) {
                found[TEST_LOGIC_RESET.ordinal()] = 5 << 16 | 0x1F;
            }
        }
        return paths;
    }
}
