package nl.tamsel.ftdi.sim;

import java.nio.charset.StandardCharsets;
import java.time.Duration;
import java.util.List;
import java.util.Objects;
import java.util.OptionalLong;
import nl.tamsel.ftdi.usb.DeviceType;

/**
 * One device attached to the simulated driver, scripted and inspected as an object: what it
 * receives, what was written to it, its modem lines and line errors, and unplugging it.
 *
 * <pre>{@code
 * SimulatedDevice meter = SimulatedDevice.builder()
 *         .serialNumber("MTR00001").description("Multimeter").loopback(false).attach();
 * meter.receive("+1.25E+00\n");            // the reply the application will read
 * ... the application opens "MTR00001", writes its query and reads the reply ...
 * assertEquals("MEAS:VOLT?\n", meter.takeWrittenText());
 * }</pre>
 *
 * <p>The chip's pins carry peripherals for the bit modes and MPSSE: an I2C target, a 24C
 * EEPROM, an SPI flash, wires between pins and levels driven from outside, and a recorded
 * waveform:
 *
 * <pre>{@code
 * SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).attach();
 * SimulatedI2cTarget sensor = adapter.attachI2cTarget(0x48);
 * SimulatedSpiFlash flash = adapter.attachSpiFlash();
 * adapter.recordWaveform();
 * ... the application drives the pins through MPSSE ...
 * adapter.waveform().writeVcd(Path.of("target/bus.vcd"));
 * }</pre>
 *
 * <p>Faults and call counts belong to the driver as a whole, not to one device: see
 * {@link SimulatedDriver#failNext(DriverFunction, nl.tamsel.ftdi.usb.FtdiStatus)} and
 * {@link SimulatedDriver#callCount(DriverFunction)}.
 *
 * <p>A device lives until {@link SimulatedDriver#reset()}: after that every method throws
 * {@link IllegalStateException}, so that a device kept from an earlier test cannot silently
 * script a device of a later one.
 */
public final class SimulatedDevice {

    private static final int FTDI_VENDOR_ID = 0x0403;

    private final int id;
    private final int generation;
    private final DeviceType type;
    private final int vendorId;
    private final int productId;
    private final int locationId;
    private final String serialNumber;
    private final String description;

    private SimulatedDevice(int id, int generation, Builder builder, String serialNumber,
            int locationId) {
        this.id = id;
        this.generation = generation;
        this.type = builder.type;
        this.vendorId = builder.vendorId;
        this.productId = builder.productId == 0 ? defaultProductId(builder.type) : builder.productId;
        this.locationId = locationId;
        this.serialNumber = serialNumber;
        this.description = builder.description == null
                ? "Simulated " + builder.type.displayName() : builder.description;
    }

    /**
     * Starts describing a device to attach; every property has a default.
     *
     * @return a builder for a looped-back FT232R with a serial number of its own
     */
    public static Builder builder() {
        return new Builder();
    }

    /**
     * Returns the device's id in the simulated driver, which {@link SimulatedDriver}'s static
     * methods take; it is the device's position in the list until a device before it is
     * unplugged.
     *
     * @return the id
     */
    public int id() {
        return id;
    }

    /**
     * Returns the device's kind, as the device list reports it.
     *
     * @return the type
     */
    public DeviceType type() {
        return type;
    }

    /**
     * Returns the USB vendor id the device list reports.
     *
     * @return 0x0403 unless the builder set another
     */
    public int vendorId() {
        return vendorId;
    }

    /**
     * Returns the USB product id the device list reports.
     *
     * @return the product id
     */
    public int productId() {
        return productId;
    }

    /**
     * Returns the location id the device list reports, which opens the device by location.
     *
     * @return the location id
     */
    public int locationId() {
        return locationId;
    }

    /**
     * Returns the serial number, which opens the device by serial number.
     *
     * @return the serial number
     */
    public String serialNumber() {
        return serialNumber;
    }

    /**
     * Returns the description, which opens the device by description.
     *
     * @return the description
     */
    public String description() {
        return description;
    }

    /**
     * Makes bytes arrive at the device, as if sent by whatever it is connected to; the next
     * reads return them.
     *
     * @param bytes the bytes, in order
     */
    public void receive(byte[] bytes) {
        SimulatedDriver.inject(live(), bytes);
    }

    /**
     * Makes text arrive at the device, as its UTF-8 bytes (ASCII stays ASCII).
     *
     * @param text the text
     */
    public void receive(String text) {
        receive(Objects.requireNonNull(text, "text").getBytes(StandardCharsets.UTF_8));
    }

