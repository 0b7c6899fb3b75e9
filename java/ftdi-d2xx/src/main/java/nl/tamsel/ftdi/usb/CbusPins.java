package nl.tamsel.ftdi.usb;

/**
 * The four CBUS pins of an FT232R, FT232H or X-series chip as general I/O, from
 * {@link FtdiDevice#cbusPins()}; the serial line keeps working meanwhile. The EEPROM must
 * configure the pins for I/O. Pin n is CBUS n (FT232R, X series) or, on the FT232H, ACBUS5, 6, 8
 * and 9 in that order (the order is not confirmed).
 *
 * <p>Any thread may use the pins; calls are serialised. After {@link #close()}, or once the
 * device is closed, calls throw {@link IllegalStateException}.
 */
public final class CbusPins implements AutoCloseable {

    /** How many CBUS pins there are. */
    public static final int PINS = 4;
    private static final int MODE_CBUS = 0x20;

    private final DevicePort port;
    private int directions;
    private int levels;
    private boolean closed;

    private CbusPins(DevicePort port) {
        this.port = port;
    }

    static CbusPins open(DevicePort port) throws FtdiException {
        DeviceType type = port.type();
        if (type != DeviceType.FT_DEVICE_232R && type != DeviceType.FT_DEVICE_232H
                && type != DeviceType.FT_DEVICE_X_SERIES) {
            throw new FtdiException("Using the CBUS pins (the " + type.displayName() + " has no CBUS bit-bang;"
                    + " the FT232R, FT232H and X series have)", port.name(), FtdiStatus.FT_NOT_SUPPORTED.code());
        }
        CbusPins pins = new CbusPins(port);
        port.claimPins(pins);
        try {
            port.setBitMode(0, MODE_CBUS, "Entering CBUS bit-bang");
        } catch (RuntimeException | FtdiException e) {
            port.releasePins(pins);
            throw e;
        }
        return pins;
    }

    /**
     * Makes a pin an output driving a level, or an input.
     *
     * @param pin    0 to 3
     * @param output true for an output
     * @param level  the output's level, true for high; ignored for an input
     * @throws IllegalArgumentException if the pin is not 0 to 3
     * @throws IllegalStateException    if the pins or the device are closed
     * @throws FtdiException            if the driver fails
     */
    public synchronized void set(int pin, boolean output, boolean level) throws FtdiException {
        checkPin(pin);
        checkOpen();
        int bit = 1 << pin;
        int newDirections = output ? directions | bit : directions & ~bit;
        int newLevels = level ? levels | bit : levels & ~bit;
        // CBUS mode: the mask's high nibble is the directions, its low nibble the levels.
        port.setBitMode(newDirections << 4 | newLevels, MODE_CBUS, "Setting CBUS pin " + pin);
        directions = newDirections;
        levels = newLevels;
    }

    /**
     * Drives an output pin.
     *
     * @param pin   0 to 3, an output
     * @param level true for high
     * @throws IllegalArgumentException if the pin is not 0 to 3, or is an input
     * @throws IllegalStateException    if the pins or the device are closed
     * @throws FtdiException            if the driver fails
     */
    public synchronized void write(int pin, boolean level) throws FtdiException {
        checkPin(pin);
        if ((directions & (1 << pin)) == 0) {
            throw new IllegalArgumentException("CBUS pin " + pin + " is an input; make it an output with set first");
        }
        set(pin, true, level);
    }

    /**
     * A pin's level now.
     *
     * @param pin 0 to 3
     * @return true when high
     * @throws IllegalArgumentException if the pin is not 0 to 3
     * @throws IllegalStateException    if the pins or the device are closed
     * @throws FtdiException            if the driver fails
     */
    public synchronized boolean read(int pin) throws FtdiException {
        checkPin(pin);
        checkOpen();
        // The CBUS levels come in the low nibble (not confirmed for every chip).
        return (port.call("Reading the CBUS pins", D2XXModes::getBitMode) & (1 << pin)) != 0;
    }

    /**
     * Gives the pins back (bit mode reset). Closing again does nothing.
     *
     * @throws FtdiException if the driver fails; the pins are released all the same
     */
    @Override
    public void close() throws FtdiException {
        synchronized (this) {
            if (closed) {
                return;
            }
            closed = true;
        }
        port.leavePinMode(this, "Leaving CBUS bit-bang");
    }

    @Override
    public String toString() {
        return "CbusPins[" + port + "]";
    }

    private void checkOpen() {
        if (closed) {
            throw new IllegalStateException(this + " is closed");
        }
    }

    private static void checkPin(int pin) {
        if (pin < 0 || pin >= PINS) {
            throw new IllegalArgumentException("A CBUS pin is 0 to " + (PINS - 1) + ", not " + pin);
        }
    }
}
