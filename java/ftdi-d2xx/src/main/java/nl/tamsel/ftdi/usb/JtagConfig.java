package nl.tamsel.ftdi.usb;

import java.util.OptionalInt;

/**
 * How a {@link JtagController} drives the test access port: the TCK frequency, an optional
 * TRST* pin and adaptive clocking. Build one with {@link #builder()}; the defaults are 1 MHz, no
 * TRST* and no adaptive clocking.
 *
 * @param clockHz           the highest TCK frequency wanted; the controller sets the highest the
 *                          chip can make that is not above it (see {@link JtagController#clockHz()})
 * @param trstPin           the TRST* pin (active low), 4 to 15, or empty when the target has none
 * @param adaptiveClocking  true to let the target pace TCK through RTCK on GPIOL3 (pin 7); the
 *                          FT2232H, FT4232H and FT232H have it
 */
public record JtagConfig(long clockHz, OptionalInt trstPin, boolean adaptiveClocking) {

    /** The TCK frequency without a wish: 1 MHz, which nearly every target takes. */
    public static final long DEFAULT_CLOCK_HZ = 1_000_000;

    /**
     * Checks the values.
     *
     * @param clockHz          positive
     * @param trstPin          empty, or 4 to 15
     * @param adaptiveClocking with a TRST* pin, that pin is not 7 (RTCK)
     * @throws IllegalArgumentException if a value is out of its range
     * @throws NullPointerException     if trstPin is null
     */
    public JtagConfig {
        if (clockHz <= 0) {
            throw new IllegalArgumentException("The TCK frequency is a positive number of Hz, not " + clockHz);
        }
        if (trstPin.isPresent()) {
            int pin = trstPin.getAsInt();
            if (pin < 4 || pin > 15) {
                throw new IllegalArgumentException("TRST* goes on a free pin: 4 to 7 (GPIOL0..3) or 8 to 15"
                        + " (GPIOH0..7), not " + pin + " (pins 0 to 3 are TCK, TDI, TDO and TMS)");
            }
            if (adaptiveClocking && pin == JtagController.RTCK_PIN) {
                throw new IllegalArgumentException("Pin 7 (GPIOL3) is RTCK with adaptive clocking; put TRST* on"
                        + " another pin");
            }
        }
    }

    /**
     * A builder with the defaults.
     *
     * @return a new builder
     */
    public static Builder builder() {
        return new Builder();
    }

    /** Builds a {@link JtagConfig}; each setter returns the builder. */
    public static final class Builder {
        private long clockHz = DEFAULT_CLOCK_HZ;
        private OptionalInt trstPin = OptionalInt.empty();
        private boolean adaptiveClocking;

        private Builder() {
        }

        /**
         * @param clockHz the highest TCK frequency wanted, in Hz
         * @return this builder
         */
        public Builder clockHz(long clockHz) {
            this.clockHz = clockHz;
            return this;
        }

        /**
         * @param pin the TRST* pin (active low), 4 to 15
         * @return this builder
         */
        public Builder trstPin(int pin) {
            this.trstPin = OptionalInt.of(pin);
            return this;
        }

        /**
         * @param on true to pace TCK by the target's RTCK on GPIOL3
         * @return this builder
         */
        public Builder adaptiveClocking(boolean on) {
            this.adaptiveClocking = on;
            return this;
        }

        /**
         * @return the configuration
         * @throws IllegalArgumentException if a value is out of its range
         */
        public JtagConfig build() {
            return new JtagConfig(clockHz, trstPin, adaptiveClocking);
        }
    }
}
