package nl.tamsel.ftdi.usb;

import java.util.Objects;

/**
 * How an {@link I2cMaster} runs the bus.
 *
 * @param speed         the SCL frequency
 * @param checkEachByte false (the default, fast): a whole transaction goes in one USB write and
 *                      its acknowledgements are checked afterwards, so bytes after a refused
 *                      one still reach the bus; true: each written byte is its own round trip
 *                      and the transaction stops at the first refusal, for devices that must
 *                      not see bytes after a NACK
 */
public record I2cConfig(I2cSpeed speed, boolean checkEachByte) {

    /**
     * Checks the values.
     *
     * @param speed         the SCL frequency, not null
     * @param checkEachByte whether each byte is checked before the next is sent
     * @throws NullPointerException if speed is null
     */
    public I2cConfig {
        Objects.requireNonNull(speed, "speed");
    }

    /**
     * A configuration that sends each transaction whole.
     *
     * @param speed the SCL frequency
     * @return the configuration
     * @throws NullPointerException if speed is null
     */
    public static I2cConfig of(I2cSpeed speed) {
        return new I2cConfig(speed, false);
    }
}
