package nl.tamsel.ftdi.usb;

import java.util.StringJoiner;

/**
 * The modem lines and line errors of a device at one moment, decoded from the driver's status
 * word. The driver clears the line errors once it has reported them.
 *
 * @param raw the word the driver reported: modem lines in bits 0 to 7, line errors in bits 8 to 15
 */
public record ModemStatus(int raw) {

    /**
     * Whether Clear To Send is active.
     *
     * @return the CTS line
     */
    public boolean cts() {
        return has(D2XXConstants.MODEM_STATUS_CTS);
    }

    /**
     * Whether Data Set Ready is active.
     *
     * @return the DSR line
     */
    public boolean dsr() {
        return has(D2XXConstants.MODEM_STATUS_DSR);
    }

    /**
     * Whether Ring Indicator is active.
     *
     * @return the RI line
     */
    public boolean ri() {
        return has(D2XXConstants.MODEM_STATUS_RI);
    }

    /**
     * Whether Data Carrier Detect is active.
     *
     * @return the DCD line
     */
    public boolean dcd() {
        return has(D2XXConstants.MODEM_STATUS_DCD);
    }

    /**
     * Whether a received byte was lost because the receiver was full.
     *
     * @return the overrun error
     */
    public boolean overrunError() {
        return has(D2XXConstants.LINE_STATUS_OVERRUN_ERROR);
    }

    /**
     * Whether a byte arrived with the wrong parity.
     *
     * @return the parity error
     */
    public boolean parityError() {
        return has(D2XXConstants.LINE_STATUS_PARITY_ERROR);
    }

    /**
     * Whether a byte arrived without a valid stop bit.
     *
     * @return the framing error
     */
    public boolean framingError() {
        return has(D2XXConstants.LINE_STATUS_FRAMING_ERROR);
    }

    /**
     * Whether the other end held the line in the break state.
     *
     * @return the break interrupt
     */
    public boolean breakInterrupt() {
        return has(D2XXConstants.LINE_STATUS_BREAK_INTERRUPT);
    }

    /**
     * Whether any line error is reported.
     *
     * @return true when overrun, parity, framing or break is set
     */
    public boolean hasLineErrors() {
        return overrunError() || parityError() || framingError() || breakInterrupt();
    }

    private boolean has(int bit) {
        return (raw & bit) != 0;
    }

    /**
     * The active lines and the errors, by name.
     *
     * @return for example "CTS DSR DCD, framing error", or "no lines active"
     */
    @Override
    public String toString() {
        StringJoiner lines = new StringJoiner(" ");
        lines.setEmptyValue("no lines active");
        add(lines, cts(), "CTS");
        add(lines, dsr(), "DSR");
        add(lines, ri(), "RI");
        add(lines, dcd(), "DCD");
        StringJoiner errors = new StringJoiner(", ");
        add(errors, overrunError(), "overrun error");
        add(errors, parityError(), "parity error");
        add(errors, framingError(), "framing error");
        add(errors, breakInterrupt(), "break");
        return errors.length() == 0 ? lines.toString() : lines + ", " + errors;
    }

    private static void add(StringJoiner joiner, boolean set, String name) {
        if (set) {
            joiner.add(name);
        }
    }
}
