package nl.tamsel.ftdi.usb;

import java.nio.ByteOrder;
import java.util.Objects;

/**
 * How an {@link SpiMaster} talks: SPI mode, clock, bit order and chip select. Build one with
 * {@link #builder()}; the defaults are mode 0, 1 MHz, most significant bit first, chip select on
 * ADBUS3 active low.
 *
 * @param mode             the SPI mode 0 to 3 (CPOL = mode / 2, CPHA = mode % 2)
 * @param clockHz          the highest clock wanted; the master uses the nearest one the chip has
 *                         not above it: base / ((1 + d) * 2) for a 16-bit divisor d, with base
 *                         60 MHz (12 MHz on the FT2232D). A wish above the chip's fastest clock
 *                         (30 MHz, 6 MHz on the FT2232D) gets the fastest; one below its slowest
 *                         (458 Hz, 92 Hz on the FT2232D) makes
 *                         {@link FtdiDevice#spiMaster(SpiConfig)} throw
 *                         {@link IllegalArgumentException}
 * @param bitOrder         {@link ByteOrder#BIG_ENDIAN} for most significant bit first (usual),
 *                         {@link ByteOrder#LITTLE_ENDIAN} for least significant first
 * @param chipSelect       the chip select pin: 3 (ADBUS3), 4 to 7 (GPIOL0..3) or 8 to 15 (GPIOH0..7)
 * @param chipSelectActiveHigh true when the device is selected by a high level
 */
public record SpiConfig(int mode, int clockHz, ByteOrder bitOrder, int chipSelect, boolean chipSelectActiveHigh) {

    /**
     * Checks the values.
     *
     * @param mode                 0 to 3
     * @param clockHz              positive (whether the chip reaches it is checked when a master is made)
     * @param bitOrder             not null
     * @param chipSelect           3 to 15
     * @param chipSelectActiveHigh any
     * @throws IllegalArgumentException if mode, clockHz or chipSelect is out of its range
     * @throws NullPointerException     if bitOrder is null
     */
    public SpiConfig {
        if (mode < 0 || mode > 3) {
            throw new IllegalArgumentException("An SPI mode is 0 to 3, not " + mode);
        }
        if (clockHz <= 0) {
            throw new IllegalArgumentException("An SPI clock is a positive frequency in Hz, not " + clockHz);
        }
        Objects.requireNonNull(bitOrder, "bitOrder");
        if (chipSelect < 3 || chipSelect > 15) {
            throw new IllegalArgumentException("The chip select is pin 3 (ADBUS3), 4 to 7 (GPIOL0..3) or 8 to 15"
                    + " (GPIOH0..7), not " + chipSelect + " (pins 0 to 2 are the clock and data)");
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

    /** Builds an {@link SpiConfig}; each setter returns the builder. */
    public static final class Builder {
        private int mode;
        private int clockHz = 1_000_000;
        private ByteOrder bitOrder = ByteOrder.BIG_ENDIAN;
        private int chipSelect = 3;
        private boolean chipSelectActiveHigh;

        private Builder() {
        }

        /**
         * @param mode SPI mode 0 to 3
         * @return this builder
         */
        public Builder mode(int mode) {
            this.mode = mode;
            return this;
        }

        /**
         * @param clockHz the highest clock wanted, in Hz (see {@link SpiConfig#clockHz()})
         * @return this builder
         */
        public Builder clockHz(int clockHz) {
            this.clockHz = clockHz;
            return this;
        }

        /**
         * @param bitOrder BIG_ENDIAN for most significant bit first, LITTLE_ENDIAN for least
         * @return this builder
         */
        public Builder bitOrder(ByteOrder bitOrder) {
            this.bitOrder = bitOrder;
            return this;
        }

        /**
         * @param pin the chip select pin, 3 to 15
         * @param activeHigh true when a high level selects the device
         * @return this builder
         */
        public Builder chipSelect(int pin, boolean activeHigh) {
            this.chipSelect = pin;
            this.chipSelectActiveHigh = activeHigh;
            return this;
        }

        /**
         * @return the configuration
         * @throws IllegalArgumentException if mode, clock or chip select is out of its range
         * @throws NullPointerException     if the bit order was set to null
         */
        public SpiConfig build() {
            return new SpiConfig(mode, clockHz, bitOrder, chipSelect, chipSelectActiveHigh);
        }
    }
}
