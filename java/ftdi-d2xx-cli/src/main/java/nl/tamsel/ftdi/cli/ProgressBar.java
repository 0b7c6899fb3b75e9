package nl.tamsel.ftdi.cli;

import java.io.PrintStream;

/** A one-line progress display on a terminal; does nothing when output is not a terminal. */
final class ProgressBar {

    private static final int WIDTH = 30;

    private final PrintStream terminal;
    private final long total;
    private String shown = "";

    /**
     * @param terminal where to draw, or null to draw nothing
     * @param total    the expected byte count, or -1 when it is not known
     */
    ProgressBar(PrintStream terminal, long total) {
        this.terminal = terminal;
        this.total = total;
    }

    void update(long done) {
        if (terminal == null) {
            return;
        }
        String line = render(done, total);
        if (!line.equals(shown)) {
            terminal.print("\r" + line);
            terminal.flush();
            shown = line;
        }
    }

    void finish() {
        if (terminal != null && !shown.isEmpty()) {
            terminal.println();
        }
    }

    static String render(long done, long total) {
        if (total < 0) {
            return done + " bytes";
        }
        long percent = total == 0 ? 100 : Math.min(100, done * 100 / total);
        int filled = (int) (percent * WIDTH / 100);
        return "[" + "#".repeat(filled) + " ".repeat(WIDTH - filled) + "] " + String.format("%3d%% ", percent)
                + done + "/" + total + " bytes";
    }
}
