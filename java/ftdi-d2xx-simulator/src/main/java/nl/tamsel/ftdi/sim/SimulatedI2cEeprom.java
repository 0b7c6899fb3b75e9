package nl.tamsel.ftdi.sim;

import java.time.Duration;
import java.util.Objects;

/**
 * A 24C-kind serial EEPROM on a simulated device's I2C pins (SCL = AD0, SDA = AD1 wired to
 * AD2). Up to 2 KiB it takes a one-byte word address (above 256 bytes with the high address bits
 * in the low bits of its device address, so it answers a block of addresses as a 24C16 does),
 * larger ones two bytes. Reads run on across the whole array; a write goes to a page buffer that
 * wraps inside the page and is stored on STOP. Erased bytes read 0xFF. After a write's STOP the
 * EEPROM is busy for its write cycle ({@link #DEFAULT_WRITE_CYCLE}, in the bus's simulated time):
 * it ignores its address (NACK) until the cycle is over, so a master polls for its acknowledge.
 *
 * <pre>{@code
 * SimulatedI2cEeprom eeprom = device.attachI2cEeprom(0x50, 256, 8);   // a 24C02
 * eeprom.setContents(0, "config".getBytes(StandardCharsets.US_ASCII));
 * }</pre>
 */
public final class SimulatedI2cEeprom {

    private final SimulatedDevice device;
    private final int id;

    SimulatedI2cEeprom(SimulatedDevice device, int id) {
        this.device = device;
        this.id = id;
    }

    /**
     * Returns a copy of the whole memory.
     *
     * @return the bytes, address 0 first
     */
    public byte[] contents() {
        return BusNatives.checked(BusNatives.eepromContents(device.liveId(), id), "EEPROM " + id);
    }

    /**
     * Sets bytes from {@code offset} on, as if written long ago.
     *
     * @param offset the first address
     * @param bytes  the bytes
     */
    public void setContents(int offset, byte[] bytes) {
        Objects.requireNonNull(bytes, "bytes");
        BusNatives.checked(BusNatives.setEepromContents(device.liveId(), id, offset, bytes),
                bytes.length + " bytes at " + offset);
    }

    /** How long a write cycle takes until {@link #setWriteCycle(Duration)} changes it: 5 ms. */
    public static final Duration DEFAULT_WRITE_CYCLE = Duration.ofMillis(5);

    /**
     * Sets how long the EEPROM stays busy after a write, in the bus's simulated time: it ignores
     * its address (NACK) until then, as a real part does while it programs its cells.
     *
     * @param cycle the write cycle; zero makes it ready at once
     * @throws IllegalArgumentException if the cycle is negative or longer than about 292 years
     */
    public void setWriteCycle(Duration cycle) {
        Objects.requireNonNull(cycle, "cycle");
        long nanos;
        try {
            nanos = cycle.toNanos();
        } catch (ArithmeticException tooLong) {
            nanos = -1;
        }
        if (nanos < 0) {
            throw new IllegalArgumentException("a write cycle of " + cycle + "; it must be 0 or more, in nanoseconds a long");
        }
        BusNatives.checked(BusNatives.setEepromWriteCycle(device.liveId(), id, nanos), "the write cycle");
    }

    /**
     * Holds SDA low, as a stuck device does, or lets it go.
     *
     * @param on whether SDA is held low
     */
    public void holdSdaLow(boolean on) {
        BusNatives.checked(BusNatives.holdSdaLow(device.liveId(), id, on), "holding SDA");
    }

    @Override
    public String toString() {
        return "I2C EEPROM " + id + " on " + device;
    }
}
