package nl.tamsel.ftdi.svf;

import java.io.Reader;

/**
 * SVF text made on the fly, as large as asked, without holding it: a programming file's pattern
 * of scans, waits and compares, with one long scan (250,000 hex digits) every 1,000 statements.
 */
final class GeneratedSvf extends Reader {

    private static final String SHORT = "SDR 256 TDI (0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF)\n"
            + "  TDO (0000000000000000000000000000000000000000000000000000000000000000) MASK (00FF);\n"
            + "RUNTEST 100 TCK;\n";

    private final long size;
    private long produced;
    private long statementPairs;
    private String current = "";
    private int offset;

    GeneratedSvf(long size) {
        this.size = size;
    }

    /** The SDR and RUNTEST statements produced, each counted once. */
    long statements() {
        return statementPairs * 2;
    }

    private String nextChunk() {
        statementPairs++;
        if (statementPairs % 1000 == 0) {
            return "SDR 1000000 TDI (" + "5".repeat(250_000) + ");\nRUNTEST 1E-3 SEC;\n";
        }
        return SHORT;
    }

    @Override
    public int read(char[] buffer, int start, int length) {
        if (produced >= size && offset == current.length()) {
            return -1;
        }
        int n = 0;
        while (n < length) {
            if (offset == current.length()) {
                if (produced >= size) {
                    break;
                }
                current = nextChunk();
                offset = 0;
            }
            int count = Math.min(length - n, current.length() - offset);
            current.getChars(offset, offset + count, buffer, start + n);
            offset += count;
            n += count;
            produced += count;
        }
        return n;
    }

    @Override
    public void close() {
    }

    /**
     * Parses a generated file in this JVM and prints the statements read, those produced and the characters: the
     * heap test runs it in a JVM of its own with a small heap.
     *
     * @param args the file's size in characters
     * @throws java.io.IOException when the text does not parse
     */
    public static void main(String[] args) throws java.io.IOException {
        GeneratedSvf text = new GeneratedSvf(Long.parseLong(args[0]));
        long count = 0;
        try (SvfParser parser = new SvfParser(text)) {
            while (parser.next() != null) {
                count++;
            }
        }
        System.out.println(count + " " + text.statements() + " " + text.produced);
    }
}
