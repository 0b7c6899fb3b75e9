package nl.tamsel.ftdi.cli;

import java.io.IOException;
import java.io.InputStream;
import java.io.InterruptedIOException;
import java.io.OutputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.Duration;
import java.util.Set;
import nl.tamsel.ftdi.usb.FtdiDevice;

/** Sends a file's bytes out of a device. */
final class SendCommand implements Command {

    private static final int CHUNK = 4096;

    @Override
    public String name() {
        return "send";
    }

    @Override
    public String synopsis() {
        return "send <device> <file> [--timeout MS] [--baud N] [--flow F]";
    }

    @Override
    public String help() {
        return "Sends the bytes of a file out of the device.\n"
                + "  --timeout MS   give up when the device takes no byte for this long (default 5000)\n"
                + LineOptions.HELP;
    }

    @Override
    public Set<String> options() {
        return LineOptions.namesWith("timeout");
    }

    @Override
    public void run(Arguments args, Output output) throws CommandFailure, IOException {
        args.requirePositional("<device>", "<file>");
        LineOptions line = LineOptions.of(args.positional.get(0), args);
        Path file = Path.of(args.positional.get(1));
        Duration timeout = Duration.ofMillis(args.intOption("timeout", 5000, 1, Integer.MAX_VALUE));
        long size;
        InputStream in;
        try {
            size = Files.size(file);
            in = Files.newInputStream(file);
        } catch (IOException e) {
            throw new CommandFailure(ExitCode.FILE_ERROR, "Cannot read " + file + ": " + e);
        }
        ProgressBar progress = new ProgressBar(output.progress(), size);
        long sent = 0;
        long start = System.nanoTime();
        try (in; FtdiDevice device = line.open()) {
            device.setWriteTimeout(timeout);
            OutputStream out = device.getOutputStream();
            byte[] chunk = new byte[CHUNK];
            for (int n; (n = readFile(in, file, chunk)) > 0; sent += n) {
                out.write(chunk, 0, n);
                progress.update(sent + n);
            }
        } catch (InterruptedIOException e) {
            throw new CommandFailure(ExitCode.INCOMPLETE, "Sending stopped after " + (sent + e.bytesTransferred) + " of "
                    + size + " bytes: " + e.getMessage());
        } finally {
            progress.finish();
        }
        double seconds = (System.nanoTime() - start) / 1e9;
        output.out().printf("Sent %d bytes from %s in %.3f s (%s)%n", sent, file, seconds, Rates.format(sent, seconds));
    }

    private static int readFile(InputStream in, Path file, byte[] chunk) throws CommandFailure {
        try {
            return in.readNBytes(chunk, 0, chunk.length);
        } catch (IOException e) {
            throw new CommandFailure(ExitCode.FILE_ERROR, "Cannot read " + file + ": " + e);
        }
    }
}
