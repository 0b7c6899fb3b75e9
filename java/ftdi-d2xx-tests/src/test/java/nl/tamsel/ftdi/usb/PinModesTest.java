package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.io.IOException;
import java.util.Arrays;
import java.util.EnumSet;
import java.util.Set;
import java.util.concurrent.atomic.AtomicReference;
import nl.tamsel.ftdi.sim.LineError;
import nl.tamsel.ftdi.sim.ModemLine;
import nl.tamsel.ftdi.sim.Pin;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** The EEPROM, bit-bang and CBUS classes against the simulated chip. */
class PinModesTest extends SimulatedDriverTestBase {

    private static SimulatedDevice attach(DeviceType type) {
        return SimulatedDevice.builder().type(type).loopback(false).attach();
    }

    /** An MPSSE wait for GPIOL1 (AD5) holds every later command until a drive from outside ends it. */
    @ParameterizedTest(name = "wait for GPIOL1 {0}")
    @CsvSource({"high, 0x88, true", "low, 0x89, false"})
    void aWaitOnGpiol1EndsWhenThePinIsDriven(String level, int waitCommand, boolean high) throws IOException {
        SimulatedDevice adapter = attach(DeviceType.FT_DEVICE_232H);
        adapter.drive(Pin.AD5, !high);
        long handle = D2XX.openByIndex(adapter.id());
        try {
            assertEquals(0, D2XX.setTimeouts(handle, 50, 1000));
            assertEquals(0, D2XXModes.setBitMode(handle, 0, 2));
            byte[] commands = {(byte) waitCommand, (byte) 0x81, (byte) 0x87};
            assertEquals(commands.length, D2XX.write(handle, commands, 0, commands.length));
            byte[] reply = new byte[1];
            assertEquals(0, D2XX.read(handle, reply, 0, 1), "the pin read ran before the wait ended");

            adapter.drive(Pin.AD5, high);
            assertEquals(1, D2XX.read(handle, reply, 0, 1));
            assertEquals(high, (reply[0] & 0x20) != 0, "AD5 as the read after the wait saw it");
        } finally {
            D2XX.close(handle);
        }
    }

    /** Words land where written; erasing works on external EEPROMs and is refused on internal ones. */
    @ParameterizedTest(name = "{0}: erase refused {1}")
    @CsvSource({"FT_DEVICE_232R, true", "FT_DEVICE_232H, false", "FT_DEVICE_2232H, false"})
    void eepromWordsEraseAndUserArea(DeviceType type, boolean internal) throws IOException {
        SimulatedDevice adapter = attach(type);
        try (FtdiDevice device = FtdiDevice.openByIndex(adapter.id())) {
            Eeprom eeprom = device.eeprom();
            assertEquals(adapter.eepromWords()[1], eeprom.readWord(1), "word 1 (vendor ID)");
            eeprom.writeWord(0x3F, 0xBEEF);
            assertEquals(0xBEEF, adapter.eepromWords()[0x3F]);
            assertEquals(0xBEEF, eeprom.readWord(0x3F));

            int size = eeprom.userAreaSize();
            byte[] data = pattern(size, 3);
            eeprom.writeUserArea(data);
            assertArrayEquals(data, eeprom.readUserArea());
            assertThrows(IllegalArgumentException.class, () -> eeprom.writeUserArea(new byte[size + 1]));

            if (internal) {
                FtdiException e = assertThrows(FtdiException.class, eeprom::erase);
                assertEquals(FtdiStatus.FT_EEPROM_ERASE_FAILED, e.status());
                assertEquals(0xBEEF, eeprom.readWord(0x3F), "nothing erased");
            } else {
                eeprom.erase();
                assertEquals(0xFFFF, eeprom.readWord(0x3F));
                int[] erased = new int[adapter.eepromWords().length];
                Arrays.fill(erased, 0xFFFF);
                assertArrayEquals(erased, adapter.eepromWords());
            }
        }
    }

