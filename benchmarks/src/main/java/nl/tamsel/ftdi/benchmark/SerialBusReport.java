package nl.tamsel.ftdi.benchmark;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import nl.tamsel.ftdi.sim.DriverFunction;
import nl.tamsel.ftdi.sim.Pin;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.usb.DeviceType;
import nl.tamsel.ftdi.usb.FtdiDevice;
import nl.tamsel.ftdi.usb.I2cConfig;
import nl.tamsel.ftdi.usb.I2cMaster;
import nl.tamsel.ftdi.usb.I2cSpeed;
import nl.tamsel.ftdi.usb.MpssePins;
import nl.tamsel.ftdi.usb.SpiConfig;
import nl.tamsel.ftdi.usb.SpiMaster;

/**
 * What {@link SerialBusBenchmark}'s transactions cost a real device, measured once each on
 * simulated chips: an FT232H with an I2C target of 256 registers at 0x50 for I2C and GPIO, and
 * another with an SPI flash for SPI (the I2C wiring joins MOSI and MISO). Counted are the driver
 * writes and reads each takes, which on USB are bulk transfers and so round trips, and the
 * simulated time its commands take on the chip's clock. Also the payload rate of a 256-byte
 * register read at 400 kHz. No JMH: these are counts and simulated time, the same on every run.
 *
 * <p>Prints a table and, given a file name, writes the figures as JSON for benchmarks/report.py.
 * Every transaction's result is checked, so that a figure never comes from a failed transaction.
 *
 * <p>Also a flash read far beyond the device's reply bound in one call (16 MiB at 30 MHz), with
 * the simulated driver's default receive buffer (64 KiB) and with a 4 KiB one, the reply bound
 * left at its default and set to the buffer's size: its round trips and its bus time against the
 * wire's, which shows whether the pipelining keeps the bus busy.
 *
 * <p>Usage: {@code SerialBusReport [--long-read-bytes N] [results.json]}, with the simulated
 * driver, the bridge and the modes library named by their system properties as benchmarks/run
 * does; a smaller long read makes a quick check.
 */
public final class SerialBusReport {

    /** Registers of the simulated target, all read by the 256-byte read. */
    static final int TARGET_REGISTERS = 256;

    /** One measured operation: its name, driver writes and reads, simulated bus time. */
    record Measured(String name, long writes, long reads, long busNanos) {
    }

    /** One long flash read: the driver's receive buffer, the reply bound, the bytes read, writes, reads, bus time. */
    record LongRead(int receiveBuffer, int replyBound, int bytes, long writes, long reads, long busNanos) {
        /** The time the bits alone take at the clock: the wire's speed. */
        long wireNanos() {
            return (long) (bytes * 8.0 * 1e9 / LONG_READ_CLOCK_HZ);
        }
    }

    /** The long read's size unless given, and its clock. */
    static final int LONG_READ_BYTES = 16 << 20;
    static final int LONG_READ_CLOCK_HZ = 30_000_000;
    /** The receive buffers and reply bounds the long read runs with. */
    static final int[][] LONG_READ_SETTINGS = {{65_536, 65_536}, {4096, 65_536}, {4096, 4096}};

    /** An operation on the bus, checked by itself. */
    @FunctionalInterface
    interface Operation {
        void run() throws IOException;
    }

    /** SPI flash commands: read the JEDEC ID, read data from a 24-bit address. */
    static final int READ_ID = 0x9F;
    static final int READ_DATA = 0x03;

    private final List<Measured> measured = new ArrayList<>();
    private final List<LongRead> longReads = new ArrayList<>();

    private SerialBusReport() {
    }

