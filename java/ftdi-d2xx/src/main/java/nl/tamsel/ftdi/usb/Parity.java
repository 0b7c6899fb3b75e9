package nl.tamsel.ftdi.usb;

/** The parity bit added to each character on the serial line. */
public enum Parity {
    /** No parity bit, the usual choice. */
    NONE(D2XXConstants.FT_PARITY_NONE),
    /** The parity bit makes the number of ones odd. */
    ODD(D2XXConstants.FT_PARITY_ODD),
    /** The parity bit makes the number of ones even. */
    EVEN(D2XXConstants.FT_PARITY_EVEN),
    /** The parity bit is always 1. */
    MARK(D2XXConstants.FT_PARITY_MARK),
    /** The parity bit is always 0. */
    SPACE(D2XXConstants.FT_PARITY_SPACE);

    private final int code;

    Parity(int code) {
        this.code = code;
    }

    /**
     * The driver's code for this setting.
     *
     * @return the parity code the driver takes
     */
    public int code() {
        return code;
    }
}
