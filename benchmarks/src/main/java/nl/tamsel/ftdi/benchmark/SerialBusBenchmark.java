package nl.tamsel.ftdi.benchmark;

import java.io.IOException;
import java.util.concurrent.TimeUnit;
import nl.tamsel.ftdi.usb.FtdiDevice;
import nl.tamsel.ftdi.usb.I2cAddress;
import nl.tamsel.ftdi.usb.I2cConfig;
import nl.tamsel.ftdi.usb.I2cMaster;
import nl.tamsel.ftdi.usb.I2cSpeed;
import nl.tamsel.ftdi.usb.MpssePins;
import nl.tamsel.ftdi.usb.SpiConfig;
import nl.tamsel.ftdi.usb.SpiMaster;
import org.openjdk.jmh.annotations.Benchmark;
import org.openjdk.jmh.annotations.BenchmarkMode;
import org.openjdk.jmh.annotations.Level;
import org.openjdk.jmh.annotations.Mode;
import org.openjdk.jmh.annotations.OutputTimeUnit;
import org.openjdk.jmh.annotations.Param;
import org.openjdk.jmh.annotations.Scope;
import org.openjdk.jmh.annotations.Setup;
import org.openjdk.jmh.annotations.State;
import org.openjdk.jmh.annotations.TearDown;

/**
 * The host CPU one SPI, I2C or GPIO transaction of the typed API costs: building its MPSSE
 * commands, one driver write, one driver read of the reply, checking the reply. Measured on the
 * null driver, which answers at once (in MPSSE mode a pin read answers an idle bus, every line
 * high, so the I2C master's stuck-bus check passes, and a data read answers zeros, so every I2C
 * acknowledgement reads as given), so what is measured is the library's own work, without USB;
 * the null driver's following of the command stream is in it too, a few nanoseconds a command.
 */
@BenchmarkMode(Mode.AverageTime)
@OutputTimeUnit(TimeUnit.NANOSECONDS)
public class SerialBusBenchmark {

    /** The target the I2C transactions address; on the null driver every address answers. */
    static final I2cAddress TARGET = I2cAddress.of(0x50);
    /** The register the I2C transactions start at. */
    static final int REGISTER = 0x10;
    /** Bytes written after the register address, and read after the repeated start. */
    static final int I2C_BYTES = 16;

    /** An open device on the null driver, refusing the simulated one. */
    static FtdiDevice openNullDevice() throws IOException {
        if (LibraryPaths.simulated()) {
            throw new IllegalStateException("the bus transactions' CPU cost is measured on the null driver only");
        }
        return FtdiDevice.openByIndex(0);
    }

    /** A 400 kHz I2C master on the null driver's device. */
    @State(Scope.Thread)
    public static class I2cBus {

        FtdiDevice device;
        I2cMaster master;
        final byte[] values = new byte[I2C_BYTES];

        @Setup(Level.Trial)
        public void open() throws IOException {
            device = openNullDevice();
            master = device.i2cMaster(I2cConfig.of(I2cSpeed.FAST));
        }

        @TearDown(Level.Trial)
        public void close() throws IOException {
            master.close();
            device.close();
        }
    }

    /** An SPI master in mode 0 at 10 MHz on the null driver's device. */
    @State(Scope.Thread)
    public static class SpiBus {

        /** Bytes per full-duplex transfer. */
        @Param({"4", "4096"})
        public int size;

        FtdiDevice device;
        SpiMaster master;
        byte[] bytes;

        @Setup(Level.Trial)
        public void open() throws IOException {
            device = openNullDevice();
            master = device.spiMaster(SpiConfig.builder().mode(0).clockHz(10_000_000).build());
            bytes = new byte[size];
        }

        @TearDown(Level.Trial)
        public void close() throws IOException {
            master.close();
            device.close();
        }
    }

    /** GPIOL0 as an output and GPIOL1 as an input, beside an I2C master. */
    @State(Scope.Thread)
    public static class Gpio {

        FtdiDevice device;
        I2cMaster master;
        MpssePins pins;
        boolean level;

        @Setup(Level.Trial)
        public void open() throws IOException {
            device = openNullDevice();
            master = device.i2cMaster(I2cConfig.of(I2cSpeed.FAST));
            pins = master.pins();
            pins.set(MpssePins.GPIOL0, true, false);
            pins.set(MpssePins.GPIOL0 + 1, false, false);
        }

        @TearDown(Level.Trial)
        public void close() throws IOException {
            master.close();
            device.close();
        }
    }

    /** I2C write: start, address, register address, 16 bytes, stop. */
    @Benchmark
    public byte[] i2cWriteRegisters(I2cBus bus) throws IOException {
        bus.master.writeRegisters(TARGET, REGISTER, bus.values);
        return bus.values;
    }

    /** I2C register read: start, address, register address, repeated start, address, 16 bytes, stop. */
    @Benchmark
    public byte[] i2cReadRegisters(I2cBus bus) throws IOException {
        return bus.master.readRegisters(TARGET, REGISTER, I2C_BYTES);
    }

    /** I2C bus scan: an empty write to each address from 0x08 to 0x77. */
    @Benchmark
    public int[] i2cScan(I2cBus bus) throws IOException {
        return bus.master.scan();
    }

    /** SPI full-duplex transfer: chip select, the bytes out and in, chip select released. */
    @Benchmark
    public byte[] spiTransfer(SpiBus bus) throws IOException {
        return bus.master.transfer(bus.bytes);
    }

    /** GPIO: drive an output pin, then read an input pin. */
    @Benchmark
    public boolean gpioWriteThenRead(Gpio gpio) throws IOException {
        gpio.level = !gpio.level;
        gpio.pins.write(MpssePins.GPIOL0, gpio.level);
        return gpio.pins.read(MpssePins.GPIOL0 + 1);
    }
}
