package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertEquals;

import java.math.BigInteger;
import java.util.Arrays;
import java.util.List;
import nl.tamsel.ftdi.sim.SimulatedDevice;

/** Opens a simulated FT232H in MPSSE mode for JTAG and runs command lists on it. */
final class JtagMpsse {

    private JtagMpsse() {
    }

    /** MPSSE with the 60 MHz base, no adaptive clocking, 1 MHz TCK, loopback off. */
    static long open(SimulatedDevice adapter) {
        adapter.setLoopback(false);
        long handle = D2XX.openByIndex(adapter.id());
        assertEquals(0, D2XX.setTimeouts(handle, 5000, 5000));
        assertEquals(0, D2XXModes.setBitMode(handle, 0, 0));
        assertEquals(0, D2XXModes.setBitMode(handle, 0, 2));
        byte[] setup = {(byte) 0x8A, (byte) 0x97, (byte) 0x8D, (byte) 0x86, 29, 0, (byte) 0x85};
        assertEquals(setup.length, D2XX.write(handle, setup, 0, setup.length));
        return handle;
    }

    /** Writes the commands with a flush and returns every capturing scan's bits. */
    static List<BigInteger> run(long handle, JtagCommands commands) {
        byte[] bytes = commands.bytes.toByteArray();
        byte[] all = Arrays.copyOf(bytes, bytes.length + 1);
        all[bytes.length] = (byte) 0x87;
        assertEquals(all.length, D2XX.write(handle, all, 0, all.length));
        byte[] replies = new byte[commands.replyCount()];
        assertEquals(replies.length, D2XX.read(handle, replies, 0, replies.length));
        return commands.captured(replies);
    }
}