    /**
     * Takes the bytes written to the device since the last take (looped back or not).
     *
     * @return the bytes in order, empty when nothing was written
     */
    public byte[] takeWritten() {
        return SimulatedDriver.takeWritten(live());
    }

    /**
     * Counts every byte written to this device since it was attached, taken or not, also past
     * the 16 MiB that {@link #takeWritten()} keeps; see {@link SimulatedDriver#writtenTotal(int)}.
     *
     * @return the bytes written
     */
    public long writtenTotal() {
        return SimulatedDriver.writtenTotal(live());
    }

    /**
     * Takes the bytes written since the last take, decoded as UTF-8.
     *
     * @return the text, empty when nothing was written
     */
    public String takeWrittenText() {
        return new String(takeWritten(), StandardCharsets.UTF_8);
    }

    /**
     * Switches the loopback wiring: on, written bytes come back as received bytes, RTS drives
     * CTS and DTR drives DSR and DCD; off, written bytes only wait for {@link #takeWritten()}
     * and the modem lines are those of {@link #setModemInputs}.
     *
     * @param on whether the device is looped back
     */
    public void setLoopback(boolean on) {
        SimulatedDriver.setLoopback(live(), on);
    }

    /**
     * Sets which modem lines are on when the device is not looped back; the others are off.
     * RI shows in loopback too.
     *
     * @param lines the lines that are on; none for all off
     */
    public void setModemInputs(ModemLine... lines) {
        int bits = 0;
        for (ModemLine line : lines) {
            bits |= Objects.requireNonNull(line, "line").bit();
        }
        SimulatedDriver.setModemInputs(live(), bits);
    }

    /**
     * Raises line errors; the next modem-status query reports them and clears them.
     *
     * @param errors the errors
     */
    public void raiseLineErrors(LineError... errors) {
        int bits = 0;
        for (LineError error : errors) {
            bits |= Objects.requireNonNull(error, "error").bit();
        }
        SimulatedDriver.raiseLineErrors(live(), bits);
    }

    /**
     * Sets the version the driver reports for this device.
     *
     * @param version the version word, such as 0x00030216 for 3.2.16
     */
    public void setDriverVersion(int version) {
        SimulatedDriver.setDriverVersion(live(), version);
    }

    /**
     * Sets the COM port the driver reports for this device.
     *
     * @param port the port number, or -1 for none (the default)
     */
    public void setComPort(int port) {
        SimulatedDriver.setComPort(live(), port);
    }

    /**
     * Marks the device as held by another process (or no longer): it lists without serial
     * number and description, and opening it fails with {@code FT_DEVICE_NOT_OPENED}.
     *
     * @param opened whether another process holds it
     */
    public void setOpenedElsewhere(boolean opened) {
        SimulatedDriver.setOpenedElsewhere(live(), opened);
    }

    /**
     * Holds the device's writes, as flow control does when the other end is not ready: a write
     * waits up to its timeout and reports 0 bytes, until this is switched off again.
     *
     * @param on whether writes stall
     */
    public void setWritesStalled(boolean on) {
        SimulatedDriver.setWritesStalled(live(), on);
    }

    /**
     * Unplugs the device: it leaves the device list, every later call on an open handle fails
     * with {@code FT_IO_ERROR} (closing still succeeds), and a waiting read returns that error.
     */
    public void unplug() {
        SimulatedDriver.unplug(live());
    }

    /**
     * Tells whether this process has the device open.
     *
     * @return true between a successful open and its close
     */
    public boolean isOpen() {
        return state().open();
    }

    /**
     * Returns the handle the driver issued for the device's open.
     *
     * @return the handle's bits, empty when the device is not open
     */
    public OptionalLong handle() {
        long handle = SimulatedDriver.handleOf(live());
        return handle == 0 ? OptionalLong.empty() : OptionalLong.of(handle);
    }

    /**
     * Returns the device's current line settings, control signals and queue fill.
     *
     * @return a snapshot
     */
    public DeviceState state() {
        return SimulatedDriver.state(live());
    }

    /** The JEDEC ID {@link #attachSpiFlash()} gives its flash: manufacturer 0xEF, 8 Mbit. */
    public static final int DEFAULT_JEDEC_ID = 0xEF4014;

    /** The size of the flash {@link #attachSpiFlash()} attaches: 1 MiB. */
    public static final int DEFAULT_FLASH_SIZE = 1 << 20;

