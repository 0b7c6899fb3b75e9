package nl.tamsel.ftdi.sim;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Objects;

/**
 * The level changes recorded on a simulated device's pins, as a Value Change Dump (timescale
 * 1 ns) that waveform viewers and protocol decoders read. Pins a peripheral named appear by
 * that name (SCL, SDA, SDA_IN; SCK, MOSI, MISO, CS), others as AD0..AD7 and AC0..AC7; pins that
 * never changed and have no name are left out.
 *
 * <pre>{@code
 * device.recordWaveform();
 * ... the application talks to the I2C target ...
 * device.waveform().writeVcd(Path.of("target/i2c.vcd"));
 * // sigrok-cli -I vcd -i target/i2c.vcd -P i2c:scl=SCL:sda=SDA -A i2c
 * }</pre>
 */
public final class Waveform {

    private final String vcd;

    Waveform(String vcd) {
        this.vcd = vcd;
    }

    /**
     * Returns the waveform as VCD text.
     *
     * @return the text
     */
    public String toVcd() {
        return vcd;
    }

    /**
     * Writes the VCD text to a file, replacing it.
     *
     * @param file the file
     * @throws IOException when the file cannot be written
     */
    public void writeVcd(Path file) throws IOException {
        Files.writeString(Objects.requireNonNull(file, "file"), vcd, StandardCharsets.US_ASCII);
    }

    @Override
    public String toString() {
        return vcd;
    }
}
