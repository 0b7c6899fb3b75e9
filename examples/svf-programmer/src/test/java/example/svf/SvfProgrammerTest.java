package example.svf;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedJtagChain;
import nl.tamsel.ftdi.sim.SimulatedJtagDevice;
import nl.tamsel.ftdi.sim.junit.Device;
import nl.tamsel.ftdi.sim.junit.SimulatedFtdi;
import nl.tamsel.ftdi.svf.SvfCompareException;
import nl.tamsel.ftdi.svf.SvfSummary;
import nl.tamsel.ftdi.svf.SvfSyntaxException;
import nl.tamsel.ftdi.usb.DeviceType;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

@SimulatedFtdi
class SvfProgrammerTest {

    private static final Path GOOD_FILE = Path.of("program-memory.svf");
    private static final long CLOCK_HZ = 6_000_000;

    @TempDir
    Path folder;

    private static SimulatedJtagDevice memoryDevice(SimulatedDevice adapter) {
        return adapter.attachJtagChain(SimulatedJtagChain.demoChain()).device(2);
    }

    /** The good file with one piece of text replaced. */
    private Path variant(String text, String replacement) throws IOException {
        String good = Files.readString(GOOD_FILE);
        assertTrue(good.contains(text), text);
        Path file = folder.resolve("variant.svf");
        Files.writeString(file, good.replace(text, replacement));
        return file;
    }

    @Test
    void programsAndVerifiesTheMemory(@Device(serial = "JTAG", type = DeviceType.FT_DEVICE_232H) SimulatedDevice adapter)
            throws IOException {
        SimulatedJtagDevice part = memoryDevice(adapter);
        part.setMemoryWords(0, 0x0000, 0x0000, 0x0000, 0x5555);

        SvfSummary summary = SvfProgrammer.program("JTAG", GOOD_FILE, CLOCK_HZ);

        assertArrayEquals(new int[] {0x1234, 0xBEEF, 0xCAFE, 0xFFFF}, Arrays.copyOf(part.memoryWords(), 4),
                "erased, then programmed");
        assertEquals(16, summary.scans());
        assertEquals(5, summary.compares());
    }

    /** A wait too short makes the busy memory refuse the programs; a part with another IDCODE fails at once. */
    @ParameterizedTest(name = "{0} -> {1}")
    @CsvSource(delimiter = '|', value = {
            "RUNTEST 10000 TCK; | RUNTEST 9000 TCK; | 26 | expected (002), captured (007)",
            "TDO (2B5C7A2D)     | TDO (2B5C7A2F)    | 14 | 2B5C7A2F), captured (02B5C7A2D)"})
    void aFileThatDoesNotFitThePartFailsAtTheCompareThatShowsIt(String text, String replacement, int line,
            String bits, @Device(serial = "JTAG", type = DeviceType.FT_DEVICE_232H) SimulatedDevice adapter)
            throws IOException {
        memoryDevice(adapter);
        Path file = variant(text, replacement);

        SvfCompareException e = assertThrows(SvfCompareException.class,
                () -> SvfProgrammer.program("JTAG", file, CLOCK_HZ));
        assertEquals(line, e.line(), e.getMessage());
        assertTrue(e.getMessage().contains(bits), e.getMessage());
    }

    @Test
    void aMalformedFileIsRefusedBeforeAnythingIsClocked(
            @Device(serial = "JTAG", type = DeviceType.FT_DEVICE_232H) SimulatedDevice adapter) throws IOException {
        SimulatedJtagDevice part = memoryDevice(adapter);
        part.setMemoryWords(0, 0x5555);
        Path file = variant("SDR 24 TDI (000002) TDO (BEEF01);", "SDR 24 TDI (000002) TDO (BEEF01;");

        SvfSyntaxException e = assertThrows(SvfSyntaxException.class,
                () -> SvfProgrammer.program("JTAG", file, CLOCK_HZ));
        assertEquals(30, e.line());
        assertEquals(32, e.column());
        assertEquals(0x5555, part.memoryWords()[0], "nothing played");
        assertEquals("TEST_LOGIC_RESET", part.state(), "not even the first STATE");
    }

    @Test
    void anAdapterWithoutMpsseIsRefused(@Device(serial = "JTAG", type = DeviceType.FT_DEVICE_232R) SimulatedDevice adapter) {
        IOException e = assertThrows(IOException.class, () -> SvfProgrammer.program("JTAG", GOOD_FILE, CLOCK_HZ));
        assertTrue(e.getMessage().contains("MPSSE"), e.getMessage());
    }
}
