package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;

import java.math.BigInteger;
import java.util.List;
import nl.tamsel.ftdi.sim.JtagDeviceModel;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedJtagChain;
import nl.tamsel.ftdi.sim.SimulatedJtagDevice;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/**
 * Programs the memory of the demo chain's last device through hand-built MPSSE commands, waiting
 * with clock-only commands: waits as long as the memory's erase and program times verify, and a
 * wait too short loses the writes that follow, as on a real part.
 */
class JtagMemoryProgrammingTest extends SimulatedDriverTestBase {

    /** The IR: the memory device (nearest TDO) first, the other two in BYPASS. */
    private static long instruction(int memoryInstruction) {
        return memoryInstruction | 0xFL << 8 | 0x3FL << 12;
    }

    /** A DR scan of the memory device's 24 bits and the two bypass bits behind it. */
    private static JtagCommands data(JtagCommands commands, long value) {
        return commands.scan(false, 26, value);
    }

    @ParameterizedTest(name = "wait {0} clocks after the erase, {1} after each program")
    @CsvSource({
        "10000, 100, 123405, 567806, 02",
        "10000, 10,  123405, FFFF06, 06",
        "5000,  100, FFFF05, FFFF06, 07",
    })
    void aWaitTooShortFailsTheVerify(long eraseWait, long programWait, String word5, String word6, String status) {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).attach();
        SimulatedJtagChain chain = adapter.attachJtagChain(SimulatedJtagChain.demoChain());
        SimulatedJtagDevice memory = chain.device(2);
        memory.setMemoryWords(5, 0, 0);  // an erase that happens shows as 0xFFFF
        long handle = JtagMpsse.open(adapter);
        JtagCommands commands = new JtagCommands().start().tms("111110")
                .scan(true, 18, instruction(JtagDeviceModel.MEM_ENABLE))
                .scan(true, 18, instruction(JtagDeviceModel.MEM_ERASE)).idle(eraseWait)
                .scan(true, 18, instruction(JtagDeviceModel.MEM_PROGRAM));
        data(commands, 0x123405).idle(programWait);
        data(commands, 0x567806).idle(programWait);
        commands.scan(true, 18, instruction(JtagDeviceModel.MEM_READ));
        data(commands, 0x05);
        data(commands, 0x06);
        data(commands, 0x00);
        commands.scan(true, 18, instruction(JtagDeviceModel.MEM_STATUS));
        data(commands, 0);
        List<BigInteger> captured = JtagMpsse.run(handle, commands);
        int scans = captured.size();
        assertEquals(List.of(word5, word6, status), List.of(
                String.format("%06X", captured.get(scans - 4).intValue() & 0xFFFFFF),
                String.format("%06X", captured.get(scans - 3).intValue() & 0xFFFFFF),
                String.format("%02X", captured.get(scans - 1).intValue() & 0xFF)));
        int[] words = memory.memoryWords();
        assertArrayEquals(new int[] {Integer.parseInt(word5.substring(0, 4), 16),
            Integer.parseInt(word6.substring(0, 4), 16)}, new int[] {words[5], words[6]});
        D2XX.close(handle);
    }
}