    /** The register count of {@link #attachI2cTarget(int)}'s target. */
    public static final int DEFAULT_I2C_REGISTERS = 256;

    /**
     * Attaches an I2C target with 256 registers at a 7-bit address. The I2C pins are SCL = AD0
     * and SDA = AD1, wired to AD2 (the chip's SDA input), as MPSSE I2C wires them.
     *
     * @param address the 7-bit address, 0 to 0x7F
     * @return the target
     */
    public SimulatedI2cTarget attachI2cTarget(int address) {
        return attachI2cTarget(address, false, DEFAULT_I2C_REGISTERS);
    }

    /**
     * Attaches an I2C target at a 7- or 10-bit address. See {@link #attachI2cTarget(int)}.
     *
     * @param address   the address, 0 to 0x7F, or 0 to 0x3FF when ten bits
     * @param tenBit    whether the address has ten bits
     * @param registers the register count, 1 to 65536
     * @return the target
     */
    public SimulatedI2cTarget attachI2cTarget(int address, boolean tenBit, int registers) {
        if (address < 0 || address > (tenBit ? 0x3FF : 0x7F) || registers < 1 || registers > 1 << 16) {
            throw new IllegalArgumentException("no I2C target at address 0x" + Integer.toHexString(address)
                    + (tenBit ? " (10-bit)" : "") + " with " + registers + " registers");
        }
        int id = BusNatives.checked(BusNatives.attachI2cTarget(live(), address, tenBit, registers),
                "the I2C target");
        return new SimulatedI2cTarget(this, id);
    }

    /**
     * Attaches a 24C-kind EEPROM on the I2C pins (see {@link #attachI2cTarget(int)}), erased
     * to 0xFF: a 24C02 is {@code attachI2cEeprom(0x50, 256, 8)}, a 24C64
     * {@code attachI2cEeprom(0x50, 8192, 32)}.
     *
     * @param address   the 7-bit address, 0 to 0x7F
     * @param sizeBytes the size, 1 to 65536 bytes; above 2048 the word address has two bytes
     * @param pageBytes the page size, 1 to sizeBytes
     * @return the EEPROM
     */
    public SimulatedI2cEeprom attachI2cEeprom(int address, int sizeBytes, int pageBytes) {
        if (address < 0 || address > 0x7F || sizeBytes < 1 || sizeBytes > 1 << 16 || pageBytes < 1
                || pageBytes > sizeBytes) {
            throw new IllegalArgumentException("no EEPROM at address 0x" + Integer.toHexString(address)
                    + " of " + sizeBytes + " bytes in pages of " + pageBytes);
        }
        int id = BusNatives.checked(BusNatives.attachI2cEeprom(live(), address, sizeBytes, pageBytes),
                "the EEPROM");
        return new SimulatedI2cEeprom(this, id);
    }

    /**
     * Attaches a 1 MiB SPI flash with JEDEC ID 0xEF4014 ({@link #DEFAULT_JEDEC_ID}) and chip select on
     * AD3. See {@link SimulatedSpiFlash}.
     *
     * @return the flash
     */
    public SimulatedSpiFlash attachSpiFlash() {
        return attachSpiFlash(Pin.AD3, DEFAULT_JEDEC_ID, DEFAULT_FLASH_SIZE);
    }

    /**
     * Attaches an SPI flash: SCK = AD0, MOSI = AD1, MISO = AD2, chip select as given.
     *
     * @param chipSelect the chip-select pin, AD3 or above
     * @param jedecId    the JEDEC ID as 0xMMTTCC
     * @param sizeBytes  the size, a multiple of 4096 up to 16 MiB
     * @return the flash
     */
    public SimulatedSpiFlash attachSpiFlash(Pin chipSelect, int jedecId, int sizeBytes) {
        Objects.requireNonNull(chipSelect, "chipSelect");
        if (chipSelect.number() < Pin.AD3.number() || jedecId < 0 || jedecId > 0xFFFFFF || sizeBytes < 4096
                || sizeBytes > 16 << 20 || sizeBytes % 4096 != 0) {
            throw new IllegalArgumentException("no SPI flash with chip select " + chipSelect + ", JEDEC ID 0x"
                    + Integer.toHexString(jedecId) + " and " + sizeBytes + " bytes");
        }
        int id = BusNatives.checked(BusNatives.attachSpiFlash(live(), chipSelect.number(), jedecId, sizeBytes),
                "the SPI flash");
        return new SimulatedSpiFlash(this, id, jedecId);
    }

