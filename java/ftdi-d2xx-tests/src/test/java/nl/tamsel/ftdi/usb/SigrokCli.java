package nl.tamsel.ftdi.usb;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.TimeUnit;
import nl.tamsel.ftdi.sim.SimulatedDevice;

/** Runs sigrok's protocol decoders on a simulated device's recorded waveform. */
final class SigrokCli {

    private SigrokCli() {
    }

    private static volatile Boolean available;

    /** Whether sigrok-cli can be run here; asked once per run. */
    static boolean available() {
        Boolean known = available;
        if (known == null) {
            known = run(List.of("sigrok-cli", "--version")) != null;
            available = known;
        }
        return known;
    }

    /**
     * Writes the device's waveform as VCD into the directory and decodes it.
     *
     * @param decoder     the -P argument, e.g. {@code i2c:scl=SCL:sda=SDA}
     * @param annotations the -A argument
     * @return the annotations' texts, one per line, in order
     */
    static List<String> decode(SimulatedDevice adapter, Path directory, String decoder, String annotations)
            throws IOException {
        Path file = directory.resolve("bus.vcd");
        adapter.waveform().writeVcd(file);
        String output = run(List.of("sigrok-cli", "-I", "vcd", "-i", file.toString(), "-P", decoder,
                "-A", annotations));
        if (output == null) {
            throw new IOException("sigrok-cli did not finish");
        }
        List<String> lines = new ArrayList<>();
        for (String line : output.split("\n")) {
            int colon = line.indexOf(": ");
            if (colon > 0) {
                lines.add(line.substring(colon + 2).trim());
            }
        }
        return lines;
    }

    static List<String> hex(byte[] bytes) {
        List<String> list = new ArrayList<>();
        for (byte b : bytes) {
            list.add(String.format("%02X", b & 0xFF));
        }
        return list;
    }

    /** Runs a command and returns its standard output, or null when it cannot be started. */
    private static String run(List<String> command) {
        try {
            Process process = new ProcessBuilder(command).redirectErrorStream(true).start();
            String output = new String(process.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
            if (!process.waitFor(120, TimeUnit.SECONDS)) {
                process.destroyForcibly();
                return null;
            }
            return output;
        } catch (IOException e) {
            return null;
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            return null;
        }
    }
}
