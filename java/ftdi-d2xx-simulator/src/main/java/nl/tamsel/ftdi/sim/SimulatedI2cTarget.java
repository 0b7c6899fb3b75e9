package nl.tamsel.ftdi.sim;

import java.util.Objects;

/**
 * An I2C target on a simulated device's pins (SCL = AD0, SDA = AD1 wired to AD2), with a
 * register file: the first byte of a write sets the register pointer, the following bytes are
 * stored from there, reads return the registers from the pointer on; the pointer advances after
 * every byte and wraps at the end. Faults can be scripted: an absent device, a refused byte, a
 * stuck bus.
 *
 * <pre>{@code
 * SimulatedI2cTarget sensor = device.attachI2cTarget(0x48);
 * sensor.setRegisters(0, new byte[] {0x19, 0x40});   // what a read from register 0 returns
 * ... the application writes 0x01 0x60 to the target ...
 * assertEquals(0x60, sensor.registers()[1]);
 * }</pre>
 */
public final class SimulatedI2cTarget {

    private final SimulatedDevice device;
    private final int id;

    SimulatedI2cTarget(SimulatedDevice device, int id) {
        this.device = device;
        this.id = id;
    }

    /**
     * Returns a copy of the registers.
     *
     * @return the registers, register 0 first
     */
    public byte[] registers() {
        return BusNatives.checked(BusNatives.i2cRegisters(device.liveId(), id), "I2C target " + id);
    }

    /**
     * Sets registers from {@code offset} on.
     *
     * @param offset the first register
     * @param bytes  the values
     */
    public void setRegisters(int offset, byte[] bytes) {
        Objects.requireNonNull(bytes, "bytes");
        BusNatives.checked(BusNatives.setI2cRegisters(device.liveId(), id, offset, bytes),
                bytes.length + " registers at " + offset);
    }

    /**
     * Leaves the target's address unanswered (NACK), as if it were absent, or answers again.
     *
     * @param on whether the address goes unanswered
     */
    public void nackAddress(boolean on) {
        BusNatives.checked(BusNatives.nackAddress(device.liveId(), id, on), "NACK on the address");
    }

    /**
     * Refuses (NACKs) data byte {@code index} of every write: 0 is the first byte after the
     * address (the register pointer); -1 refuses none.
     *
     * @param index the byte, or -1
     */
    public void nackAtByte(int index) {
        if (index < -1) {
            throw new IllegalArgumentException("byte index " + index + " is below -1");
        }
        BusNatives.checked(BusNatives.nackAtByte(device.liveId(), id, index), "NACK at byte " + index);
    }

    /**
     * Holds SDA low, as a target stuck in the middle of a byte does, or lets it go.
     *
     * @param on whether SDA is held low
     */
    public void holdSdaLow(boolean on) {
        BusNatives.checked(BusNatives.holdSdaLow(device.liveId(), id, on), "holding SDA");
    }

    @Override
    public String toString() {
        return "I2C target " + id + " on " + device;
    }
}
