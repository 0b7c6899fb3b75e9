package nl.tamsel.ftdi.cli;

import java.io.ByteArrayOutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;

/** Runs the tool in this JVM and keeps what it printed, for the tool's tests. */
final class ToolRun {

    private final ByteArrayOutputStream out = new ByteArrayOutputStream();
    private final ByteArrayOutputStream err = new ByteArrayOutputStream();

    /** Runs the tool with these arguments, not on a terminal; returns its exit code. */
    int run(String... args) {
        return Main.run(args, new PrintStream(out, true, StandardCharsets.UTF_8),
                new PrintStream(err, true, StandardCharsets.UTF_8), false);
    }

    /** The tool ends lines the platform's way (CRLF on Windows); the checks read them as \n. */
    String out() {
        return out.toString(StandardCharsets.UTF_8).replace(System.lineSeparator(), "\n");
    }

    String err() {
        return err.toString(StandardCharsets.UTF_8).replace(System.lineSeparator(), "\n");
    }

    /** Forgets what was printed so far. */
    void resetOutput() {
        out.reset();
    }
}