    /**
     * Attaches a JTAG scan chain to the MPSSE pins: TCK = AD0, TDI = AD1 into the first device,
     * TDO = AD2 from the last, TMS = AD3. See {@link SimulatedJtagChain}; for the tool's demo
     * chain pass {@link SimulatedJtagChain#demoChain()}.
     *
     * @param fromTdiToTdo the devices, the one at TDI first; 1 to {@value SimulatedJtagChain#MAX_DEVICES}
     * @return the chain, every device in Test-Logic-Reset
     */
    public SimulatedJtagChain attachJtagChain(List<JtagDeviceModel> fromTdiToTdo) {
        return attachJtagChain(fromTdiToTdo, null);
    }

    /**
     * Attaches a JTAG scan chain with a TRST* pin (active low: while it is low every device
     * stays in Test-Logic-Reset). See {@link #attachJtagChain(List)}.
     *
     * @param fromTdiToTdo the devices, the one at TDI first
     * @param trst         the TRST* pin, AD4 or above; null for none
     * @return the chain
     */
    public SimulatedJtagChain attachJtagChain(List<JtagDeviceModel> fromTdiToTdo, Pin trst) {
        List<JtagDeviceModel> models = List.copyOf(Objects.requireNonNull(fromTdiToTdo, "fromTdiToTdo"));
        if (models.isEmpty() || models.size() > SimulatedJtagChain.MAX_DEVICES) {
            throw new IllegalArgumentException("a JTAG chain has 1 to " + SimulatedJtagChain.MAX_DEVICES
                    + " devices, not " + models.size());
        }
        if (trst != null && trst.number() < Pin.AD4.number()) {
            throw new IllegalArgumentException("TRST* needs a free pin, AD4 or above: " + trst
                    + " carries TCK, TDI, TDO or TMS");
        }
        int[] specs = new int[models.size() * BusNatives.JTAG_SPEC_INTS];
        for (int i = 0; i < models.size(); i++) {
            JtagDeviceModel model = models.get(i);
            int at = i * BusNatives.JTAG_SPEC_INTS;
            specs[at] = model.irLength();
            specs[at + 1] = model.irCapture();
            specs[at + 2] = model.idcode().isPresent() ? 1 : 0;
            specs[at + 3] = model.idcode().orElse(0);
            specs[at + 4] = model.idcodeInstruction();
            specs[at + 5] = (model.usercode().isPresent() ? 1 : 0) | (model.hasMemory() ? 2 : 0);
            specs[at + 6] = model.usercode().orElse(0);
            specs[at + 7] = model.usercodeInstruction();
        }
        int id = BusNatives.checked(BusNatives.attachJtagChain(live(), specs, trst == null ? -1 : trst.number()),
                "the JTAG chain");
        return new SimulatedJtagChain(this, id, models, trst);
    }

    /**
     * Wires two pins together: from then on they show one level (low when anything drives
     * either low).
     *
     * @param a one pin
     * @param b the other
     */
    public void connect(Pin a, Pin b) {
        BusNatives.checked(BusNatives.connectPins(live(), Objects.requireNonNull(a, "a").number(),
                Objects.requireNonNull(b, "b").number()), "the wire");
    }

    /**
     * Drives a pin from outside the chip, as a button or another device would. A low wins over
     * a high from anyone else; undriven pins read 1 (pulled up). This is the same outside drive
     * that {@link #drivePins(int, int)} sets for many pins at once; an MPSSE command waiting for
     * the pin's level (a wait on GPIOL1) goes on when it comes.
     *
     * @param pin  the pin
     * @param high the level
     */
    public void drive(Pin pin, boolean high) {
        BusNatives.checked(BusNatives.drivePin(live(), Objects.requireNonNull(pin, "pin").number(),
                high ? 1 : 0), "the drive");
    }

    /**
     * Stops driving a pin from outside (see {@link #drive(Pin, boolean)}).
     *
     * @param pin the pin
     */
    public void release(Pin pin) {
        BusNatives.checked(BusNatives.drivePin(live(), Objects.requireNonNull(pin, "pin").number(), -1),
                "the release");
    }

    /**
     * Starts recording the pins' level changes from now, dropping an earlier recording.
     */
    public void recordWaveform() {
        BusNatives.checked(BusNatives.setWaveformRecording(live(), true), "recording");
    }

