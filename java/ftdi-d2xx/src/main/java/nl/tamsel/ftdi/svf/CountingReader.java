package nl.tamsel.ftdi.svf;

import java.io.IOException;
import java.io.Reader;

/** Counts the characters read through it, for progress reports. */
final class CountingReader extends Reader {

    private final Reader in;
    private long count;

    CountingReader(Reader in) {
        this.in = in;
    }

    long count() {
        return count;
    }

    @Override
    public int read(char[] buffer, int offset, int length) throws IOException {
        int n = in.read(buffer, offset, length);
        if (n > 0) {
            count += n;
        }
        return n;
    }

    @Override
    public void close() throws IOException {
        in.close();
    }
}
