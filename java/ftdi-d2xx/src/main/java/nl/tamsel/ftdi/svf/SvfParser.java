package nl.tamsel.ftdi.svf;

import java.io.Closeable;
import java.io.IOException;
import java.io.Reader;
import java.util.ArrayList;
import java.util.EnumMap;
import java.util.List;
import java.util.Map;

/**
 * Reads an SVF file (revision E) one statement at a time, in memory bounded by the longest scan
 * and never by the file's size.
 *
 * <p>Keywords are case-insensitive; {@code !} and {@code //} start comments; statements and hex
 * strings may span lines. The statements come out complete: TDI, MASK and SMASK omitted by a
 * scan are those of the last scan of the same kind and length (a scan whose length changed must
 * give TDI; MASK and SMASK then default to ones), and RUNTEST's defaults are filled in.
 * {@code PIO} and {@code PIOMAP} are refused. Any fault is an {@link SvfSyntaxException} with
 * the line and column, raised before the statement it is in is returned.
 *
 * <pre>{@code
 * try (SvfParser parser = new SvfParser(Files.newBufferedReader(path, StandardCharsets.ISO_8859_1))) {
 *     for (SvfStatement statement; (statement = parser.next()) != null; ) {
 *         System.out.println(statement);
 *     }
 * }
 * }</pre>
 * Read files as ISO-8859-1, which takes any byte: a character outside SVF's ASCII is then a
 * clear syntax error rather than a decoding failure.
 */
public final class SvfParser implements Closeable {

    /**
     * The longest scan, header or trailer accepted, in bits (16 Mibit, 2 MiB per field). Longer
     * ones are refused, so that one statement cannot take an unbounded amount of memory.
     */
    public static final int MAX_SCAN_BITS = 1 << 24;

    /** The longest RUNTEST minimum time accepted, in seconds (about 11.6 days). */
    public static final double MAX_RUNTEST_SECONDS = 1e6;

    private final Reader reader;
    private final SvfLexer lexer;
    private final Map<SvfScan.Kind, SvfScan> lastScans = new EnumMap<>(SvfScan.Kind.class);
    private SvfState runState = SvfState.IDLE;
    private int token;
    private boolean done;

    /**
     * A parser over SVF text.
     *
     * @param reader the text; read with a buffer of its own, so it needs none
     */
    public SvfParser(Reader reader) {
        this.reader = reader;
        this.lexer = new SvfLexer(reader);
    }

    /**
     * Reads the next statement.
     *
     * @return the statement, or null at the end of the file
     * @throws SvfSyntaxException when the statement is malformed or cannot be played
     * @throws IOException        when the reader fails
     */
    public SvfStatement next() throws IOException {
        if (done) {
            return null;
        }
        token = lexer.next();
        if (token == SvfLexer.EOF) {
            done = true;
            return null;
        }
        if (token != SvfLexer.WORD) {
            throw unexpected("a statement keyword");
        }
        int line = lexer.tokenLine();
        String keyword = lexer.word();
        switch (keyword) {
            case "SIR": return scan(SvfScan.Kind.SIR, line);
            case "SDR": return scan(SvfScan.Kind.SDR, line);
            case "HIR": return scan(SvfScan.Kind.HIR, line);
            case "HDR": return scan(SvfScan.Kind.HDR, line);
            case "TIR": return scan(SvfScan.Kind.TIR, line);
            case "TDR": return scan(SvfScan.Kind.TDR, line);
            case "ENDIR": return endState(true, line);
            case "ENDDR": return endState(false, line);
            case "STATE": return statePath(line);
            case "RUNTEST": return runTest(line);
            case "FREQUENCY": return frequency(line);
            case "TRST": return trst(line);
            case "PIO":
            case "PIOMAP":
                throw new SvfSyntaxException(line, lexer.tokenColumn(),
                        "a statement a JTAG adapter can play (" + keyword + " drives parallel pins: not supported)",
                        keyword);
            default:
                throw unexpected("a statement keyword (SIR, SDR, HIR, HDR, TIR, TDR, ENDIR, ENDDR, STATE, RUNTEST,"
                        + " FREQUENCY, TRST)");
        }
    }

