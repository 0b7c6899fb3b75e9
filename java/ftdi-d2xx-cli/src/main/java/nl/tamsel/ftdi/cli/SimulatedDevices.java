package nl.tamsel.ftdi.cli;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Path;
import java.util.List;
import nl.tamsel.ftdi.sim.Pin;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.sim.SimulatedJtagChain;
import nl.tamsel.ftdi.usb.D2XXConstants;
import nl.tamsel.ftdi.usb.DeviceInfo;
import nl.tamsel.ftdi.usb.DeviceType;
import nl.tamsel.ftdi.usb.FtdiDevice;
import nl.tamsel.ftdi.usb.FtdiException;

/**
 * What {@code --simulated} runs against: the simulated driver with three loopback devices and a
 * dual-channel FT2232H whose channel A carries an I2C temperature sensor and an I2C EEPROM, and
 * whose channel B carries an SPI flash; and a single-channel FT232H (serial FT232HJT) wired to the
 * demo JTAG chain of three devices.
 */
final class SimulatedDevices {

    /** The sensor's address, as an LM75-style temperature sensor's with its address pins low. */
    static final int SENSOR_ADDRESS = 0x48;
    /** The EEPROM's address, as a 24C02's with its address pins low. */
    static final int EEPROM_ADDRESS = 0x50;
    /**
     * The sensor's registers, one byte each with an auto-incrementing pointer: temperature
     * 21.5 °C as two bytes (12 bits, left-aligned, 1/16 °C), configuration, and the low and high
     * limits 75 °C and 80 °C.
     */
    static final byte[] SENSOR_REGISTERS = {0x15, (byte) 0x80, 0x60, (byte) 0xA0, 0x4B, 0x00, 0x50, 0x00};
    static final byte[] EEPROM_CONTENTS = "FT2232H demo board".getBytes(StandardCharsets.US_ASCII);

    private static final int EEPROM_SIZE = 256;
    private static final int EEPROM_PAGE = 8;

    /** The devices with something on their pins, for --trace: the FT2232H's channels A and B, the JTAG FT232H. */
    private static List<SimulatedDevice> channels = List.of();

    private SimulatedDevices() {
    }

    static void install() {
        // The jar's copy, unless a simulated driver was named explicitly.
        if (System.getProperty(SimulatedDriver.DRIVER_PATH_PROPERTY) == null) {
            System.setProperty(SimulatedDriver.DRIVER_PATH_PROPERTY, SimulatedDriver.BUNDLED);
        }
        SimulatedDriver.reset();
        SimulatedDriver.addDevice(0, D2XXConstants.FT_DEVICE_232R, 0x04036001, 0x0111, "SIM232R1",
                "Simulated FT232R loopback");
        SimulatedDriver.addDevice(D2XXConstants.FT_FLAGS_HISPEED, D2XXConstants.FT_DEVICE_232H, 0x04036014, 0x0213,
                "SIM232H1", "Simulated FT232H loopback");
        int xSeries = SimulatedDriver.addDevice(0, D2XXConstants.FT_DEVICE_X_SERIES, 0x04036015, 0x0321, "SIMX0001",
                "Simulated FT-X loopback");
        SimulatedDriver.setComPort(xSeries, 3);

        SimulatedDevice channelA = channel("A", 0x0221);
        channelA.attachI2cTarget(SENSOR_ADDRESS, false, SENSOR_REGISTERS.length).setRegisters(0, SENSOR_REGISTERS);
        channelA.attachI2cEeprom(EEPROM_ADDRESS, EEPROM_SIZE, EEPROM_PAGE).setContents(0, EEPROM_CONTENTS);
        SimulatedDevice channelB = channel("B", 0x0222);
        channelB.attachSpiFlash(Pin.AD3, SimulatedDevice.DEFAULT_JEDEC_ID, SimulatedDevice.DEFAULT_FLASH_SIZE);
        SimulatedDevice jtag = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H)
                .serialNumber(SimulatedJtagChain.DEMO_SERIAL).description("Simulated FT232H JTAG").locationId(0x0231)
                .loopback(false).attach();
        jtag.attachJtagChain(SimulatedJtagChain.demoChain());
        channels = List.of(channelA, channelB, jtag);
    }

    /** The FT2232H's channels of the last install, A then B. */
    static List<SimulatedDevice> channels() {
        return channels;
    }

    private static SimulatedDevice channel(String letter, int location) {
        return SimulatedDevice.builder().type(DeviceType.FT_DEVICE_2232H).serialNumber("FT2232H" + letter)
                .description("Simulated FT2232H " + letter).locationId(location).loopback(false).attach();
    }

    /**
     * Starts recording the pins of the device a command names.
     *
     * @throws CommandFailure if the command names no device, or one without a simulated bus
     */
    static SimulatedDevice startTrace(String deviceText) throws CommandFailure, FtdiException {
        if (deviceText != null) {
            var selector = LineOptions.selector(deviceText);
            List<DeviceInfo> devices = FtdiDevice.list();
            for (SimulatedDevice channel : channels) {
                if (channel.id() < devices.size() && selector.matches(devices.get(channel.id()), channel.id())) {
                    channel.recordWaveform();
                    return channel;
                }
            }
        }
        throw Arguments.usage("--trace records the pins of the simulated FT2232H's channels and the JTAG FT232H:"
                + " name FT2232HA, FT2232HB or FT232HJT as the command's device");
    }

    static void writeTrace(SimulatedDevice channel, Path file) throws CommandFailure {
        try {
            channel.waveform().writeVcd(file);
        } catch (IOException e) {
            throw new CommandFailure(ExitCode.FILE_ERROR, "Cannot write " + file + ": " + e);
        }
    }
}
