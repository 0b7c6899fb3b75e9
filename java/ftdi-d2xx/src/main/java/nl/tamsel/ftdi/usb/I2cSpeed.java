package nl.tamsel.ftdi.usb;

/** The I2C bus speeds an {@link I2cMaster} offers, with the bus timing each needs. */
public enum I2cSpeed {
    /** Standard mode, 100 kHz. */
    STANDARD(100_000, 199, 59, 4_700),
    /** Fast mode, 400 kHz. */
    FAST(400_000, 49, 14, 1_300),
    /** Fast mode plus, 1 MHz. */
    FAST_PLUS(1_000_000, 19, 5, 500);

    private final int hz;
    /** Divisor at 60 MHz with three-phase clocking: SCL = 20 MHz / (1 + d). */
    final int hiSpeedDivisor;
    /** Divisor at 12 MHz without three-phase clocking (FT2232D): SCL = 6 MHz / (1 + d). */
    final int fullSpeedDivisor;
    /** The longest setup or hold time around START and STOP (bus free time), in ns. */
    final int setupNanos;

    I2cSpeed(int hz, int hiSpeedDivisor, int fullSpeedDivisor, int setupNanos) {
        this.hz = hz;
        this.hiSpeedDivisor = hiSpeedDivisor;
        this.fullSpeedDivisor = fullSpeedDivisor;
        this.setupNanos = setupNanos;
    }

    /**
     * The SCL frequency.
     *
     * @return Hz
     */
    public int hz() {
        return hz;
    }
}