    private SvfScan scan(SvfScan.Kind kind, int line) throws IOException {
        token = lexer.next();
        long length = integer(kind + "'s bit length");
        if (length > MAX_SCAN_BITS) {
            throw new SvfSyntaxException(lexer.tokenLine(), lexer.tokenColumn(),
                    "a length of at most " + MAX_SCAN_BITS + " bits", length + " bits");
        }
        int bits = (int) length;
        SvfBits tdi = null;
        SvfBits tdo = null;
        SvfBits mask = null;
        SvfBits smask = null;
        while ((token = lexer.next()) != SvfLexer.SEMICOLON) {
            if (token != SvfLexer.WORD) {
                throw unexpected("TDI, TDO, MASK, SMASK or ';'");
            }
            String field = lexer.word();
            int fieldLine = lexer.tokenLine();
            int fieldColumn = lexer.tokenColumn();
            if (!field.equals("TDI") && !field.equals("TDO") && !field.equals("MASK") && !field.equals("SMASK")) {
                throw unexpected("TDI, TDO, MASK, SMASK or ';'");
            }
            token = lexer.next();
            if (token != SvfLexer.OPEN) {
                throw unexpected("'(' and the hex value of " + field);
            }
            SvfBits value = lexer.hex(bits, field);
            boolean repeated;
            switch (field) {
                case "TDI": repeated = tdi != null; tdi = value; break;
                case "TDO": repeated = tdo != null; tdo = value; break;
                case "MASK": repeated = mask != null; mask = value; break;
                default: repeated = smask != null; smask = value; break;
            }
            if (repeated) {
                throw new SvfSyntaxException(fieldLine, fieldColumn, "each field once", field + " again");
            }
        }
        SvfScan last = lastScans.get(kind);
        boolean sameLength = last != null && last.length() == bits;
        if (tdi == null) {
            if (sameLength) {
                tdi = last.tdi();
            } else if (bits == 0) {
                tdi = SvfBits.ones(0);
            } else {
                throw new SvfSyntaxException(lexer.tokenLine(), lexer.tokenColumn(),
                        "TDI: the first " + kind + " of " + bits + " bits must give it"
                                + (last == null ? "" : " (the last had " + last.length() + ")"),
                        "';'");
            }
        }
        if (mask == null) {
            mask = sameLength ? last.mask() : SvfBits.ones(bits);
        }
        if (smask == null) {
            smask = sameLength ? last.smask() : SvfBits.ones(bits);
        }
        SvfScan scan = new SvfScan(kind, bits, tdi, tdo, mask, smask, line);
        lastScans.put(kind, scan);
        return scan;
    }

    private SvfEndState endState(boolean instruction, int line) throws IOException {
        token = lexer.next();
        SvfState state = stableState("a stable state (RESET, IDLE, DRPAUSE, IRPAUSE)");
        expectSemicolon();
        return new SvfEndState(instruction, state, line);
    }

    private SvfStatePath statePath(int line) throws IOException {
        List<SvfState> path = new ArrayList<>();
        while ((token = lexer.next()) != SvfLexer.SEMICOLON) {
            SvfState state = state("a state name or ';'");
            if (!path.isEmpty() && !path.get(path.size() - 1).leadsTo(state)) {
                throw new SvfSyntaxException(lexer.tokenLine(), lexer.tokenColumn(),
                        "a state one clock from " + path.get(path.size() - 1), state.toString());
            }
            if (path.size() == 64) {
                throw new SvfSyntaxException(lexer.tokenLine(), lexer.tokenColumn(), "a path of at most 64 states",
                        "a longer one");
            }
            path.add(state);
        }
        if (path.isEmpty() || !path.get(path.size() - 1).isStable()) {
            throw new SvfSyntaxException(lexer.tokenLine(), lexer.tokenColumn(),
                    "a path ending in a stable state (RESET, IDLE, DRPAUSE, IRPAUSE)", "';'");
        }
        return new SvfStatePath(path, line);
    }

