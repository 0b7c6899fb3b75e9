package nl.tamsel.ftdi.usb;

/** The number of stop bits after each character on the serial line. */
public enum StopBits {
    /** One stop bit, the usual choice. */
    ONE(D2XXConstants.FT_STOP_BITS_1),
    /** Two stop bits. */
    TWO(D2XXConstants.FT_STOP_BITS_2);

    private final int code;

    StopBits(int code) {
        this.code = code;
    }

    /**
     * The driver's code for this setting.
     *
     * @return the stop-bits code the driver takes
     */
    public int code() {
        return code;
    }
}
