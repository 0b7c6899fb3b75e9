package nl.tamsel.ftdi.usb;

import java.io.IOException;

/**
 * An I2C target did not acknowledge a byte (NACK): no device answers at the address, or the
 * device refused a byte written to it. Not a driver failure, so an {@link IOException} beside
 * {@link FtdiException}.
 */
public class I2cNackException extends IOException {

    private static final long serialVersionUID = 1L;

    /** The address the transaction went to. */
    private final transient I2cAddress address;
    /** The refused byte's index among those written after the address, or -1 for the address. */
    private final int byteIndex;

    /**
     * Creates the exception.
     *
     * @param address   the target's address
     * @param byteIndex the index of the refused byte among those written after the address,
     *                  or -1 when the address itself was refused
     * @param reading   whether the address was refused for reading (after a repeated start)
     */
    public I2cNackException(I2cAddress address, int byteIndex, boolean reading) {
        super(byteIndex < 0
                ? "No acknowledgement from I2C address " + address + (reading ? " for reading" : "")
                        + ": no device answers there, or it is busy"
                : "I2C device " + address + " refused byte " + byteIndex + " written to it (NACK)");
        this.address = address;
        this.byteIndex = byteIndex;
    }

    /**
     * The address the transaction went to.
     *
     * @return the address
     */
    public I2cAddress address() {
        return address;
    }

    /**
     * Which byte was refused.
     *
     * @return the index among the bytes written after the address (register bytes first, for the
     *         register methods), or -1 when the address was refused
     */
    public int byteIndex() {
        return byteIndex;
    }

    /**
     * Whether the address itself was refused.
     *
     * @return true when no device acknowledged the address
     */
    public boolean addressRefused() {
        return byteIndex < 0;
    }
}
