package nl.tamsel.ftdi.cli;

import java.io.ByteArrayOutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;

/** The tool's tests: run the tool in this JVM and keep what it printed. */
abstract class ToolTestBase {

    private final ByteArrayOutputStream out = new ByteArrayOutputStream();
    private final ByteArrayOutputStream err = new ByteArrayOutputStream();

    /** Runs the tool with these arguments, not on a terminal; returns its exit code. */
    final int run(String... args) {
        return Main.run(args, new PrintStream(out, true, StandardCharsets.UTF_8),
                new PrintStream(err, true, StandardCharsets.UTF_8), false);
    }

    /** The tool ends lines the platform's way (CRLF on Windows); the checks read them as \n. */
    final String out() {
        return out.toString(StandardCharsets.UTF_8).replace(System.lineSeparator(), "\n");
    }

    final String err() {
        return err.toString(StandardCharsets.UTF_8).replace(System.lineSeparator(), "\n");
    }

    /** Forgets what was printed so far. */
    final void resetOutput() {
        out.reset();
    }
}
