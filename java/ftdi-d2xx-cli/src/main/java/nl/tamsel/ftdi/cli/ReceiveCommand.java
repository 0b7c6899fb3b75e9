package nl.tamsel.ftdi.cli;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.SocketTimeoutException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.Duration;
import java.util.Set;
import nl.tamsel.ftdi.usb.FtdiDevice;

/** Receives bytes from a device into a file. */
final class ReceiveCommand implements Command {

    private static final int CHUNK = 4096;

    @Override
    public String name() {
        return "receive";
    }

    @Override
    public String synopsis() {
        return "receive <device> <file> [--bytes N] [--idle MS] [--baud N] [--flow F]";
    }

    @Override
    public String help() {
        return "Writes the bytes the device receives into a file (replacing it), until the line has\n"
                + "been idle for a while or, with --bytes, that many bytes have arrived.\n"
                + "  --bytes N      stop after N bytes; fewer before the line goes idle is an error (exit 5)\n"
                + "  --idle MS      stop when no byte arrives for this long (default 2000)\n"
                + LineOptions.HELP;
    }

    @Override
    public Set<String> options() {
        return LineOptions.namesWith("bytes", "idle");
    }

    @Override
    public void run(Arguments args, Output output) throws CommandFailure, IOException {
        args.requirePositional("<device>", "<file>");
        LineOptions line = LineOptions.of(args.positional.get(0), args);
        Path file = Path.of(args.positional.get(1));
        long expected = args.has("bytes") ? args.intOption("bytes", 0, 1, Integer.MAX_VALUE) : -1;
        Duration idle = Duration.ofMillis(args.intOption("idle", 2000, 1, Integer.MAX_VALUE));
        OutputStream fileOut;
        try {
            fileOut = Files.newOutputStream(file);
        } catch (IOException e) {
            throw new CommandFailure(ExitCode.FILE_ERROR, "Cannot write " + file + ": " + e);
        }
        ProgressBar progress = new ProgressBar(output.progress(), expected);
        long received = 0;
        long start = System.nanoTime();
        try (fileOut; FtdiDevice device = line.open()) {
            device.setReadTimeout(idle);
            InputStream in = device.getInputStream();
            byte[] chunk = new byte[CHUNK];
            while (expected < 0 || received < expected) {
                int n;
                try {
                    n = in.read(chunk, 0, (int) Math.min(CHUNK, expected < 0 ? CHUNK : expected - received));
                } catch (SocketTimeoutException idleLine) {
                    break;
                }
                writeFile(fileOut, file, chunk, n);
                received += n;
                progress.update(received);
            }
        } finally {
            progress.finish();
        }
        if (expected >= 0 && received < expected) {
            throw new CommandFailure(ExitCode.INCOMPLETE, "Only " + received + " of " + expected + " bytes arrived before"
                    + " the line was idle for " + idle.toMillis() + " ms; they are in " + file);
        }
        double seconds = (System.nanoTime() - start) / 1e9;
        output.out().printf("Received %d bytes into %s in %.3f s%n", received, file, seconds);
    }

    private static void writeFile(OutputStream out, Path file, byte[] chunk, int n) throws CommandFailure {
        try {
            out.write(chunk, 0, n);
        } catch (IOException e) {
            throw new CommandFailure(ExitCode.FILE_ERROR, "Cannot write " + file + ": " + e);
        }
    }
}
