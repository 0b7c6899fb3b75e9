package example.flash;

import java.io.Closeable;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.Duration;
import java.util.Arrays;
import nl.tamsel.ftdi.usb.FtdiDevice;
import nl.tamsel.ftdi.usb.SpiConfig;
import nl.tamsel.ftdi.usb.SpiMaster;

/**
 * Programs a serial NOR flash (the usual 25-series SPI flash) wired to an FTDI chip's MPSSE pins:
 * SCK on AD0, MOSI on AD1, MISO on AD2, chip select on AD3. It reads the JEDEC ID, erases 4 KiB
 * sectors, programs 256-byte pages and reads back to verify.
 *
 * <pre>
 * java -cp ... example.flash.FlashProgrammer SERIAL IMAGE [ADDRESS]
 * </pre>
 */
public final class FlashProgrammer implements Closeable {

    /** The bytes one page-program command may write, within one aligned page. */
    public static final int PAGE_SIZE = 256;
    /** The bytes one sector-erase command erases, aligned. */
    public static final int SECTOR_SIZE = 4096;

    private static final int READ_ID = 0x9F;
    private static final int READ = 0x03;
    private static final int WRITE_ENABLE = 0x06;
    private static final int PAGE_PROGRAM = 0x02;
    private static final int SECTOR_ERASE = 0x20;
    private static final int READ_STATUS = 0x05;
    private static final int STATUS_BUSY = 0x01;
    private static final int READ_CHUNK = 4096;

    private final FtdiDevice device;
    private final SpiMaster spi;
    private final Duration busyTimeout;

    private FlashProgrammer(FtdiDevice device, SpiMaster spi, Duration busyTimeout) {
        this.device = device;
        this.spi = spi;
        this.busyTimeout = busyTimeout;
    }

    /**
     * Opens the FTDI device by serial number as an SPI master, mode 0, chip select on AD3.
     *
     * @param serialNumber the device's serial number (for a dual-channel chip, the channel's)
     * @param clockHz      the highest SPI clock wanted
     * @param busyTimeout  how long an erase or a program may keep the flash busy
     * @return the programmer, which owns the device
     * @throws FlashException if the device cannot be opened or has no MPSSE engine
     */
    public static FlashProgrammer open(String serialNumber, int clockHz, Duration busyTimeout) throws FlashException {
        FtdiDevice device;
        try {
            device = FtdiDevice.openBySerialNumber(serialNumber);
        } catch (IOException e) {
            throw new FlashException("cannot open the programmer " + serialNumber + ": " + e.getMessage(), e);
        }
        try {
            SpiMaster spi = device.spiMaster(SpiConfig.builder().mode(0).clockHz(clockHz).build());
            return new FlashProgrammer(device, spi, busyTimeout);
        } catch (IOException | RuntimeException e) {
            try {
                device.close();
            } catch (IOException suppressed) {
                e.addSuppressed(suppressed);
            }
            throw new FlashException("cannot make " + serialNumber + " an SPI master: " + e.getMessage(), e);
        }
    }

    /**
     * Reads the flash's JEDEC ID.
     *
     * @return manufacturer, memory type and capacity as 0xMMTTCC (0xEF4018: a 128 Mbit flash of
     *         manufacturer 0xEF)
     * @throws FlashException if no flash answers (all ones: nothing drives MISO; all zeros: MISO is
     *                        stuck low), or the device fails
     */
    public int jedecId() throws FlashException {
        byte[] id = exchange(() -> spi.writeThenRead(new byte[] {(byte) READ_ID}, 3));
        int value = (id[0] & 0xFF) << 16 | (id[1] & 0xFF) << 8 | id[2] & 0xFF;
        if (value == 0xFFFFFF || value == 0) {
            throw new FlashException(String.format("no flash answers: its JEDEC ID reads %06X; check the wiring"
                    + " and that its chip select is on AD3", value));
        }
        return value;
    }

    /**
     * Reads bytes.
     *
     * @param address the first byte's address
     * @param length  how many bytes
     * @return the bytes
     * @throws FlashException if the device fails
     */
    public byte[] read(int address, int length) throws FlashException {
        byte[] data = new byte[length];
        for (int done = 0; done < length; done += READ_CHUNK) {
            int count = Math.min(READ_CHUNK, length - done);
            byte[] command = command(READ, address + done, 0);
            byte[] chunk = exchange(() -> spi.writeThenRead(command, count));
            System.arraycopy(chunk, 0, data, done, count);
        }
        return data;
    }