    private SvfRunTest runTest(int line) throws IOException {
        token = lexer.next();
        SvfState run = runState;
        if (token == SvfLexer.WORD && isStateName(lexer.word())) {
            run = stableState("a stable run state (RESET, IDLE, DRPAUSE, IRPAUSE)");
            token = lexer.next();
        }
        long clocks = 0;
        boolean systemClock = false;
        double minimum = 0;
        double maximum = Double.POSITIVE_INFINITY;
        double first = real("a clock count or a time");
        int firstLine = lexer.tokenLine();
        int firstColumn = lexer.tokenColumn();
        int minimumLine = firstLine;
        int minimumColumn = firstColumn;
        token = lexer.next();
        String unit = token == SvfLexer.WORD ? lexer.word() : "";
        if (unit.equals("TCK") || unit.equals("SCK")) {
            if (first != Math.rint(first) || first > Long.MAX_VALUE / 2) {
                throw new SvfSyntaxException(firstLine, firstColumn, "a whole number of clocks", String.valueOf(first));
            }
            clocks = (long) first;
            systemClock = unit.equals("SCK");
            token = lexer.next();
            if (token == SvfLexer.WORD && isNumber(lexer.word())) {
                minimum = real("a minimum time");
                minimumLine = lexer.tokenLine();
                minimumColumn = lexer.tokenColumn();
                token = lexer.next();
                unit = token == SvfLexer.WORD ? lexer.word() : "";
                if (!unit.equals("SEC")) {
                    throw unexpected("SEC");
                }
                token = lexer.next();
            }
        } else if (unit.equals("SEC")) {
            minimum = first;
            token = lexer.next();
        } else {
            throw unexpected("TCK, SCK or SEC");
        }
        if (token == SvfLexer.WORD && lexer.word().equals("MAXIMUM")) {
            token = lexer.next();
            maximum = real("a maximum time");
            if (maximum < minimum) {
                throw new SvfSyntaxException(lexer.tokenLine(), lexer.tokenColumn(),
                        "a maximum time of at least the minimum " + minimum + " s", String.valueOf(maximum));
            }
            token = lexer.next();
            if (token != SvfLexer.WORD || !lexer.word().equals("SEC")) {
                throw unexpected("SEC");
            }
            token = lexer.next();
        }
        SvfState end = run;
        if (token == SvfLexer.WORD && lexer.word().equals("ENDSTATE")) {
            token = lexer.next();
            end = stableState("a stable end state (RESET, IDLE, DRPAUSE, IRPAUSE)");
            token = lexer.next();
        }
        if (minimum > MAX_RUNTEST_SECONDS) {
            throw new SvfSyntaxException(minimumLine, minimumColumn, "a minimum time of at most " + MAX_RUNTEST_SECONDS + " s",
                    minimum + " s");
        }
        if (token != SvfLexer.SEMICOLON) {
            throw unexpected(minimum == 0 && maximum == Double.POSITIVE_INFINITY
                    ? "a minimum time, MAXIMUM, ENDSTATE or ';'" : "MAXIMUM, ENDSTATE or ';'");
        }
        runState = run;
        return new SvfRunTest(run, clocks, systemClock, minimum, maximum, end, line);
    }

    private SvfFrequency frequency(int line) throws IOException {
        token = lexer.next();
        if (token == SvfLexer.SEMICOLON) {
            return new SvfFrequency(Double.POSITIVE_INFINITY, line);
        }
        double hertz = real("a frequency or ';'");
        if (hertz <= 0) {
            throw new SvfSyntaxException(lexer.tokenLine(), lexer.tokenColumn(), "a frequency above 0 Hz",
                    String.valueOf(hertz));
        }
        token = lexer.next();
        if (token != SvfLexer.WORD || !lexer.word().equals("HZ")) {
            throw unexpected("HZ");
        }
        expectSemicolon();
        return new SvfFrequency(hertz, line);
    }

