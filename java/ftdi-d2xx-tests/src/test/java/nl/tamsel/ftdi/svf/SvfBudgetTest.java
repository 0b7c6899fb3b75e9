package nl.tamsel.ftdi.svf;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.io.StringReader;
import java.math.BigInteger;
import java.time.Duration;
import java.util.List;
import nl.tamsel.ftdi.sim.DriverFunction;
import nl.tamsel.ftdi.sim.JtagDeviceModel;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.usb.DeviceType;
import nl.tamsel.ftdi.usb.FtdiDevice;
import nl.tamsel.ftdi.usb.JtagConfig;
import nl.tamsel.ftdi.usb.JtagController;
import org.junit.jupiter.api.Test;

/**
 * A programming file's pattern, 20,000 {@code SDR 256} scans each followed by
 * {@code RUNTEST 100 TCK} with TDO compared on every tenth, on a one-device chain in BYPASS (so
 * each scan captures a 0 and then its own TDI). Counted by the simulated driver: the writes and
 * reads are those of a stream, not one per compare, and the bus is clocked within 10% of the
 * wire's minimum. On ARM, where the suite runs under an emulator, the file is a tenth as long:
 * the bounds are the same formulas, and the simulated chain's millions of clock edges would
 * take minutes there.
 */
class SvfBudgetTest {

    private static final int SCANS = System.getProperty("os.arch").contains("86")
            || System.getProperty("os.arch").equals("amd64") ? 20_000 : 2_000;
    private static final long CLOCK_HZ = 30_000_000;
    /** Per scan: IDLE to Shift-DR 3 clocks, 256 bits, Exit1-DR to IDLE 2, the wait 100. */
    private static final long WIRE_CLOCKS = SCANS * (3L + 256 + 2 + 100);

    static String file(int scans) {
        BigInteger tdi = new BigInteger("0123456789ABCDEF".repeat(4), 16);
        String tdiHex = String.format("%064X", tdi);
        String tdoHex = String.format("%064X", tdi.shiftLeft(1).mod(BigInteger.ONE.shiftLeft(256)));
        StringBuilder text = new StringBuilder("STATE RESET;\nSTATE IDLE;\n");
        for (int i = 0; i < scans; i++) {
            text.append("SDR 256 TDI (").append(tdiHex).append(')');
            if (i % 10 == 0) {
                text.append(" TDO (").append(tdoHex).append(')');
            }
            text.append(";\nRUNTEST 100 TCK;\n");
        }
        return text.toString();
    }

    @Test
    void streamsAProgrammingFileInAFewLargeTransfersAtTheWiresSpeed() throws IOException {
        SimulatedDriver.reset();
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).serialNumber("BUDGET")
                .loopback(false).attach();
        adapter.attachJtagChain(List.of(JtagDeviceModel.builder(4).build()));
        String text = file(SCANS);
        try (FtdiDevice device = FtdiDevice.openBySerialNumber("BUDGET");
             JtagController jtag = device.jtag(JtagConfig.builder().clockHz(CLOCK_HZ).build())) {
            int writes = SimulatedDriver.callCount(DriverFunction.FT_WRITE);
            int reads = SimulatedDriver.callCount(DriverFunction.FT_READ);
            Duration busBefore = adapter.busTime();

            SvfSummary summary = new SvfPlayer(jtag).play(new StringReader(text));

            writes = SimulatedDriver.callCount(DriverFunction.FT_WRITE) - writes;
            reads = SimulatedDriver.callCount(DriverFunction.FT_READ) - reads;
            long busNanos = adapter.busTime().minus(busBefore).toNanos();
            // 31 whole bytes, then the seven bits before the last in a byte, and the last bit
            // (clocked with TMS 1) in a byte of its own.
            long replyBytes = SCANS / 10 * 33L;
            long wireNanos = WIRE_CLOCKS * 1_000_000_000L / CLOCK_HZ;
            String figures = writes + " writes of " + summary.commandBytes() + " command bytes, " + reads
                    + " reads of " + replyBytes + " reply bytes, bus " + busNanos / 1000 + " µs for a wire minimum of "
                    + wireNanos / 1000 + " µs";
            System.out.println("SVF budget: " + figures);

            assertEquals(SCANS, summary.scans());
            assertEquals(SCANS / 10, summary.compares());
            assertTrue(writes <= 1 + summary.commandBytes() / 65_536, figures);
            assertTrue(reads <= 1 + replyBytes / 65_536, figures);
            assertTrue(busNanos >= wireNanos && busNanos <= wireNanos * 11 / 10, figures);
        }
    }
}