    /**
     * Erases the 4 KiB sectors that hold the given bytes (whole sectors: bytes around them in
     * those sectors are erased too); erased bytes read 0xFF.
     *
     * @param address the first byte's address
     * @param length  how many bytes
     * @throws FlashException if the flash stays busy or the device fails
     */
    public void erase(int address, int length) throws FlashException {
        for (int sector = address / SECTOR_SIZE * SECTOR_SIZE; sector < address + length; sector += SECTOR_SIZE) {
            byte[] command = command(SECTOR_ERASE, sector, 0);
            writeEnabled(command);
        }
    }

    /**
     * Programs bytes into erased flash, page by page (programming can only clear bits).
     *
     * @param address the first byte's address
     * @param data    the bytes
     * @throws FlashException if the flash stays busy or the device fails
     */
    public void program(int address, byte[] data) throws FlashException {
        int done = 0;
        while (done < data.length) {
            int at = address + done;
            // A page program wraps within its page: each command stops at the page's end.
            int count = Math.min(data.length - done, PAGE_SIZE - at % PAGE_SIZE);
            byte[] command = command(PAGE_PROGRAM, at, count);
            System.arraycopy(data, done, command, 4, count);
            writeEnabled(command);
            done += count;
        }
    }

    /**
     * Reads the bytes back and compares them.
     *
     * @param address  the first byte's address
     * @param expected the bytes that should be there
     * @throws FlashException naming the first byte that differs, or if the device fails
     */
    public void verify(int address, byte[] expected) throws FlashException {
        byte[] actual = read(address, expected.length);
        int differs = Arrays.mismatch(actual, expected);
        if (differs >= 0) {
            throw new FlashException(String.format("verify failed at 0x%06X: read %02X, expected %02X",
                    address + differs, actual[differs] & 0xFF, expected[differs] & 0xFF));
        }
    }

    /**
     * Erases, programs and verifies an image.
     *
     * @param address where the image starts
     * @param image   the bytes
     * @throws FlashException as {@link #erase}, {@link #program} and {@link #verify}
     */
    public void write(int address, byte[] image) throws FlashException {
        erase(address, image.length);
        program(address, image);
        verify(address, image);
    }

    /** Write enable, then the command in its own chip-select frame, then waits while the flash is busy. */
    private void writeEnabled(byte[] command) throws FlashException {
        // Two chip-select frames in one USB write.
        exchange(() -> spi.batch().write(new byte[] {(byte) WRITE_ENABLE}).write(command).execute());
        long deadline = System.nanoTime() + busyTimeout.toNanos();
        byte[] readStatus = {(byte) READ_STATUS};
        while ((exchange(() -> spi.writeThenRead(readStatus, 1))[0] & STATUS_BUSY) != 0) {
            if (System.nanoTime() - deadline > 0) {
                throw new FlashException(String.format("the flash stayed busy for %d ms after command %02X",
                        busyTimeout.toMillis(), command[0] & 0xFF));
            }
        }
    }

    /** A command byte with a three-byte address, and room for the data. */
    private static byte[] command(int opcode, int address, int dataLength) {
        byte[] command = new byte[4 + dataLength];
        command[0] = (byte) opcode;
        command[1] = (byte) (address >>> 16);
        command[2] = (byte) (address >>> 8);
        command[3] = (byte) address;
        return command;
    }

    @FunctionalInterface
    private interface SpiCall<T> {
        T run() throws IOException;
    }

    private static <T> T exchange(SpiCall<T> call) throws FlashException {
        try {
            return call.run();
        } catch (IOException e) {
            throw new FlashException("the programmer failed: " + e.getMessage(), e);
        }
    }

    @Override
    public void close() throws IOException {
        try (device) {
            spi.close();
        }
    }

    /**
     * Writes a file into the flash: {@code FlashProgrammer SERIAL IMAGE [ADDRESS]}.
     *
     * @param args the device's serial number, the image file and the start address (0 by default)
     * @throws IOException if the file cannot be read or the flash cannot be written
     */
    public static void main(String[] args) throws IOException {
        if (args.length < 2 || args.length > 3) {
            System.err.println("Usage: FlashProgrammer SERIAL IMAGE [ADDRESS]");
            System.exit(2);
        }
        byte[] image = Files.readAllBytes(Path.of(args[1]));
        int address = args.length == 3 ? Integer.decode(args[2]) : 0;
        try (FlashProgrammer programmer = open(args[0], 10_000_000, Duration.ofSeconds(5))) {
            System.out.printf("Flash %06X: writing %d bytes at 0x%06X%n", programmer.jedecId(), image.length, address);
            programmer.write(address, image);
            System.out.println("Written and verified");
        }
    }
}