    public static void main(String[] args) throws IOException {
        int longReadBytes = LONG_READ_BYTES;
        String output = null;
        for (int i = 0; i < args.length; i++) {
            if (args[i].equals("--long-read-bytes")) {
                longReadBytes = Integer.parseInt(args[++i]);
            } else {
                output = args[i];
            }
        }
        SimulatedDriver.reset();
        SimulatedDevice i2cChip = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H)
                .serialNumber("BUS00001").description("Serial bus benchmark, I2C").attach();
        SimulatedDevice spiChip = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H)
                .serialNumber("BUS00002").description("Serial bus benchmark, SPI").attach();
        byte[] registers = pattern(TARGET_REGISTERS, 7);
        i2cChip.attachI2cTarget(SerialBusBenchmark.TARGET.value(), false, TARGET_REGISTERS).setRegisters(0, registers);
        byte[] flash = pattern(4096, 13);
        spiChip.attachSpiFlash().setContents(0, flash);
        SerialBusReport report = new SerialBusReport();
        try (FtdiDevice device = FtdiDevice.openBySerialNumber("BUS00001")) {
            report.measureI2c(i2cChip, device, registers);
        }
        try (FtdiDevice device = FtdiDevice.openBySerialNumber("BUS00002")) {
            report.measureSpi(spiChip, device, flash);
        }
        for (int[] setting : LONG_READ_SETTINGS) {
            report.measureLongRead(setting[0], setting[1], longReadBytes);
        }
        System.out.print(report.table());
        if (output != null) {
            Files.writeString(Path.of(output), report.json(), StandardCharsets.UTF_8);
        }
    }

    private static byte[] pattern(int length, int step) {
        byte[] bytes = new byte[length];
        for (int i = 0; i < length; i++) {
            bytes[i] = (byte) (i * step + 3);
        }
        return bytes;
    }

    private void measureI2c(SimulatedDevice chip, FtdiDevice device, byte[] contents) throws IOException {
        try (I2cMaster i2c = device.i2cMaster(I2cConfig.of(I2cSpeed.FAST))) {
            byte[] values = new byte[SerialBusBenchmark.I2C_BYTES];
            Arrays.fill(values, (byte) 0x5A);
            int register = SerialBusBenchmark.REGISTER;
            measure(chip, "i2cWriteRegisters", () -> i2c.writeRegisters(SerialBusBenchmark.TARGET, register, values));
            byte[] expected = contents.clone();
            System.arraycopy(values, 0, expected, register, values.length);
            measure(chip, "i2cReadRegisters", () -> check("the 16-byte register read",
                    Arrays.copyOfRange(expected, register, register + values.length),
                    i2c.readRegisters(SerialBusBenchmark.TARGET, register, values.length)));
            measure(chip, "i2cScan", () -> {
                int[] found = i2c.scan();
                if (!Arrays.equals(found, new int[] {SerialBusBenchmark.TARGET.value()})) {
                    throw new IllegalStateException("the scan found " + Arrays.toString(found) + ", not the target alone");
                }
            });
            measure(chip, "i2cRead256", () -> check("the 256-byte register read", expected,
                    i2c.readRegisters(SerialBusBenchmark.TARGET, 0, TARGET_REGISTERS)));
            MpssePins pins = i2c.pins();
            pins.set(MpssePins.GPIOL0, true, false);
            measure(chip, "gpioWrite", () -> pins.write(MpssePins.GPIOL0, true));
            measure(chip, "gpioRead", () -> {
                if (!pins.read(MpssePins.GPIOL0)) {
                    throw new IllegalStateException("GPIOL0 reads low after it was driven high");
                }
            });
        }
    }

    /**
     * Full-duplex transfers of 4 bytes (the flash's JEDEC ID command and its 3-byte answer) and
     * 4096 bytes (a data read from address 0: command, address, then 4092 bytes of the flash).
     */
    private void measureSpi(SimulatedDevice chip, FtdiDevice device, byte[] flash) throws IOException {
        try (SpiMaster spi = device.spiMaster(SpiConfig.builder().mode(0).clockHz(10_000_000).build())) {
            byte[] readId = {(byte) READ_ID, 0, 0, 0};
            int id = SimulatedDevice.DEFAULT_JEDEC_ID;
            byte[] idBytes = {(byte) (id >>> 16), (byte) (id >>> 8), (byte) id};
            measure(chip, "spiTransfer4", () -> check("the JEDEC ID", idBytes,
                    Arrays.copyOfRange(spi.transfer(readId), 1, 4)));
            byte[] readData = new byte[4096];
            readData[0] = (byte) READ_DATA;
            measure(chip, "spiTransfer4096", () -> check("a 4096-byte transfer reading the flash",
                    Arrays.copyOf(flash, 4092), Arrays.copyOfRange(spi.transfer(readData), 4, 4096)));
        }
    }

    /** Reads a flash of the given size whole in one call, with the receive buffer and reply bound set. */
    private void measureLongRead(int receiveBuffer, int bound, int bytes) throws IOException {
        SimulatedDevice chip = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H)
                .description("Serial bus benchmark, long read").attach();
        byte[] contents = pattern(bytes, 29);
        chip.attachSpiFlash(Pin.AD3, SimulatedDevice.DEFAULT_JEDEC_ID, bytes).setContents(0, contents);
        chip.setReceiveBufferSize(receiveBuffer);
        try (FtdiDevice device = FtdiDevice.openByIndex(chip.id())) {
            device.setReplyBound(bound);
            try (SpiMaster spi = device.spiMaster(SpiConfig.builder().mode(0).clockHz(LONG_READ_CLOCK_HZ).build())) {
                long writes = SimulatedDriver.callCount(DriverFunction.FT_WRITE);
                long reads = SimulatedDriver.callCount(DriverFunction.FT_READ);
                long nanos = chip.busTime().toNanos();
                byte[] read = spi.writeThenRead(new byte[] {READ_DATA, 0, 0, 0}, bytes);
                longReads.add(new LongRead(receiveBuffer, bound, bytes, SimulatedDriver.callCount(DriverFunction.FT_WRITE) - writes,
                        SimulatedDriver.callCount(DriverFunction.FT_READ) - reads, chip.busTime().toNanos() - nanos));
                check("the long flash read", contents, read);
            }
        }
    }

    private void measure(SimulatedDevice chip, String name, Operation operation) throws IOException {
        long writes = SimulatedDriver.callCount(DriverFunction.FT_WRITE);
        long reads = SimulatedDriver.callCount(DriverFunction.FT_READ);
        long nanos = chip.busTime().toNanos();
        operation.run();
        measured.add(new Measured(name, SimulatedDriver.callCount(DriverFunction.FT_WRITE) - writes,
                SimulatedDriver.callCount(DriverFunction.FT_READ) - reads, chip.busTime().toNanos() - nanos));
    }

    private static void check(String what, byte[] expected, byte[] actual) {
        if (!Arrays.equals(expected, actual)) {
            throw new IllegalStateException(what + " returned other bytes than the target holds");
        }
    }

    private Measured find(String name) {
        return measured.stream().filter(m -> m.name().equals(name)).findFirst().orElseThrow();
    }

    /** The payload rate of the 256-byte read, bytes per second of simulated bus time. */
    double readRate() {
        return TARGET_REGISTERS * 1e9 / find("i2cRead256").busNanos();
    }

    String table() {
        StringBuilder text = new StringBuilder("| operation | driver writes | driver reads | bus time, µs |\n|---|---|---|---|\n");
        for (Measured m : measured) {
            text.append(String.format("| %s | %d | %d | %.1f |%n", m.name(), m.writes(), m.reads(), m.busNanos() / 1000.0));
        }
        text.append(String.format("256-byte I2C register read at 400 kHz: %.1f kB/s of payload over the simulated bus time%n",
                readRate() / 1000));
        for (LongRead r : longReads) {
            text.append(String.format("%d-byte SPI flash read at %d MHz, receive buffer %d, reply bound %d: %d writes,"
                    + " %d reads, %.3f s on the bus, the bits alone %.3f s%n", r.bytes(), LONG_READ_CLOCK_HZ / 1_000_000,
                    r.receiveBuffer(), r.replyBound(),
                    r.writes(), r.reads(), r.busNanos() / 1e9, r.wireNanos() / 1e9));
        }
        return text.toString();
    }

    String json() {
        StringBuilder text = new StringBuilder("{\n  \"operations\": [\n");
        for (int i = 0; i < measured.size(); i++) {
            Measured m = measured.get(i);
            text.append(String.format("    {\"name\": \"%s\", \"writes\": %d, \"reads\": %d, \"busNanos\": %d}%s%n",
                    m.name(), m.writes(), m.reads(), m.busNanos(), i + 1 < measured.size() ? "," : ""));
        }
        Measured read = find("i2cRead256");
        text.append(String.format("  ],%n  \"i2cRead256\": {\"bytes\": %d, \"busNanos\": %d, \"writes\": %d, \"reads\": %d,"
                + " \"clockHz\": 400000},%n  \"longReads\": [%n", TARGET_REGISTERS, read.busNanos(), read.writes(),
                read.reads()));
        for (int i = 0; i < longReads.size(); i++) {
            LongRead r = longReads.get(i);
            text.append(String.format("    {\"receiveBuffer\": %d, \"replyBound\": %d, \"bytes\": %d, \"writes\": %d,"
                    + " \"reads\": %d, \"busNanos\": %d, \"wireNanos\": %d, \"clockHz\": %d}%s%n", r.receiveBuffer(),
                    r.replyBound(), r.bytes(),
                    r.writes(), r.reads(), r.busNanos(), r.wireNanos(), LONG_READ_CLOCK_HZ,
                    i + 1 < longReads.size() ? "," : ""));
        }
        text.append("  ]\n}\n");
        return text.toString();
    }
}
