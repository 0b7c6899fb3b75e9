package nl.tamsel.ftdi.cli;

/** Transfer rates for people. */
final class Rates {

    private Rates() {
    }

    static String format(long bytes, double seconds) {
        if (seconds <= 0) {
            return "too fast to measure";
        }
        double perSecond = bytes / seconds;
        if (perSecond >= 1e6) {
            return String.format("%.1f MB/s", perSecond / 1e6);
        }
        return perSecond >= 1e3 ? String.format("%.1f kB/s", perSecond / 1e3) : String.format("%.0f B/s", perSecond);
    }
}
