package nl.tamsel.ftdi.sim;

/** A line error a simulated device can raise, with its bit in the line status. */
public enum LineError {
    /** The receive buffer overflowed. */
    OVERRUN(0x02),
    /** A byte arrived with the wrong parity. */
    PARITY(0x04),
    /** A byte arrived without a valid stop bit. */
    FRAMING(0x08),
    /** The line was held in the break state. */
    BREAK(0x10);

    private final int bit;

    LineError(int bit) {
        this.bit = bit;
    }

    /**
     * Returns the error's bit in the line status (bits 8 to 15 of the modem status).
     *
     * @return 0x02, 0x04, 0x08 or 0x10
     */
    public int bit() {
        return bit;
    }
}
