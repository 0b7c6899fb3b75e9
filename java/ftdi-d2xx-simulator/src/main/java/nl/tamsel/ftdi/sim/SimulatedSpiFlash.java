package nl.tamsel.ftdi.sim;

import java.util.Objects;

/**
 * A serial NOR flash on a simulated device's SPI pins: SCK = AD0, MOSI = AD1, MISO = AD2 and a
 * chip select, active low (AD3 by default). It answers 0x9F (JEDEC ID), 0x03 (read, three
 * address bytes), 0x06 / 0x04 (write enable / disable), 0x02 (page program, wrapping in its
 * 256-byte page and only clearing bits), 0x20 (4 KiB sector erase) and 0x05 (status: bit 0 busy
 * for 100 µs of simulated time after a program and 1 ms after an erase, bit 1 write enabled). It
 * takes MOSI on SCK's rising edge and shifts MISO out on the falling edge, so SPI modes 0 and 3
 * work. Erased bytes read 0xFF.
 *
 * <pre>{@code
 * SimulatedSpiFlash flash = device.attachSpiFlash();
 * flash.setContents(0x1000, image);
 * ... the application reads the image back with 0x03 ...
 * }</pre>
 */
public final class SimulatedSpiFlash {

    private final SimulatedDevice device;
    private final int id;
    private final int jedecId;

    SimulatedSpiFlash(SimulatedDevice device, int id, int jedecId) {
        this.device = device;
        this.id = id;
        this.jedecId = jedecId;
    }

    /**
     * Returns the JEDEC ID the flash answers to 0x9F.
     *
     * @return manufacturer, memory type and capacity as 0xMMTTCC
     */
    public int jedecId() {
        return jedecId;
    }

    /**
     * Returns a copy of the whole memory.
     *
     * @return the bytes, address 0 first
     */
    public byte[] contents() {
        return BusNatives.checked(BusNatives.flashContents(device.liveId(), id), "SPI flash " + id);
    }

    /**
     * Sets bytes from {@code offset} on, as if programmed long ago.
     *
     * @param offset the first address
     * @param bytes  the bytes
     */
    public void setContents(int offset, byte[] bytes) {
        Objects.requireNonNull(bytes, "bytes");
        BusNatives.checked(BusNatives.setFlashContents(device.liveId(), id, offset, bytes),
                bytes.length + " bytes at " + offset);
    }

    @Override
    public String toString() {
        return String.format("SPI flash %d (JEDEC ID %06X) on %s", id, jedecId, device);
    }
}
