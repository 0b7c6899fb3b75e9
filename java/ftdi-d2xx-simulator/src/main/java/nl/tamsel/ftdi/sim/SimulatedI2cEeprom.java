package nl.tamsel.ftdi.sim;

import java.util.Objects;

/**
 * A 24C-kind serial EEPROM on a simulated device's I2C pins (SCL = AD0, SDA = AD1 wired to
 * AD2). Up to 2 KiB it takes a one-byte word address (above 256 bytes with the high address bits
 * in the low bits of its device address, so it answers a block of addresses as a 24C16 does),
 * larger ones two bytes. Reads run on across the whole array; a write goes to a page buffer that
 * wraps inside the page and is stored on STOP. Erased bytes read 0xFF.
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
