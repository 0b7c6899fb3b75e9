package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedJtagChain;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/**
 * The JTAG controller's scans on the demo chain as sigrok's JTAG decoder reads them from the
 * recorded waveform: the TAP states it follows, and the bits shifted in on TDI and out on TDO in
 * each Shift state, which must be the bits the controller sent and returned.
 */
@NeedsSigrokCli
class JtagScanDecoderTest extends SimulatedDriverTestBase {

    @TempDir
    Path directory;

    @ParameterizedTest(name = "IR {0} bits ending in {2}, DR {3} bits ending in {4}")
    @CsvSource({"18, 3DFFF, RUN_TEST_IDLE, 34, PAUSE_DR", "18, 3FFFF, PAUSE_IR, 3, RUN_TEST_IDLE"})
    void theDecoderSeesTheScansAsSentAndCaptured(int irBits, String irHex, TapState irEnd, int drBits, TapState drEnd)
            throws IOException {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).loopback(false).attach();
        adapter.attachJtagChain(SimulatedJtagChain.demoChain());
        byte[] irTdi = bits(irHex, irBits);
        byte[] drTdi = new byte[(drBits + 7) / 8];
        for (int i = 0; i < drTdi.length; i++) {
            drTdi[i] = (byte) (0x5A + 0x33 * i);
        }
        drTdi[drTdi.length - 1] &= (byte) (drBits % 8 == 0 ? 0xFF : (1 << drBits % 8) - 1);
        List<String> tdi = new ArrayList<>();
        List<String> tdo = new ArrayList<>();
        try (FtdiDevice device = FtdiDevice.openByIndex(adapter.id());
                JtagController jtag = device.jtag(JtagConfig.builder().clockHz(1_000_000).build())) {
            jtag.goTo(TapState.RUN_TEST_IDLE);
            adapter.recordWaveform();
            // A first change at the recording's start is folded into its initial levels: this
            // clock in Run-Test/Idle takes it, so that the scans' edges all show.
            jtag.runTest(TapState.RUN_TEST_IDLE, 2, null, TapState.RUN_TEST_IDLE);
            try (JtagBatch batch = jtag.batch()) {
                batch.scanIr(irBits, irTdi, irEnd).scanDr(drBits, drTdi, drEnd);
                List<byte[]> captured = batch.execute();
                tdi.add(binary(irTdi, irBits));
                tdi.add(binary(drTdi, drBits));
                tdo.add(binary(captured.get(0), irBits));
                tdo.add(binary(captured.get(1), drBits));
            }
            jtag.goTo(TapState.TEST_LOGIC_RESET);
        }
        String options = "jtag:tdi=TDI:tdo=TDO:tck=TCK:tms=TMS";
        assertEquals(tdi, strings(SigrokCli.decode(adapter, directory, options, "jtag=bitstring-tdi")), "TDI");
        assertEquals(tdo, strings(SigrokCli.decode(adapter, directory, options, "jtag=bitstring-tdo")), "TDO");
        List<String> states = SigrokCli.decode(adapter, directory, options, "jtag=states");
        assertTrue(states.containsAll(List.of("SHIFT-IR", "EXIT1-IR", "UPDATE-IR", "SHIFT-DR", "EXIT1-DR")), states
                .toString());
        assertTrue(states.contains(irEnd.name().replace('_', '-').replace("RUN-TEST-IDLE", "RUN-TEST/IDLE")),
                states.toString());
    }

    /** The decoder's bit strings: the binary digits of each annotation, most significant (last shifted) first. */
    private static List<String> strings(List<String> annotations) {
        List<String> strings = new ArrayList<>();
        for (String annotation : annotations) {
            String digits = annotation.replaceAll(".*?([01]+).*", "$1");
            if (!digits.isEmpty()) {
                strings.add(digits);
            }
        }
        return strings;
    }

    private static String binary(byte[] bytes, int bits) {
        StringBuilder text = new StringBuilder();
        for (int i = bits - 1; i >= 0; i--) {
            text.append(bytes[i / 8] >> (i % 8) & 1);
        }
        return text.toString();
    }

    private static byte[] bits(String hex, int bits) {
        long value = Long.parseLong(hex, 16);
        byte[] bytes = new byte[(bits + 7) / 8];
        for (int i = 0; i < bytes.length; i++) {
            bytes[i] = (byte) (value >>> 8 * i);
        }
        return bytes;
    }
}
