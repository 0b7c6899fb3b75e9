package nl.tamsel.ftdi.usb;

import java.io.IOException;

/**
 * The MPSSE pins an SPI or I2C master leaves free, as general I/O: GPIOL0..3 (ADBUS4..7, pins
 * 4 to 7) and GPIOH0..7 (ACBUS0..7, pins 8 to 15; the FT2232D has GPIOH0..3, the FT4232H none).
 * From {@link SpiMaster#pins()}, {@link I2cMaster#pins()} or {@link JtagController#pins()}.
 *
 * <p>A write is one driver write and no read; a read is one driver write and one driver read of
 * one byte. A pin the master uses (clock, data, chip select) is refused, naming its owner. Calls
 * are serialised with the master's transactions; after the master is closed they throw
 * {@link IllegalStateException}.
 */
public final class MpssePins {

    /** GPIOL0 = ADBUS4. */
    public static final int GPIOL0 = 4;
    /** GPIOL3 = ADBUS7. */
    public static final int GPIOL3 = 7;
    /** GPIOH0 = ACBUS0. */
    public static final int GPIOH0 = 8;
    /** GPIOH7 = ACBUS7. */
    public static final int GPIOH7 = 15;

    private final Mpsse mpsse;

    MpssePins(Mpsse mpsse) {
        this.mpsse = mpsse;
    }

    /**
     * Makes a pin an output at a level, or an input.
     *
     * @param pin    4 to 15 (see the class description)
     * @param output true for an output
     * @param level  the output's level, true for high; ignored for an input
     * @throws IllegalArgumentException if the chip lacks the pin or the master owns it
     * @throws IllegalStateException    if the master or device is closed
     * @throws IOException              if the driver fails ({@link FtdiException}) or the device
     *                                  is closed meanwhile
     */
    public void set(int pin, boolean output, boolean level) throws IOException {
        checkFree(pin);
        mpsse.lock.lock();
        try {
            mpsse.checkOpen();
            int bit = 1 << pin;
            mpsse.directions = output ? mpsse.directions | bit : mpsse.directions & ~bit;
            mpsse.levels = level ? mpsse.levels | bit : mpsse.levels & ~bit;
            if (pin < 8) {
                mpsse.setLow();
            } else {
                mpsse.setHigh();
            }
            mpsse.execute("Setting MPSSE pin " + pin);
        } finally {
            mpsse.lock.unlock();
        }
    }

    /**
     * Drives an output pin.
     *
     * @param pin   4 to 15, an output
     * @param level true for high
     * @throws IllegalArgumentException if the chip lacks the pin, the master owns it, or it is an input
     * @throws IllegalStateException    if the master or device is closed
     * @throws IOException              as {@link #set}
     */
    public void write(int pin, boolean level) throws IOException {
        checkFree(pin);
        if ((mpsse.directions & (1 << pin)) == 0) {
            throw new IllegalArgumentException("MPSSE pin " + pin + " is an input; make it an output with set first");
        }
        set(pin, true, level);
    }

    /**
     * A pin's level now.
     *
     * @param pin 4 to 15
     * @return true when high
     * @throws IllegalArgumentException if the chip lacks the pin or the master owns it
     * @throws IllegalStateException    if the master or device is closed
     * @throws IOException              as {@link #set}
     */
    public boolean read(int pin) throws IOException {
        checkFree(pin);
        mpsse.lock.lock();
        try {
            mpsse.checkOpen();
            mpsse.add(pin < 8 ? Mpsse.READ_LOW : Mpsse.READ_HIGH);
            mpsse.expect(1);
            byte[] reply = mpsse.execute("Reading MPSSE pin " + pin);
            return (reply[0] & (1 << (pin & 7))) != 0;
        } finally {
            mpsse.lock.unlock();
        }
    }

    private void checkFree(int pin) {
        if (!mpsse.hasPin(pin)) {
            throw new IllegalArgumentException("The " + mpsse.type.displayName() + " has MPSSE pins 0 to "
                    + (7 + mpsse.highPins) + " (free ones from " + GPIOL0 + "), not " + pin);
        }
        String owner = mpsse.owner(pin);
        if (owner != null) {
            throw new IllegalArgumentException("MPSSE pin " + pin + " is the " + owner + "; use a free pin");
        }
    }

    @Override
    public String toString() {
        return "MpssePins[" + mpsse + "]";
    }
}