    /**
     * Asynchronous: outputs follow the written levels, inputs show what drives them.
     * Synchronous: each sample is taken before its byte is driven, so samples lag one byte.
     */
    @ParameterizedTest(name = "directions {0}, write {1}, outside drives {2}: pins {3}")
    @CsvSource({
        "0xFF, 0x5A, 0x00, 0x5A",
        "0x0F, 0x5A, 0x00, 0x0A",
        "0x0F, 0xFF, 0x30, 0x3F",
        "0xF0, 0x0F, 0x05, 0x05",
    })
    void bitBangDrivesThroughTheDirections(String directions, String levels, String outside, String pins)
            throws IOException {
        int dir = Integer.decode(directions);
        SimulatedDevice adapter = attach(DeviceType.FT_DEVICE_232H);
        // Inputs show what drives them from outside; an undriven input would read 1.
        adapter.drivePins(~dir & 0xFF, Integer.decode(outside));
        try (FtdiDevice device = FtdiDevice.openByIndex(adapter.id()); BitBangPort port = device.bitBang(dir)) {
            port.write(Integer.decode(levels));
            assertEquals(Integer.decode(pins), adapter.pinLevels() & 0xFF, "pins on the simulated chip");
            assertEquals(Integer.decode(pins), port.read(), "pins read back");
        }
        adapter.drivePins(0xFF, 0xFF);
        try (FtdiDevice device = FtdiDevice.openByIndex(adapter.id()); BitBangPort port = device.syncBitBang(0xFF)) {
            port.write(0xFF);
            assertArrayEquals(new byte[] {(byte) 0xFF, 0x55}, port.transfer(new byte[] {0x55, (byte) 0xAA}));
            assertArrayEquals(new byte[] {(byte) 0xAA}, port.transfer(new byte[] {0x00}), "the third byte shows 0xAA");
        }
    }

    /** CBUS: the mask's high nibble is the directions, the low nibble the levels; reads give the low nibble. */
    @ParameterizedTest(name = "pin {0} output {1} level {2}: mask {3}")
    @CsvSource({"0, true, true, 0x11", "3, true, false, 0x80", "2, true, true, 0x44", "1, false, true, 0x02"})
    void cbusPinsAreNibbles(int pin, boolean output, boolean level, String mask) throws IOException {
        SimulatedDevice adapter = attach(DeviceType.FT_DEVICE_232R);
        try (FtdiDevice device = FtdiDevice.openByIndex(adapter.id()); CbusPins cbus = device.cbusPins()) {
            cbus.set(pin, output, level);
            assertEquals(0x20, adapter.bitMode(), "CBUS bit-bang");
            assertEquals(Integer.decode(mask), adapter.bitModeMask());
            assertEquals(level, cbus.read(pin), "an output reads its level, an input its pull-up");
            if (!output) {
                assertThrows(IllegalArgumentException.class, () -> cbus.write(pin, false));
            }
        }
    }

    /**
     * An event that occurs while a thread waits (or just before it waits: it is kept) ends the
     * wait with that event only; the others asked for stay unreported.
     */
    @ParameterizedTest(name = "{0} ends a wait")
    @CsvSource({"RECEIVED_BYTES", "MODEM_STATUS", "LINE_STATUS"})
    void anEventEndsAWait(DeviceEvent event) throws Exception {
        SimulatedDevice adapter = attach(DeviceType.FT_DEVICE_232R);
        try (FtdiDevice device = FtdiDevice.openByIndex(adapter.id())) {
            AtomicReference<Object> outcome = new AtomicReference<>();
            Thread waiter = new Thread(() -> {
                try {
                    outcome.set(device.awaitEvent(EnumSet.allOf(DeviceEvent.class), FtdiDevice.MAX_TIMEOUT));
                } catch (Throwable t) {
                    outcome.set(t);
                }
            });
            waiter.start();
            switch (event) {
                case RECEIVED_BYTES -> adapter.receive(new byte[] {1, 2});
                case MODEM_STATUS -> adapter.setModemInputs(ModemLine.CTS);
                case LINE_STATUS -> adapter.raiseLineErrors(LineError.FRAMING);
            }
            waiter.join();
            assertEquals(Set.of(event), outcome.get());
        }
    }
}
