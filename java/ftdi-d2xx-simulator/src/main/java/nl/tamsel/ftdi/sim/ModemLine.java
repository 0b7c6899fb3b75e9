package nl.tamsel.ftdi.sim;

/** A modem input line a simulated device sees, with its bit in the modem status. */
public enum ModemLine {
    /** Clear to send. */
    CTS(0x10),
    /** Data set ready. */
    DSR(0x20),
    /** Ring indicator. */
    RI(0x40),
    /** Data carrier detect. */
    DCD(0x80);

    private final int bit;

    ModemLine(int bit) {
        this.bit = bit;
    }

    /**
     * Returns the line's bit in the modem status the driver reports.
     *
     * @return 0x10, 0x20, 0x40 or 0x80
     */
    public int bit() {
        return bit;
    }
}
