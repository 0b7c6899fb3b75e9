package nl.tamsel.ftdi.svf;

import static org.junit.jupiter.api.Assertions.assertTimeoutPreemptively;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.io.InputStreamReader;
import java.io.ByteArrayInputStream;
import java.nio.charset.StandardCharsets;
import java.time.Duration;
import java.util.SplittableRandom;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * Malformed files from a seeded generator: valid files with bytes flipped, inserted, dropped and
 * cut, and plain random bytes. Each must parse or fail with an {@link SvfSyntaxException} that
 * names a position inside the file; any other exception, or a hang, is a fault.
 */
class SvfParserFuzzTest {

    private static final String SEED_FILE = "! programming file\n"
            + "FREQUENCY 1.00E+06 HZ;\nTRST OFF;\nENDIR IDLE;\nENDDR IDLE;\nSTATE RESET;\nSTATE IDLE;\n"
            + "HIR 4 TDI (F);\nHDR 1 TDI (0);\nTIR 6 TDI (3F) SMASK (3F);\nTDR 1 TDI (1);\n"
            + "SIR 8 TDI (FE) TDO (01) MASK (03);\nSDR 32 TDI (00000000) TDO (2B5C7A2D)\n  MASK (0FFFFFFF);\n"
            + "RUNTEST IDLE 100 TCK 1.0E-3 SEC MAXIMUM 2 SEC ENDSTATE IDLE;\nRUNTEST 5E-2 SEC;\n"
            + "SDR 64 TDI (0123456789ABCDEF\n FEDCBA9876543210);\nSDR 64;\n// end\n"
            + "STATE DRSELECT DRCAPTURE DREXIT1 DRPAUSE;\nSTATE IDLE;\nTRST ABSENT;\nFREQUENCY;\n";

    private static final String ALPHABET = "SIRDTHMAKOC0123456789ABCDEFabcdef().;!/ \n\tE+-XZPUN";

    @ParameterizedTest(name = "seed {0}")
    @ValueSource(longs = {1, 2, 3, 4, 5, 6, 7, 8})
    void anyBytesGiveStatementsOrASyntaxErrorInsideTheFile(long seed) {
        SplittableRandom random = new SplittableRandom(seed);
        assertTimeoutPreemptively(Duration.ofMinutes(2), () -> {
            for (int round = 0; round < 2_000; round++) {
                byte[] input = mutate(random, round % 10 == 0 ? randomBytes(random) : SEED_FILE.getBytes(StandardCharsets.US_ASCII));
                check(input);
            }
        });
    }

    private static void check(byte[] input) throws IOException {
        int lines = 1;
        for (byte b : input) {
            lines += b == '\n' ? 1 : 0;
        }
        try (SvfParser parser = new SvfParser(new InputStreamReader(new ByteArrayInputStream(input),
                StandardCharsets.ISO_8859_1))) {
            while (parser.next() != null) {
                continue;
            }
        } catch (SvfSyntaxException e) {
            assertTrue(e.line() >= 1 && e.line() <= lines && e.column() >= 1 && !e.expected().isEmpty(),
                    e.getMessage());
        }
    }

    private static byte[] randomBytes(SplittableRandom random) {
        byte[] bytes = new byte[random.nextInt(400)];
        for (int i = 0; i < bytes.length; i++) {
            bytes[i] = random.nextBoolean() ? (byte) random.nextInt(256)
                    : (byte) ALPHABET.charAt(random.nextInt(ALPHABET.length()));
        }
        return bytes;
    }

    private static byte[] mutate(SplittableRandom random, byte[] original) {
        StringBuilder text = new StringBuilder(new String(original, StandardCharsets.ISO_8859_1));
        int edits = 1 + random.nextInt(4);
        for (int e = 0; e < edits && text.length() > 0; e++) {
            int at = random.nextInt(text.length());
            char c = random.nextInt(4) == 0 ? (char) random.nextInt(256) : ALPHABET.charAt(random.nextInt(ALPHABET.length()));
            switch (random.nextInt(4)) {
                case 0: text.setCharAt(at, c); break;
                case 1: text.insert(at, c); break;
                case 2: text.deleteCharAt(at); break;
                default: text.setLength(at); break;
            }
        }
        return text.toString().getBytes(StandardCharsets.ISO_8859_1);
    }
}
