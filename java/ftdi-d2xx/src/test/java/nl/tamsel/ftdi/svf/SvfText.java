package nl.tamsel.ftdi.svf;

import java.io.IOException;
import java.io.StringReader;
import java.util.ArrayList;
import java.util.List;

/** Parses SVF text in tests and writes statements back in one canonical line each. */
final class SvfText {

    private SvfText() {
    }

    static List<SvfStatement> parse(String text) throws IOException {
        List<SvfStatement> statements = new ArrayList<>();
        try (SvfParser parser = new SvfParser(new StringReader(text))) {
            for (SvfStatement statement; (statement = parser.next()) != null; ) {
                statements.add(statement);
            }
        }
        return statements;
    }

    static String render(SvfStatement statement) {
        if (statement instanceof SvfScan) {
            SvfScan scan = (SvfScan) statement;
            return scan.kind() + " " + scan.length() + " TDI(" + scan.tdi().toHex() + ")"
                    + (scan.compares() ? " TDO(" + scan.tdo().toHex() + ")" : "")
                    + " MASK(" + scan.mask().toHex() + ") SMASK(" + scan.smask().toHex() + ")";
        }
        if (statement instanceof SvfEndState) {
            SvfEndState end = (SvfEndState) statement;
            return (end.instruction() ? "ENDIR " : "ENDDR ") + end.state();
        }
        if (statement instanceof SvfStatePath) {
            return "STATE " + String.join(" ", ((SvfStatePath) statement).path().stream().map(Enum::name).toList());
        }
        if (statement instanceof SvfRunTest) {
            SvfRunTest run = (SvfRunTest) statement;
            return "RUNTEST " + run.runState() + " " + run.clocks() + (run.systemClock() ? " SCK " : " TCK ")
                    + run.minSeconds() + " SEC MAXIMUM " + run.maxSeconds() + " ENDSTATE " + run.endState();
        }
        if (statement instanceof SvfFrequency) {
            return "FREQUENCY " + ((SvfFrequency) statement).hertz();
        }
        return "TRST " + ((SvfTrst) statement).mode();
    }

    static String renderAll(String text) throws IOException {
        List<String> lines = new ArrayList<>();
        for (SvfStatement statement : parse(text)) {
            lines.add(render(statement));
        }
        return String.join("\n", lines);
    }
}
