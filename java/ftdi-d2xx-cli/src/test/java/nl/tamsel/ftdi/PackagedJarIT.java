package nl.tamsel.ftdi;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

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
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

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
        return runOn(System.getProperty("java.home"), arguments);
    }

    private Run runOn(String javaHome, String... arguments) throws IOException, InterruptedException {
        List<String> command = new ArrayList<>(List.of(Path.of(javaHome, "bin", "java").toString(), "-Xcheck:jni"));
        command.addAll(List.of(arguments));
        Path out = directory.resolve("out.txt");
        Path err = directory.resolve("err.txt");
        ProcessBuilder builder = new ProcessBuilder(command).redirectOutput(out.toFile()).redirectError(err.toFile());
        // The user's cache of a run without -Dnl.tamsel.ftdi.extract.dir lands in this test's directory.
        builder.environment().put("XDG_CACHE_HOME", directory.resolve("xdg-cache").toString());
        Process process = builder.start();
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
    void loopbackRunsFromTheJarAloneExtractingIntoTheUsersCache() throws Exception {
        Run run = runJar("-jar", jar(), "--simulated", "loopback", "0");

        assertEquals(0, run.exitCode, run.toString());
        assertTrue(run.out.startsWith("Loopback OK: 65536 bytes sent and received unchanged"), run.out);
        assertEquals(List.of("libftd2xx.so", "libftdibridge.so"),
                filesUnder(directory.resolve("xdg-cache").resolve("tamsel-ftdi")));
    }

    /** Later runs reuse the cached copies; an older build's copy is removed. */
    @Test
    void twentyRunsLeaveOneExtractedFilePerLibrary() throws Exception {
        Path cache = directory.resolve("cache");
        Path older = cache.resolve("linux-x86_64").resolve("ftdibridge-0.0.1-0123456789abcdef");
        Files.createDirectories(older);
        Files.writeString(older.resolve("libftdibridge.so"), "an older build");

        for (int i = 0; i < 20; i++) {
            Run run = runJar("-Dnl.tamsel.ftdi.extract.dir=" + cache, "-jar", jar(), "--simulated", "list");
            assertEquals(0, run.exitCode, run.toString());
        }

        assertEquals(List.of("libftd2xx.so", "libftdibridge.so"), filesUnder(cache));
    }

    private static List<String> filesUnder(Path root) throws IOException {
        try (Stream<Path> files = Files.walk(root)) {
            return files.filter(Files::isRegularFile).map(file -> file.getFileName().toString()).sorted().toList();
        }
    }

    /** A JDK of 24 or later, where native access can be denied; given by the build when there is one. */
    private static String modernJdk() {
        String home = System.getProperty("native.access.jdk", "");
        assumeTrue(!home.isBlank(), "no JDK 24+ named by -Dnative.access.jdk");
        return home;
    }

    @Test
    void javaDashJarPrintsNoNativeAccessWarning() throws Exception {
        Run run = runOn(modernJdk(), "-jar", jar(), "--simulated", "list");

        assertEquals(0, run.exitCode, run.toString());
        assertEquals("", run.err, "java -jar must not warn");
    }

    /** On the class path the flag names ALL-UNNAMED; on the module path, the jar's module. */
    @ParameterizedTest
    @CsvSource({"-cp, nl.tamsel.ftdi.cli.Main, ALL-UNNAMED", "-p, nl.tamsel.ftdi.cli/nl.tamsel.ftdi.cli.Main, nl.tamsel.ftdi.cli"})
    void deniedNativeAccessNamesTheFlagToAdd(String pathOption, String main, String grantee) throws Exception {
        String cache = "-Dnl.tamsel.ftdi.extract.dir=" + directory.resolve("cache");
        List<String> launch = pathOption.equals("-p") ? List.of("-p", jar(), "-m", main) : List.of("-cp", jar(), main);
        List<String> arguments = new ArrayList<>(List.of("--illegal-native-access=deny", cache));
        arguments.addAll(launch);
        arguments.addAll(List.of("--simulated", "list"));

        Run run = runOn(modernJdk(), arguments.toArray(String[]::new));

        assertEquals(1, run.exitCode, run.toString());
        assertTrue(run.err.contains("Start java with --enable-native-access=" + grantee + " "), run.err);
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
