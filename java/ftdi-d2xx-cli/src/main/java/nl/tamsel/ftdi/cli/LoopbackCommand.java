package nl.tamsel.ftdi.cli;

import java.io.IOException;
import java.time.Duration;
import java.util.Random;
import java.util.Set;
import nl.tamsel.ftdi.usb.FtdiDevice;

/** Sends a byte pattern through a device whose output is wired to its input and checks the echo. */
final class LoopbackCommand implements Command {

    private static final int CHUNK = 4096;
    private static final long PATTERN_SEED = 0x5EED;

    @Override
    public String name() {
        return "loopback";
    }

    @Override
    public String synopsis() {
        return "loopback <device> [--bytes N] [--timeout MS] [--baud N] [--flow F]";
    }

    @Override
    public String help() {
        return "Self-test for a device whose TX is wired to its RX: sends a byte pattern in chunks of\n"
                + CHUNK + ", checks that every byte comes back unchanged, and reports the throughput.\n"
                + "  --bytes N      how many bytes to send (default 65536)\n"
                + "  --timeout MS   how long to wait for each chunk to come back (default 2000)\n"
                + LineOptions.HELP;
    }

    @Override
    public Set<String> options() {
        return LineOptions.namesWith("bytes", "timeout");
    }

    @Override
    public void run(Arguments args, Output output) throws CommandFailure, IOException {
        args.requirePositional("<device>");
        LineOptions line = LineOptions.of(args.positional.get(0), args);
        int total = args.intOption("bytes", 65_536, 1, Integer.MAX_VALUE);
        Duration timeout = Duration.ofMillis(args.intOption("timeout", 2000, 1, Integer.MAX_VALUE));
        byte[] sent = new byte[total];
        new Random(PATTERN_SEED).nextBytes(sent);
        byte[] received = new byte[total];
        ProgressBar progress = new ProgressBar(output.progress(), total);
        long start;
        try (FtdiDevice device = line.open()) {
            device.setReadTimeout(timeout);
            device.setWriteTimeout(timeout);
            device.purgeReceiveQueue();
            device.purgeTransmitQueue();
            start = System.nanoTime();
            for (int done = 0; done < total; done += CHUNK) {
                int length = Math.min(CHUNK, total - done);
                if (device.write(sent, done, length) < length) {
                    throw new CommandFailure(ExitCode.INCOMPLETE, "The device took no byte for " + timeout.toMillis()
                            + " ms while sending byte " + done + " on");
                }
                int back = device.read(received, done, length);
                if (back < length) {
                    throw new CommandFailure(ExitCode.MISMATCH, "Loopback FAILED: only " + (done + back) + " of the "
                            + (done + length) + " bytes sent came back within " + timeout.toMillis()
                            + " ms. Is the device's TX wired to its RX?");
                }
                progress.update(done + length);
            }
        } finally {
            progress.finish();
        }
        double seconds = (System.nanoTime() - start) / 1e9;
        for (int i = 0; i < total; i++) {
            if (sent[i] != received[i]) {
                throw new CommandFailure(ExitCode.MISMATCH, String.format("Loopback FAILED: byte %d came back as 0x%02x,"
                        + " sent as 0x%02x", i, received[i] & 0xFF, sent[i] & 0xFF));
            }
        }
        output.out().printf("Loopback OK: %d bytes sent and received unchanged in %.3f s (%s)%n", total, seconds,
                Rates.format(total, seconds));
    }
}
