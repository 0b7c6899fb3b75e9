package nl.tamsel.ftdi.sim;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.List;
import java.util.function.Supplier;
import java.util.stream.Stream;
import nl.tamsel.ftdi.sim.junit.JtagChain;
import nl.tamsel.ftdi.sim.junit.SimulatedFtdi;
import nl.tamsel.ftdi.usb.DeviceType;
import org.junit.jupiter.api.Named;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.MethodSource;

/** JTAG chains on a simulated device's pins, scripted from Java and received as test parameters. */
@SimulatedFtdi
class SimulatedJtagChainTest {

    static Stream<Named<Supplier<JtagDeviceModel>>> impossibleModels() {
        return Stream.of(
                Named.of("an IR of 1 bit", () -> JtagDeviceModel.builder(1).build()),
                Named.of("an IR of 33 bits", () -> JtagDeviceModel.builder(33).build()),
                Named.of("an IDCODE with bit 0 clear", () -> JtagDeviceModel.builder(4).idcode(0x1234).build()),
                Named.of("an IDCODE instruction past the IR",
                        () -> JtagDeviceModel.builder(4).idcode(1).idcodeInstruction(0x10).build()),
                Named.of("IDCODE on the BYPASS instruction",
                        () -> JtagDeviceModel.builder(4).idcode(1).idcodeInstruction(0xF).build()),
                Named.of("USERCODE on the IDCODE instruction",
                        () -> JtagDeviceModel.builder(6).idcode(1).usercode(2).usercodeInstruction(0x3E).build()),
                Named.of("the memory on a 7-bit IR", () -> JtagDeviceModel.builder(7).withMemory().build()),
                Named.of("IDCODE on a memory instruction",
                        () -> JtagDeviceModel.builder(8).idcode(1).idcodeInstruction(0xC3).withMemory().build()),
                Named.of("an IR capture not ending in 01", () -> JtagDeviceModel.builder(4).irCapture(0b11).build()));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("impossibleModels")
    void impossibleModelsAreRefused(Supplier<JtagDeviceModel> model) {
        assertThrows(IllegalArgumentException.class, model::get);
    }

    @Test
    void theDemoChainMatchesTheToolsFt232hjt(@JtagChain(serial = SimulatedJtagChain.DEMO_SERIAL) SimulatedJtagChain chain) {
        assertEquals(DeviceType.FT_DEVICE_232H, chain.adapter().type());
        assertEquals("FT232HJT", chain.adapter().serialNumber());
        assertEquals(18, chain.irLength());
    }

    /** Two devices, the second with the memory. */
    public static final class TwoDevices implements Supplier<List<JtagDeviceModel>> {
        /** Creates the supplier. */
        public TwoDevices() {
        }

        @Override
        public List<JtagDeviceModel> get() {
            return List.of(JtagDeviceModel.builder(5).idcode(0x0BA00477).build(),
                    JtagDeviceModel.builder(8).withMemory().build());
        }
    }

    @Test
    void aDeclaredChainHasItsDevicesAndTrstPin(
            @JtagChain(models = TwoDevices.class, trst = Pin.AD4) SimulatedJtagChain chain) {
        assertEquals(2, chain.size());
        assertEquals(Pin.AD4, chain.trstPin().orElseThrow());
        assertEquals(0x1E, chain.device(0).instruction());
        assertEquals(0xFF, chain.device(1).instruction());
        // Driven from outside (the chip's pins are inputs until it is opened): one clock with
        // TMS low leaves reset; TRST* low resets and holds the chain whatever TCK does.
        SimulatedDevice pins = chain.adapter();
        pins.recordWaveform();
        pins.drive(Pin.AD3, false);
        pins.drive(Pin.AD0, false);
        pins.drive(Pin.AD0, true);
        assertEquals("RUN_TEST_IDLE", chain.device(1).state());
        pins.drive(Pin.AD4, false);
        pins.drive(Pin.AD0, false);
        pins.drive(Pin.AD0, true);
        assertEquals(List.of("TEST_LOGIC_RESET", "TEST_LOGIC_RESET"),
                chain.devices().stream().map(SimulatedJtagDevice::state).toList());
        String vcd = pins.waveform().toVcd();
        for (String name : List.of("TCK", "TDI", "TDO", "TMS", "TRST")) {
            assertTrue(vcd.contains(" " + name + " "), name + " in the waveform");
        }
    }

    @Test
    void theMemoryIsScriptedAndChecked(SimulatedJtagChain chain) {
        SimulatedJtagDevice memory = chain.device(2);
        int[] words = memory.memoryWords();
        assertEquals(JtagDeviceModel.MEMORY_WORDS, words.length);
        assertEquals(0xFFFF, words[0]);
        memory.setMemoryWords(254, 0x1234, 0xABCD);
        int[] after = memory.memoryWords();
        assertArrayEquals(new int[] {0xFFFF, 0x1234, 0xABCD}, new int[] {after[253], after[254], after[255]});
        assertEquals(0, memory.memoryStatus());
        memory.setBusyClocks(0, 0);
        assertThrows(IllegalArgumentException.class, () -> memory.setMemoryWords(255, 1, 2));
        assertThrows(IllegalArgumentException.class, () -> memory.setMemoryWords(0, 0x10000));
        assertThrows(IllegalArgumentException.class, () -> memory.setBusyClocks(-1, 0));
        assertThrows(IllegalStateException.class, () -> chain.device(0).memoryWords());
        assertThrows(IndexOutOfBoundsException.class, () -> chain.device(3));
    }

    @Test
    void chainsOutOfRangeAreRefused(SimulatedDevice device) {
        JtagDeviceModel one = JtagDeviceModel.builder(4).build();
        assertThrows(IllegalArgumentException.class, () -> device.attachJtagChain(List.of()));
        assertThrows(IllegalArgumentException.class, () -> device.attachJtagChain(List.of(one), Pin.AD3));
        assertThrows(IllegalArgumentException.class,
                () -> device.attachJtagChain(java.util.Collections.nCopies(SimulatedJtagChain.MAX_DEVICES + 1, one)));
        assertEquals(SimulatedJtagChain.MAX_DEVICES,
                device.attachJtagChain(java.util.Collections.nCopies(SimulatedJtagChain.MAX_DEVICES, one)).size());
    }
}
