package nl.tamsel.ftdi.internal;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStreamReader;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.TimeUnit;
import java.util.stream.Collectors;
import java.util.stream.Stream;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/** Two JVMs that start at the same moment extract the same library into one cached copy. */
class ConcurrentExtractionTest {

    private static final String JNI_TROUBLE = "(?s).*(WARNING in native method|WARNING: JNI|FATAL ERROR in native method).*";

    @TempDir
    Path directory;

    private Path root() {
        return directory.resolve("cache");
    }

    private record Child(Process process, BufferedReader out, Path err) {
    }

    private Child start(Path library, String platform, int number) throws IOException {
        List<String> command = List.of(Path.of(System.getProperty("java.home"), "bin", "java").toString(),
                "-Xcheck:jni", "--enable-native-access=ALL-UNNAMED", "-cp", System.getProperty("java.class.path"), ExtractingProcess.class.getName(),
                root().toString(), library.toString(), platform, "ftd2xx", Platform.driverFile(platform));
        // Standard error apart: a JVM may print its own notes there before "ready" (under Wine it does).
        Path err = directory.resolve("err-" + number + ".txt");
        Process process = new ProcessBuilder(command).redirectError(err.toFile()).start();
        Child child = new Child(process, new BufferedReader(new InputStreamReader(process.getInputStream(),
                StandardCharsets.UTF_8)), err);
        assertEquals("ready", child.out.readLine(), "the child JVM did not start");
        return child;
    }

    /** Both load the same verified file, and nothing else is left in the cache. */
    @ParameterizedTest(name = "round {0}")
    @ValueSource(ints = {1, 2, 3})
    void twoJvmsExtractingAtOnceShareOneCopy(int round) throws Exception {
        Path library = Path.of(System.getProperty("nl.tamsel.ftdi.driver"));
        String platform = Platform.current();
        List<Child> children = List.of(start(library, platform, 1), start(library, platform, 2));

        for (Child child : children) {
            OutputStream in = child.process.getOutputStream();
            in.write('\n');
            in.flush();
        }
        List<String> outputs = new ArrayList<>();
        for (Child child : children) {
            outputs.add(child.out.lines().collect(Collectors.joining("\n")));
            // A hang guard: child JVMs start slowly on a loaded machine, slower still under emulation.
            assertTrue(child.process.waitFor(300, TimeUnit.SECONDS), "a child JVM did not finish");
            String err = Files.readString(child.err);
            assertEquals(0, child.process.exitValue(), outputs + err);
            assertFalse(err.matches(JNI_TROUBLE), err);
        }

        try (Stream<Path> files = Files.walk(root())) {
            List<Path> left = files.filter(Files::isRegularFile).toList();
            assertAll(
                    () -> assertEquals(1, left.size(), left.toString()),
                    () -> assertEquals(List.of("loaded " + left.get(0), "loaded " + left.get(0)),
                            outputs.stream().map(String::strip).toList()),
                    () -> assertArrayEquals(Files.readAllBytes(library), Files.readAllBytes(left.get(0))),
                    () -> assertFalse(String.join("\n", outputs).matches(JNI_TROUBLE), outputs.toString()));
        }
    }
}
