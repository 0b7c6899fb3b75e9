package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertEquals;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.nio.file.Path;
import java.util.List;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedI2cTarget;
import nl.tamsel.ftdi.sim.SimulatedSpiFlash;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * Drives I2C and SPI transactions through the raw classes (hand-built MPSSE commands) against a
 * simulated FT232H with peripherals on its pins, and lets sigrok's protocol decoders read the
 * recorded waveform: what they decode must be what was sent and answered.
 */
@NeedsSigrokCli
class BusDecoderTest extends SimulatedDriverTestBase {

    @TempDir
    Path directory;

    /** An MPSSE command list for I2C on AD0 (SCL), AD1 (SDA out) and AD2 (SDA in). */
    private static final class I2cCommands {
        final ByteArrayOutputStream bytes = new ByteArrayOutputStream();
        int replies;

        I2cCommands pins(int scl, int sda, boolean sdaOutput) {
            bytes.write(0x80);
            bytes.write(scl | sda << 1);
            bytes.write(sdaOutput ? 0x03 : 0x01);
            return this;
        }

        I2cCommands start() {
            return pins(1, 1, true).pins(1, 0, true).pins(0, 0, true);
        }

        I2cCommands repeatedStart() {
            return pins(0, 1, true).pins(1, 1, true).pins(1, 0, true).pins(0, 0, true);
        }

        I2cCommands stop() {
            return pins(0, 0, true).pins(1, 0, true).pins(1, 1, true);
        }

        /** Writes a byte and reads its ACK bit into bit 0 of one reply byte. */
        I2cCommands write(int value) {
            bytes.writeBytes(new byte[] {0x11, 0, 0, (byte) value});
            pins(0, 0, false);
            bytes.writeBytes(new byte[] {0x22, 0});
            replies++;
            return pins(0, 0, true);
        }

        /** Reads a byte and answers ACK or NACK. */
        I2cCommands read(boolean ack) {
            pins(0, 0, false);
            bytes.writeBytes(new byte[] {0x20, 0, 0});
            replies++;
            pins(0, 0, true);
            bytes.writeBytes(new byte[] {0x13, 0, (byte) (ack ? 0x00 : 0x80)});
            return pins(0, 0, true);
        }
    }

    @Test
    void i2cDecodesAsSent() throws IOException {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).attach();
        SimulatedI2cTarget target = adapter.attachI2cTarget(0x48);
        target.setRegisters(2, new byte[] {0x00, 0x3C, 0x7E});
        long handle = mpsse(adapter, 0xC7);
        adapter.recordWaveform();
        I2cCommands commands = new I2cCommands().start().write(0x90).write(0x02).write(0xA5)
                .repeatedStart().write(0x91).read(true).read(false).stop()
                .start().write(0x44).stop();
        byte[] replies = transact(handle, commands.bytes.toByteArray(), commands.replies);
        assertEquals(List.of(0, 0, 0, 0, 1), List.of(replies[0] & 1, replies[1] & 1, replies[2] & 1,
                replies[3] & 1, replies[6] & 1), "ACKs seen by the host");
        // Register 2 took 0xA5; the read goes on from register 3.
        assertEquals(List.of(0x3C, 0x7E), List.of(replies[4] & 0xFF, replies[5] & 0xFF));
        assertEquals(0xA5, target.registers()[2] & 0xFF);

        List<String> decoded = decode(adapter, "i2c:scl=SCL:sda=SDA",
                "i2c=start:repeat-start:stop:ack:nack:address-read:address-write:data-read:data-write");
        assertEquals(List.of("Start", "Write", "Address write: 48", "ACK", "Data write: 02", "ACK",
                "Data write: A5", "ACK", "Start repeat", "Read", "Address read: 48", "ACK", "Data read: 3C", "ACK", "Data read: 7E",
                "NACK", "Stop", "Start", "Write", "Address write: 22", "NACK", "Stop"), decoded);
        D2XX.close(handle);
    }

    @ParameterizedTest(name = "SPI mode {0}")
    @ValueSource(ints = {0, 2})
    void spiDecodesAsSent(int mode) throws IOException {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).attach();
        SimulatedSpiFlash flash = adapter.attachSpiFlash();
        flash.setContents(0x123, new byte[] {0x5A, (byte) 0xC3});
        long handle = mpsse(adapter, 0x04);
        adapter.recordWaveform();
        int idle = mode == 2 ? 1 : 0;
        int duplex = mode == 2 ? 0x34 : 0x31;
        ByteArrayOutputStream commands = new ByteArrayOutputStream();
        byte[][] frames = {{(byte) 0x9F, 0, 0, 0}, {0x03, 0x00, 0x01, 0x23, 0, 0}};
        int replies = 0;
        commands.writeBytes(new byte[] {(byte) 0x80, (byte) (0x08 | idle), 0x0B});
        for (byte[] frame : frames) {
            commands.writeBytes(new byte[] {(byte) 0x80, (byte) idle, 0x0B});
            commands.writeBytes(new byte[] {(byte) duplex, (byte) (frame.length - 1), 0});
            commands.writeBytes(frame);
            commands.writeBytes(new byte[] {(byte) 0x80, (byte) (0x08 | idle), 0x0B});
            replies += frame.length;
        }
        byte[] miso = transact(handle, commands.toByteArray(), replies);

        String options = "spi:clk=SCK:mosi=MOSI:miso=MISO:cs=CS:cpol=" + idle + ":cpha=0";
        assertEquals(List.of("9F", "00", "00", "00", "03", "00", "01", "23", "00", "00"),
                decode(adapter, options, "spi=mosi-data"));
        if (mode == 0) {
            // The flash samples on the rising edge, as in modes 0 and 3: only mode 0 talks to it.
            assertEquals(List.of("FF", "EF", "40", "14", "FF", "FF", "FF", "FF", "5A", "C3"),
                    decode(adapter, options, "spi=miso-data"));
            assertEquals(List.of("FF", "EF", "40", "14", "FF", "FF", "FF", "FF", "5A", "C3"), SigrokCli.hex(miso));
        }
        D2XX.close(handle);
    }

    /** Opens the device and puts it into MPSSE with 60 MHz base, no adaptive clock, loopback off. */
    private static long mpsse(SimulatedDevice adapter, int divisor) {
        adapter.setLoopback(false);
        long handle = open(adapter.id());
        assertEquals(0, D2XX.setTimeouts(handle, 1000, 1000));
        assertEquals(0, D2XXModes.setBitMode(handle, 0, 0));
        assertEquals(0, D2XXModes.setBitMode(handle, 0, 2));
        byte[] setup = {(byte) 0x8A, (byte) 0x97, (byte) 0x8C, (byte) 0x86, (byte) divisor, 0, (byte) 0x85,
                (byte) 0x80, 0x03, 0x03};
        transact(handle, setup, 0);
        return handle;
    }

    private static byte[] transact(long handle, byte[] commands, int replyCount) {
        byte[] all = java.util.Arrays.copyOf(commands, commands.length + 1);
        all[commands.length] = (byte) 0x87;
        assertEquals(all.length, D2XX.write(handle, all, 0, all.length));
        byte[] replies = new byte[replyCount];
        if (replyCount > 0) {
            assertEquals(replyCount, D2XX.read(handle, replies, 0, replyCount));
        }
        return replies;
    }

    private List<String> decode(SimulatedDevice adapter, String decoder, String annotations) throws IOException {
        return SigrokCli.decode(adapter, directory, decoder, annotations);
    }
}
