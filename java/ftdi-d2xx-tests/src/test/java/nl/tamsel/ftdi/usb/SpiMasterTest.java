package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import nl.tamsel.ftdi.sim.Pin;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedSpiFlash;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/**
 * The SPI master against a simulated SPI flash, and its waveform read back by sigrok's SPI
 * decoder in all four modes with the chip select on AD3 or a GPIOL pin, active low or high.
 */
class SpiMasterTest extends SimulatedDriverTestBase {

    private static final byte WRITE_ENABLE = (byte) 0x06;
    private static final byte PAGE_PROGRAM = (byte) 0x02;
    private static final byte READ = (byte) 0x03;
    private static final byte READ_STATUS = (byte) 0x05;
    private static final byte SECTOR_ERASE = (byte) 0x20;
    private static final byte JEDEC_ID = (byte) 0x9F;

    @TempDir
    Path directory;

    private static SpiMaster open(SimulatedDevice adapter, FtdiDevice[] device, int mode, int csPin, boolean activeHigh)
            throws IOException {
        device[0] = FtdiDevice.openByIndex(adapter.id());
        return device[0].spiMaster(SpiConfig.builder().mode(mode).clockHz(5_000_000).chipSelect(csPin, activeHigh).build());
    }

    @ParameterizedTest(name = "flash in mode {0}, chip select pin {1}")
    @CsvSource({"0, 3", "3, 3", "0, 4", "3, 7"})
    void aFlashIsProgrammedAndErased(int mode, int csPin) throws IOException {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).loopback(false).attach();
        SimulatedSpiFlash flash = adapter.attachSpiFlash(Pin.values()[csPin], 0xC22817, 1 << 20);
        flash.setContents(0x1000, new byte[] {1, 2, 3});
        FtdiDevice[] device = new FtdiDevice[1];
        try (SpiMaster spi = open(adapter, device, mode, csPin, false)) {
            assertArrayEquals(new byte[] {(byte) 0xC2, 0x28, 0x17}, spi.writeThenRead(new byte[] {JEDEC_ID}, 3));
            assertArrayEquals(new byte[] {1, 2, 3}, spi.writeThenRead(new byte[] {READ, 0, 0x10, 0}, 3));
            spi.write(new byte[] {WRITE_ENABLE});
            assertEquals(0x02, spi.writeThenRead(new byte[] {READ_STATUS}, 1)[0] & 0x03, "write enabled, not busy");
            spi.write(new byte[] {PAGE_PROGRAM, 0, 0x20, 0x10, 0x55, (byte) 0xAA, 0x0F});
            assertTrue(pollsWhileBusy(spi) > 0, "busy after the program");
            assertArrayEquals(new byte[] {0x55, (byte) 0xAA, 0x0F}, spi.writeThenRead(new byte[] {READ, 0, 0x20, 0x10}, 3));
            assertArrayEquals(new byte[] {0x55, (byte) 0xAA, 0x0F}, Arrays.copyOfRange(flash.contents(), 0x2010, 0x2013));
            spi.write(new byte[] {WRITE_ENABLE});
            spi.write(new byte[] {SECTOR_ERASE, 0, 0x20, 0});
            assertTrue(pollsWhileBusy(spi) > 0, "busy after the erase");
            assertArrayEquals(new byte[] {-1, -1, -1}, spi.writeThenRead(new byte[] {READ, 0, 0x20, 0x10}, 3));
            // The transaction holds the chip select across calls: command, then the data in two reads.
            try (SpiMaster.Transaction t = spi.transaction()) {
                t.write(new byte[] {READ, 0, 0x10, 0});
                assertArrayEquals(new byte[] {1}, t.read(1));
                assertArrayEquals(new byte[] {2, 3}, t.transfer(new byte[2]));
            }
        } finally {
            device[0].close();
        }
    }

    /** Reads the status until the busy bit clears; returns how many reads saw it set. */
    private static int pollsWhileBusy(SpiMaster spi) throws IOException {
        for (int busy = 0; busy < 100_000; busy++) {
            if ((spi.writeThenRead(new byte[] {READ_STATUS}, 1)[0] & 1) == 0) {
                return busy;
            }
        }
        throw new AssertionError("the flash stays busy");
    }

    /**
     * What sigrok decodes equals what was sent and received, framed by the chip select; a batch
     * of frames goes in one driver write. MISO comes from the flash (modes 0 and 3, which it
     * speaks) or from a wire to MOSI (every mode: a flash drives MISO on the edge that modes 1
     * and 2 sample on).
     */
    @NeedsSigrokCli
    @ParameterizedTest(name = "mode {0}, chip select pin {1}, active high {2}, MISO from {3}")
    @CsvSource({"0, 3, false, flash", "3, 3, false, flash", "3, 6, false, flash", "0, 3, false, wire",
        "1, 3, false, wire", "2, 3, false, wire", "3, 3, false, wire", "0, 5, true, wire", "1, 4, true, wire",
        "2, 6, true, wire", "3, 7, true, wire"})
    void theDecoderSeesWhatWasSent(int mode, int csPin, boolean activeHigh, String miso) throws IOException {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).loopback(false).attach();
        boolean flash = miso.equals("flash");
        if (flash) {
            adapter.attachSpiFlash(Pin.values()[csPin], 0xEF4014, 1 << 20).setContents(0, new byte[] {0x5A, (byte) 0xC3});
        } else {
            adapter.connect(Pin.AD1, Pin.AD2);
        }
        FtdiDevice[] device = new FtdiDevice[1];
        try (SpiMaster spi = open(adapter, device, mode, csPin, activeHigh)) {
            adapter.recordWaveform();
            // The recording starts with the levels at its first instant: a change on a spare pin
            // takes that instant, so that the first chip select shows as an edge.
            spi.pins().set(MpssePins.GPIOH0, true, false);
            byte[][] frames = {{JEDEC_ID, 0, 0, 0}, {READ, 0, 0, 0, 0, 0}, {(byte) 0xA5, 0x3C}};
            int writes = calls("FT_Write");
            SpiMaster.Batch batch = spi.batch();
            for (byte[] frame : frames) {
                batch.transfer(frame);
            }
            List<byte[]> received = batch.execute();
            assertEquals(1, calls("FT_Write") - writes, "one driver write for the batch");
            // A level change after the last frame lets the decoder see its chip select end.
            spi.pins().write(MpssePins.GPIOH0, true);

            String options = flash ? "spi:clk=SCK:mosi=MOSI:miso=MISO:cs=CS" : "spi:clk=AD0:mosi=AD1:miso=AD2:cs=AD" + csPin;
            options += String.format(":cpol=%d:cpha=%d:cs_polarity=%s", mode >> 1, mode & 1,
                    activeHigh ? "active-high" : "active-low");
            List<String> mosi = new ArrayList<>();
            List<String> misoFrames = new ArrayList<>();
            for (int i = 0; i < frames.length; i++) {
                mosi.add(String.join(" ", SigrokCli.hex(frames[i])));
                misoFrames.add(String.join(" ", SigrokCli.hex(received.get(i))));
            }
            assertEquals(mosi, SigrokCli.decode(adapter, directory, options, "spi=mosi-transfer"), "MOSI frames");
            assertEquals(misoFrames, SigrokCli.decode(adapter, directory, options, "spi=miso-transfer"), "MISO frames");
            assertEquals(flash ? "FF EF 40 14" : mosi.get(0), misoFrames.get(0), "what the master received");
        } finally {
            device[0].close();
        }
    }
}
