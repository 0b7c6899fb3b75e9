package nl.tamsel.ftdi;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.TimeUnit;
import java.util.stream.Stream;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * The packaged jar run as users run it: {@code java -jar} with nothing else, so the bridge and
 * the simulated driver come out of the jar.
 */
class PackagedJarIT {

    private static final String JNI_TROUBLE = "WARNING in native method|WARNING: JNI|FATAL ERROR in native method";

    @TempDir
    Path directory;

    private record Run(int exitCode, String out, String err) {
    }

    private Run runJar(String... arguments) throws IOException, InterruptedException {
        List<String> command = new ArrayList<>(List.of(Path.of(System.getProperty("java.home"), "bin", "java").toString(),
                "-Xcheck:jni"));
        command.addAll(List.of(arguments));
        Path out = directory.resolve("out.txt");
        Path err = directory.resolve("err.txt");
        Process process = new ProcessBuilder(command).redirectOutput(out.toFile()).redirectError(err.toFile()).start();
        if (!process.waitFor(120, TimeUnit.SECONDS)) {
            process.destroyForcibly();
            throw new AssertionError("the jar did not finish: " + command);
        }
        Run run = new Run(process.exitValue(), Files.readString(out), Files.readString(err));
        assertFalse((run.out + run.err).matches("(?s).*(" + JNI_TROUBLE + ").*"), "JNI misuse reported: " + run);
        return run;
    }

    private static String jar() {
        return System.getProperty("packaged.jar");
    }

    @Test
    void loopbackRunsFromTheJarAloneAndLeavesNoExtractedFileBehind() throws Exception {
        Path tmp = Files.createDirectory(directory.resolve("tmp"));

        Run run = runJar("-Djava.io.tmpdir=" + tmp, "-jar", jar(), "--simulated", "loopback", "0");

        assertEquals(0, run.exitCode, run.toString());
        assertTrue(run.out.startsWith("Loopback OK: 65536 bytes sent and received unchanged"), run.out);
        try (Stream<Path> left = Files.list(tmp)) {
            assertEquals(List.of(), left.toList());
        }
    }

    @Test
    void unwritableExtractionDirectoryIsExplained() throws Exception {
        Path file = Files.writeString(directory.resolve("not-a-directory"), "");

        Run run = runJar("-Dnl.tamsel.ftdi.extract.dir=" + file + "/sub", "-jar", jar(), "--simulated", "list");

        assertAll(
                () -> assertEquals(1, run.exitCode, run.toString()),
                () -> assertTrue(run.err.contains("Could not extract libftd2xx.so into " + file + "/sub"), run.err),
                () -> assertTrue(run.err.contains("-Dnl.tamsel.ftdi.extract.dir=<a writable directory>"), run.err));
    }

    @Test
    void bridgeOfAnotherVersionIsRefused() throws Exception {
        Path bridge = directory.resolve("libftdibridge.so");
        Files.write(bridge, "\u007fELF nl.tamsel.ftdi.bridge.version=0.0.1\0".getBytes(StandardCharsets.ISO_8859_1));

        Run run = runJar("-Dnl.tamsel.ftdi.bridge=" + bridge, "-jar", jar(), "--simulated", "list");

        assertEquals(1, run.exitCode, run.toString());
        assertTrue(run.err.contains("is version 0.0.1, but these Java classes are version "
                + System.getProperty("project.version")), run.err);
    }

    @Test
    void missingDriverIsExplainedWithTheSimulatedOne() throws Exception {
        Run run = runJar("-jar", jar(), "list");

        assertEquals(1, run.exitCode, run.toString());
        assertTrue(run.err.contains("-Dnl.tamsel.ftdi.driver=simulated"), run.err);
    }
}