    /**
     * Returns the level changes recorded since {@link #recordWaveform()}.
     *
     * @return the waveform
     */
    public Waveform waveform() {
        byte[] vcd = BusNatives.checked(BusNatives.waveformVcd(live()), "waveform");
        return new Waveform(new String(vcd, StandardCharsets.US_ASCII));
    }

    /**
     * Returns the device's simulated time on its pins: it advances as the chip clocks them.
     *
     * @return the time since the device was attached
     */
    public Duration busTime() {
        long nanos = BusNatives.busNanos(live());
        BusNatives.checked(nanos < 0 ? -1 : 0, "bus time");
        return Duration.ofNanos(nanos);
    }

    /** The device's id, or IllegalStateException after a reset of the simulated driver. */
    int liveId() {
        return live();
    }

    /**
     * Returns the words of the device's configuration EEPROM, as {@code FT_ReadEE} reads them:
     * a default configuration (vendor and product ID in words 1 and 2), the manufacturer
     * "FTDI", the description and the serial number as string descriptors from word 10, then
     * the user area and the rest erased (0xFFFF).
     *
     * @return a copy of the words, each 0..0xFFFF; 64 for a 232R, 128 for an H-series chip
     */
    public int[] eepromWords() {
        int[] words = ChipNatives.simGetEepromWords(live());
        if (words == null) {
            throw new IllegalStateException(this + " has no EEPROM to read");
        }
        return words;
    }

    /**
     * Sets one word of the device's EEPROM, as {@code FT_WriteEE} would, without opening it.
     *
     * @param offset the word's offset, from 0 to {@code eepromWords().length - 1}
     * @param value  the word, 0..0xFFFF
     * @throws IllegalArgumentException for an offset past the EEPROM or a value beyond 16 bits
     */
    public void setEepromWord(int offset, int value) {
        if (value < 0 || value > 0xFFFF) {
            throw new IllegalArgumentException("an EEPROM word is 0..0xFFFF, not " + value);
        }
        if (offset < 0 || ChipNatives.simSetEepromWord(live(), offset, value) != 0) {
            throw new IllegalArgumentException("the EEPROM of " + this + " has no word " + offset);
        }
    }

    /**
     * Drives pins from outside the chip, as a circuit on them would: pins 0..7 are ADBUS0..7
     * (D0..D7 of a 232R), 8..15 ACBUS0..7 (CBUS0..3 in CBUS bit-bang). Each call replaces what
     * the previous one drove (with {@link #drive(Pin, boolean)} too, which sets the same drive
     * pin by pin); pins outside the mask are released. A pin that the chip drives
     * one way and this the other reads low.
     *
     * @param mask   the pins to drive (bit i = pin i), 0..0xFFFF; 0 releases them all
     * @param levels their levels, bit i for pin i
     * @throws IllegalArgumentException for a mask beyond 16 pins
     */
    public void drivePins(int mask, int levels) {
        if ((mask & ~0xFFFF) != 0) {
            throw new IllegalArgumentException("pins are 0..15: mask " + Integer.toHexString(mask));
        }
        if (ChipNatives.simSetPinInputs(live(), mask, levels) != 0) {
            throw new IllegalStateException(this + " refused the pin levels");
        }
    }

    /**
     * Returns the level every pin shows now, whoever drives it; an undriven pin reads 1.
     *
     * @return the levels, bit i for pin i, 0..0xFFFF
     */
    public int pinLevels() {
        return ChipNatives.simGetPinLevels(live());
    }

    /**
     * Returns the bit mode {@code FT_SetBitMode} set last (0 for the UART, 1 async bit-bang,
     * 2 MPSSE, 4 sync bit-bang, 0x20 CBUS bit-bang, ...).
     *
     * @return the mode, 0..0xFF
     */
    public int bitMode() {
        return ChipNatives.simGetBitMode(live()) & 0xFF;
    }

    /**
     * Returns the mask {@code FT_SetBitMode} set with the mode: pin directions (1 = output), in
     * CBUS bit-bang the directions in the high nibble and the levels in the low one.
     *
     * @return the mask, 0..0xFF
     */
    public int bitModeMask() {
        return (ChipNatives.simGetBitMode(live()) >> 8) & 0xFF;
    }

    @Override
    public String toString() {
        return "simulated " + type.displayName() + " " + serialNumber + " (\"" + description
                + "\", id " + id + ")";
    }

