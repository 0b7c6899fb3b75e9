package nl.tamsel.ftdi.usb;

/** The number of data bits in each character on the serial line. */
public enum DataBits {
    /** Seven data bits. */
    SEVEN(D2XXConstants.FT_BITS_7),
    /** Eight data bits, the usual choice. */
    EIGHT(D2XXConstants.FT_BITS_8);

    private final int code;

    DataBits(int code) {
        this.code = code;
    }

    /**
     * The driver's code for this setting.
     *
     * @return the word length the driver takes
     */
    public int code() {
        return code;
    }
}
