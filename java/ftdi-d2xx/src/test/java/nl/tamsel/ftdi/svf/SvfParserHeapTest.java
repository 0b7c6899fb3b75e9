package nl.tamsel.ftdi.svf;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Path;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.Test;

/** A 100 MB file is read in a JVM whose heap is 64 MB: the parser keeps no more than a statement. */
class SvfParserHeapTest {

    private static final long FILE_SIZE = 100_000_000;

    @Test
    void readsA100MegabyteFileIn64MegabytesOfHeap() throws IOException, InterruptedException {
        Path java = Path.of(System.getProperty("java.home"), "bin", "java");
        Process child = new ProcessBuilder(java.toString(), "-Xmx64m", "-cp", System.getProperty("java.class.path"),
                GeneratedSvf.class.getName(), Long.toString(FILE_SIZE)).redirectErrorStream(true).start();
        String output = new String(child.getInputStream().readAllBytes(), StandardCharsets.UTF_8).trim();
        assertTrue(child.waitFor(10, TimeUnit.MINUTES), "hang guard");
        assertEquals(0, child.exitValue(), output);
        // The last line is the child's report; a JVM may print notes of its own before it.
        String[] lines = output.split("\\R");
        String[] words = lines[lines.length - 1].split(" ");
        assertEquals(words[0], words[1], "statements read and produced: " + output);
        assertTrue(Long.parseLong(words[2]) >= FILE_SIZE, output);
    }
}