    private int live() {
        if (SimulatedDriver.generation() != generation) {
            throw new IllegalStateException(this + " was removed by a reset of the simulated driver");
        }
        return id;
    }

    private static int defaultProductId(DeviceType type) {
        switch (type) {
            case FT_DEVICE_2232C:
            case FT_DEVICE_2232H:
                return 0x6010;
            case FT_DEVICE_4232H:
                return 0x6011;
            case FT_DEVICE_232H:
                return 0x6014;
            case FT_DEVICE_X_SERIES:
                return 0x6015;
            default:
                return 0x6001;
        }
    }

    /** Describes a device to attach; {@link #attach()} attaches it. */
    public static final class Builder {
        private DeviceType type = DeviceType.FT_DEVICE_232R;
        private int vendorId = FTDI_VENDOR_ID;
        private int productId;
        private Integer locationId;
        private String serialNumber;
        private String description;
        private boolean loopback = true;

        private Builder() {
        }

        /**
         * Sets the device's kind (an FT232R by default), which also picks the default
         * product id.
         *
         * @param type a kind with a driver code
         * @return this builder
         */
        public Builder type(DeviceType type) {
            Objects.requireNonNull(type, "type");
            if (type.code() < 0) {
                throw new IllegalArgumentException(type + " has no driver code");
            }
            this.type = type;
            return this;
        }

        /**
         * Sets the USB vendor and product ids (0x0403 and the type's usual product id by
         * default).
         *
         * @param vendorId  the vendor id, 0 to 0xFFFF
         * @param productId the product id, 1 to 0xFFFF
         * @return this builder
         */
        public Builder usbIds(int vendorId, int productId) {
            if (vendorId < 0 || vendorId > 0xFFFF || productId < 1 || productId > 0xFFFF) {
                throw new IllegalArgumentException("USB ids are 16 bits: " + vendorId + ", " + productId);
            }
            this.vendorId = vendorId;
            this.productId = productId;
            return this;
        }

        /**
         * Sets the serial number (by default "SIM" and the device's id in five digits).
         *
         * @param serialNumber at most 16 bytes in UTF-8
         * @return this builder
         */
        public Builder serialNumber(String serialNumber) {
            this.serialNumber = requireFits("serial number", serialNumber,
                    SimulatedDriver.SERIAL_FIELD_SIZE);
            return this;
        }

        /**
         * Sets the description (by default "Simulated " and the type's short name).
         *
         * @param description at most 64 bytes in UTF-8
         * @return this builder
         */
        public Builder description(String description) {
            this.description = requireFits("description", description,
                    SimulatedDriver.DESCRIPTION_FIELD_SIZE);
            return this;
        }

        /**
         * Sets the location id (by default 0x1001 plus the device's id).
         *
         * @param locationId the location word
         * @return this builder
         */
        public Builder locationId(int locationId) {
            this.locationId = locationId;
            return this;
        }

        /**
         * Sets whether the device starts looped back (it does by default).
         *
         * @param on whether written bytes come back
         * @return this builder
         * @see SimulatedDevice#setLoopback(boolean)
         */
        public Builder loopback(boolean on) {
            this.loopback = on;
            return this;
        }

        /**
         * Attaches the device at the end of the simulated driver's device list.
         *
         * @return the attached device
         */
        public SimulatedDevice attach() {
            synchronized (SimulatedDriver.class) {
                int generation = SimulatedDriver.generation();
                int next = SimulatedDriver.deviceCount();
                String serial = serialNumber == null ? String.format("SIM%05d", next) : serialNumber;
                int location = locationId == null ? 0x1001 + next : locationId;
                SimulatedDevice device = new SimulatedDevice(next, generation, this, serial, location);
                int id = SimulatedDriver.addDevice(0, type.code(),
                        (device.vendorId << 16) | device.productId, location, serial, device.description);
                if (id != next) {
                    throw new IllegalStateException("the simulated driver attached device " + id
                            + " where " + next + " was expected: attach devices from one thread at a time");
                }
                if (!loopback) {
                    SimulatedDriver.setLoopback(id, false);
                }
                return device;
            }
        }

        private static String requireFits(String field, String value, int limit) {
            Objects.requireNonNull(value, field);
            int length = value.getBytes(StandardCharsets.UTF_8).length;
            if (length > limit) {
                throw new IllegalArgumentException(field + " \"" + value + "\" has " + length
                        + " bytes in UTF-8, more than the driver's " + limit);
            }
            return value;
        }
    }
}