    private SvfTrst trst(int line) throws IOException {
        token = lexer.next();
        SvfTrst.Mode mode = null;
        if (token == SvfLexer.WORD) {
            for (SvfTrst.Mode candidate : SvfTrst.Mode.values()) {
                if (candidate.name().equals(lexer.word())) {
                    mode = candidate;
                }
            }
        }
        if (mode == null) {
            throw unexpected("ON, OFF, Z or ABSENT");
        }
        expectSemicolon();
        return new SvfTrst(mode, line);
    }

    private void expectSemicolon() throws IOException {
        token = lexer.next();
        if (token != SvfLexer.SEMICOLON) {
            throw unexpected("';'");
        }
    }

    private static final Map<String, SvfState> STATES = new java.util.HashMap<>();

    static {
        for (SvfState state : SvfState.values()) {
            STATES.put(state.name(), state);
        }
    }

    private static boolean isStateName(String word) {
        return STATES.containsKey(word);
    }

    private SvfState state(String expected) throws SvfSyntaxException {
        if (token == SvfLexer.WORD && isStateName(lexer.word())) {
            return STATES.get(lexer.word());
        }
        throw unexpected(expected);
    }

    private SvfState stableState(String expected) throws SvfSyntaxException {
        SvfState state = state(expected);
        if (!state.isStable()) {
            throw unexpected(expected);
        }
        return state;
    }

    private long integer(String expected) throws SvfSyntaxException {
        if (token != SvfLexer.WORD) {
            throw unexpected(expected);
        }
        String word = lexer.word();
        long value = 0;
        for (int i = 0; i < word.length(); i++) {
            char c = word.charAt(i);
            if (c < '0' || c > '9') {
                throw unexpected(expected);
            }
            value = Math.min(value * 10 + (c - '0'), Long.MAX_VALUE / 20);
        }
        return value;
    }

    /** Whether a word is an unsigned decimal number with an optional fraction and exponent. */
    private static boolean isNumber(String word) {
        int i = 0;
        int n = word.length();
        int digits = 0;
        while (i < n && Character.isDigit(word.charAt(i))) {
            i++;
            digits++;
        }
        if (i < n && word.charAt(i) == '.') {
            i++;
            while (i < n && Character.isDigit(word.charAt(i))) {
                i++;
                digits++;
            }
        }
        if (digits == 0) {
            return false;
        }
        if (i < n && word.charAt(i) == 'E') {
            i++;
            if (i < n && (word.charAt(i) == '+' || word.charAt(i) == '-')) {
                i++;
            }
            int exponentDigits = 0;
            while (i < n && Character.isDigit(word.charAt(i))) {
                i++;
                exponentDigits++;
            }
            if (exponentDigits == 0) {
                return false;
            }
        }
        return i == n;
    }

    private double real(String expected) throws SvfSyntaxException {
        if (token != SvfLexer.WORD || !isNumber(lexer.word())) {
            throw unexpected(expected);
        }
        double value = Double.parseDouble(lexer.word());
        if (Double.isInfinite(value)) {
            throw new SvfSyntaxException(lexer.tokenLine(), lexer.tokenColumn(), "a finite number", lexer.word());
        }
        return value;
    }

    private SvfSyntaxException unexpected(String expected) {
        String found;
        switch (token) {
            case SvfLexer.EOF: found = "the end of the file"; break;
            case SvfLexer.WORD: found = "'" + lexer.word() + "'"; break;
            default: found = "'" + (char) token + "'"; break;
        }
        return new SvfSyntaxException(lexer.tokenLine(), lexer.tokenColumn(), expected, found);
    }

    /**
     * Closes the reader.
     *
     * @throws IOException when the reader fails to close
     */
    @Override
    public void close() throws IOException {
        reader.close();
    }
}
