package nl.tamsel.ftdi.svf;

import java.io.IOException;
import java.io.Reader;

/**
 * Splits SVF text into words, parentheses and semicolons, skipping whitespace and comments, and
 * reads hex strings. Holds one buffer and one word at a time, so memory stays bounded for any
 * file.
 */
final class SvfLexer {

    /** Longer words are refused: no keyword or sensible number comes near. */
    static final int MAX_WORD = 64;

    static final int EOF = -1;
    static final int WORD = 0;
    static final int OPEN = '(';
    static final int CLOSE = ')';
    static final int SEMICOLON = ';';

    private final Reader in;
    private final char[] buffer = new char[16384];
    private int position;
    private int limit;
    private int line = 1;
    private int column = 1;

    private final char[] word = new char[MAX_WORD];
    private int wordLength;
    private int tokenLine;
    private int tokenColumn;
    private byte[] nibbles = new byte[0];

    private static final byte[] HEX = new byte[128];

    static {
        java.util.Arrays.fill(HEX, (byte) -1);
        for (int c = 0; c < 128; c++) {
            HEX[c] = (byte) Character.digit(c, 16);
        }
    }

    SvfLexer(Reader in) {
        this.in = in;
    }

    private int peek() throws IOException {
        if (position == limit) {
            limit = in.read(buffer, 0, buffer.length);
            position = 0;
            if (limit <= 0) {
                limit = 0;
                return EOF;
            }
        }
        return buffer[position];
    }

    private void advance(int c) {
        position++;
        if (c == '\n') {
            line++;
            column = 1;
        } else {
            column++;
        }
    }

    int tokenLine() {
        return tokenLine;
    }

    int tokenColumn() {
        return tokenColumn;
    }

    /** The current word, upper case. */
    String word() {
        return new String(word, 0, wordLength);
    }

    private static boolean isSpace(int c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == 0x0B;
    }

    private static boolean isWordChar(int c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
                || c == '_' || c == '.' || c == '+' || c == '-';
    }

    /** Reads the next token: one of the constants above; a word's text is then in {@link #word()}. */
    int next() throws IOException {
        while (true) {
            int c = peek();
            if (c == EOF) {
                tokenLine = line;
                tokenColumn = column;
                return EOF;
            }
            if (isSpace(c)) {
                advance(c);
            } else if (c == '!') {
                skipLine();
            } else if (c == '/') {
                int slashLine = line;
                int slashColumn = column;
                advance(c);
                if (peek() != '/') {
                    throw new SvfSyntaxException(slashLine, slashColumn, "a statement or a comment ('!' or '//')",
                            "a single '/'");
                }
                skipLine();
            } else {
                break;
            }
        }
        tokenLine = line;
        tokenColumn = column;
        int c = peek();
        if (c == '(' || c == ')' || c == ';') {
            advance(c);
            return c;
        }
        if (!isWordChar(c)) {
            throw new SvfSyntaxException(line, column, "a keyword, a number, '(' or ';'", describe(c));
        }
        wordLength = 0;
        while (isWordChar(c)) {
            if (wordLength == MAX_WORD) {
                throw new SvfSyntaxException(tokenLine, tokenColumn, "a word of at most " + MAX_WORD + " characters",
                        "a longer one");
            }
            word[wordLength++] = Character.toUpperCase((char) c);
            advance(c);
            c = peek();
        }
        return WORD;
    }

    private void skipLine() throws IOException {
        int c;
        while ((c = peek()) != EOF && c != '\n') {
            advance(c);
        }
    }

    /**
     * Reads a hex string's digits up to and including its ')' (the '(' already read) into the
     * value of a {@code length}-bit field; whitespace and line ends inside are skipped.
     */
    SvfBits hex(int length, String field) throws IOException {
        int capacity = (int) ((length + 3L) / 4);
        if (nibbles.length < capacity) {
            nibbles = new byte[capacity];
        }
        int count = 0;
        int firstLine = tokenLine;
        int firstColumn = tokenColumn;
        // The digits are read straight from the buffer: this loop is where a file's time goes.
        while (true) {
            if (position == limit && peek() == EOF) {
                throw new SvfSyntaxException(line, column, "a hex digit or ')' in " + field, describe(EOF));
            }
            char c = buffer[position];
            int value = c < 128 ? HEX[c] : -1;
            if (value >= 0) {
                if (value != 0 || count > 0) {
                    if (count == capacity) {
                        throw new SvfSyntaxException(line, column, field + " of at most " + length + " bits",
                                "more hex digits");
                    }
                    nibbles[count++] = (byte) value;
                }
                position++;
                column++;
            } else if (c == ')') {
                advance(c);
                break;
            } else if (isSpace(c)) {
                advance(c);
            } else {
                throw new SvfSyntaxException(line, column, "a hex digit or ')' in " + field, describe(c));
            }
        }
        byte[] bytes = new byte[SvfBits.byteLength(length)];
        for (int i = 0; i < count; i++) {
            int nibble = nibbles[count - 1 - i];
            bytes[i >> 1] |= (byte) (nibble << ((i & 1) * 4));
        }
        if (count * 4 > length && count > 0) {
            int top = nibbles[0];
            int usedBits = length - (count - 1) * 4;
            if (top >> usedBits != 0) {
                throw new SvfSyntaxException(firstLine, firstColumn, field + " of at most " + length + " bits",
                        "a value with higher bits set");
            }
        }
        return new SvfBits(length, bytes);
    }

    private static String describe(int c) {
        if (c == EOF) {
            return "the end of the file";
        }
        if (c >= 0x21 && c < 0x7F) {
            return "'" + (char) c + "'";
        }
        return String.format("character 0x%02X", c);
    }
}
