package nl.tamsel.ftdi.svf;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.util.List;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.api.Test;

class SvfParserTest {

    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', quoteCharacter = '"', textBlock = """
        sdr 12 tdi (abc) tdo (123) mask (f0f) smask (0ff); | SDR 12 TDI(ABC) TDO(123) MASK(F0F) SMASK(0FF)
        SDR 6 TDI (3);                               | SDR 6 TDI(03) MASK(3F) SMASK(3F)
        SDR 4 TDI (0000000A);                        | SDR 4 TDI(A) MASK(F) SMASK(F)
        SDR 8 TDO (FF) TDI (0);                      | SDR 8 TDI(00) TDO(FF) MASK(FF) SMASK(FF)
        HIR 0;                                       | HIR 0 TDI() MASK() SMASK()
        TDR 3 TDI (7);                               | TDR 3 TDI(7) MASK(7) SMASK(7)
        ENDIR irpause;                               | ENDIR IRPAUSE
        ENDDR IDLE;                                  | ENDDR IDLE
        STATE RESET;                                 | STATE RESET
        STATE DRSELECT DRCAPTURE DREXIT1 DRPAUSE;    | STATE DRSELECT DRCAPTURE DREXIT1 DRPAUSE
        STATE IRPAUSE IREXIT2 IRUPDATE IDLE;         | STATE IRPAUSE IREXIT2 IRUPDATE IDLE
        RUNTEST DRPAUSE 5 SCK 1E-3 SEC;              | RUNTEST DRPAUSE 5 SCK 0.001 SEC MAXIMUM Infinity ENDSTATE DRPAUSE
        RUNTEST 1.0E+02 TCK;                         | RUNTEST IDLE 100 TCK 0.0 SEC MAXIMUM Infinity ENDSTATE IDLE
        RUNTEST 2.5e-2 SEC MAXIMUM 1 SEC ENDSTATE RESET; | RUNTEST IDLE 0 TCK 0.025 SEC MAXIMUM 1.0 ENDSTATE RESET
        RUNTEST RESET 3 TCK 0.5 SEC MAXIMUM 2.0 SEC ENDSTATE IDLE; | RUNTEST RESET 3 TCK 0.5 SEC MAXIMUM 2.0 ENDSTATE IDLE
        FREQUENCY 1E6 HZ;                            | FREQUENCY 1000000.0
        FREQUENCY;                                   | FREQUENCY Infinity
        TRST off;                                    | TRST OFF
        TRST ABSENT;                                 | TRST ABSENT
        SDR 8 TDI (A5) MASK (0F) SMASK (F0); SDR 8 TDO (11);          | SDR 8 TDI(A5) TDO(11) MASK(0F) SMASK(F0)
        SDR 8 TDI (A5) TDO (11); SDR 8;                                | SDR 8 TDI(A5) MASK(FF) SMASK(FF)
        SDR 8 TDI (A5) MASK (0F); SDR 16 TDI (1234);                   | SDR 16 TDI(1234) MASK(FFFF) SMASK(FFFF)
        SDR 8 TDI (A5) MASK (0F); SDR 16 TDI (1234); SDR 8 TDI (1);    | SDR 8 TDI(01) MASK(FF) SMASK(FF)
        SDR 8 TDI (A5); SIR 8 TDI (3C); SDR 8;                         | SDR 8 TDI(A5) MASK(FF) SMASK(FF)
        SIR 8 TDI (A5) MASK (01); SDR 8 TDI (3C); SIR 8 TDO (00);      | SIR 8 TDI(A5) TDO(00) MASK(01) SMASK(FF)
        HIR 4 TDI (F); SIR 4 TDI (1); HIR 4;                           | HIR 4 TDI(F) MASK(F) SMASK(F)
        TDR 2 TDI (1) SMASK (2); HDR 2 TDI (3); TDR 2;                 | TDR 2 TDI(1) MASK(3) SMASK(2)
        SDR 8 TDI (A5) MASK (0F); SDR 8 MASK (F0); SDR 8;              | SDR 8 TDI(A5) MASK(F0) SMASK(FF)
        RUNTEST 10 TCK; RUNTEST 5 TCK;                                 | RUNTEST IDLE 5 TCK 0.0 SEC MAXIMUM Infinity ENDSTATE IDLE
        RUNTEST DRPAUSE 10 TCK ENDSTATE IDLE; RUNTEST 5 TCK;           | RUNTEST DRPAUSE 5 TCK 0.0 SEC MAXIMUM Infinity ENDSTATE DRPAUSE
        RUNTEST RESET 1 TCK; RUNTEST IDLE 1 TCK; RUNTEST 1E-3 SEC;     | RUNTEST IDLE 0 TCK 0.001 SEC MAXIMUM Infinity ENDSTATE IDLE
        """)
    void readsEachStatementFillingOmittedFieldsFromTheLastOfItsKind(String text, String expected) throws IOException {
        // Omitted scan fields come from the last scan of the same kind and length, a RUNTEST's
        // run state from the last RUNTEST: each row checks the last statement as read.
        String[] read = SvfText.renderAll(text).split("\n");
        assertEquals(expected, read[read.length - 1]);
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', quoteCharacter = '"', textBlock = """
        PIO (HHLL);                          | 1 | 1  | not supported
        PIOMAP (IN A);                       | 1 | 1  | not supported
        SIRR 8 TDI (0);                      | 1 | 1  | statement keyword
        SIR TDI (0);                         | 1 | 5  | bit length
        SIR 8 TDI 0;                         | 1 | 11 | '('
        SIR 8 TDI (0G);                      | 1 | 13 | hex digit
        SIR 8 TDI (1FF);                     | 1 | 14 | at most 8 bits
        SIR 6 TDI (7F);                      | 1 | 11 | at most 6 bits
        SIR 8 TDI (0) TDI (1);               | 1 | 15 | each field once
        SIR 8 TDI (0) FOO (1);               | 1 | 15 | TDI, TDO, MASK, SMASK
        SIR 8 TDO (0);                       | 1 | 14 | TDI: the first SIR
        SDR 16777217 TDI (0);                | 1 | 5  | at most 16777216
        SIR 8 TDI (0)                        | 1 | 14 | ';'
        ENDIR DRSHIFT;                       | 1 | 7  | stable state
        ENDDR;                               | 1 | 6  | stable state
        STATE IDLE DRPAUSE;                  | 1 | 12 | one clock from IDLE
        STATE DRSELECT;                      | 1 | 15 | ending in a stable state
        STATE;                               | 1 | 6  | ending in a stable state
        RUNTEST;                             | 1 | 8  | clock count or a time
        RUNTEST 10;                          | 1 | 11 | TCK, SCK or SEC
        RUNTEST 1.5 TCK;                     | 1 | 9  | whole number
        RUNTEST 10 TCK 1E-3;                 | 1 | 20 | SEC
        RUNTEST 1 SEC MAXIMUM 0.5 SEC;       | 1 | 23 | at least the minimum
        RUNTEST 1 SEC ENDSTATE IRSHIFT;      | 1 | 24 | stable end state
        RUNTEST 1E SEC;                      | 1 | 9  | clock count or a time
        RUNTEST 1 SEC 2;                     | 1 | 15 | MAXIMUM, ENDSTATE
        RUNTEST 10 TCK 2E6 SEC;              | 1 | 16 | at most 1000000.0 s
        FREQUENCY 0 HZ;                      | 1 | 11 | above 0
        FREQUENCY 1E6;                       | 1 | 14 | HZ
        FREQUENCY -5 HZ;                     | 1 | 11 | frequency or ';'
        TRST MAYBE;                          | 1 | 6  | ON, OFF, Z or ABSENT
        SIR 8 TDI (0); / comment             | 1 | 16 | comment
        "SIR 8 TDI (0);\n  # x"              | 2 | 3  | keyword, a number
        "SIR 8\n TDI (1\n 2\n Z);"           | 4 | 2  | hex digit
        "SIR 8\n TDI (12"                    | 2 | 9  | hex digit or ')'
        "SDR 8 TDI (A5);\nSDR 16 TDO (0000);" | 2 | 18 | first SDR of 16 bits
        "SDR 8 TDI (A5);\nSIR 8;"             | 2 | 6  | first SIR of 8 bits
        "HDR 8 TDI (A5);\nSDR 8;"             | 2 | 6  | first SDR of 8 bits
        "SDR 8 TDI (A5);\nSDR 0;\nSDR 8;"     | 3 | 6  | the last had 0
        """)
    void refusesMalformedStatementsWithWhereAndWhat(String text, int line, int column, String expected) {
        SvfSyntaxException e = assertThrows(SvfSyntaxException.class,
                () -> SvfText.parse(text.replace("\\n", "\n")));
        assertEquals(line + ":" + column, e.line() + ":" + e.column(), e.getMessage());
        assertTrue(e.expected().contains(expected) || e.getMessage().contains(expected), e.getMessage());
    }

    @Test
    void skipsCommentsAndReadsStatementsAndHexAcrossLines() throws IOException {
        String text = "! header comment\n"
                + "// another; with a semicolon\n"
                + "sdr 16 tdi (12 ! not inside\n";
        assertThrows(SvfSyntaxException.class, () -> SvfText.parse(text), "a comment may not split a hex string");

        List<SvfStatement> statements = SvfText.parse("! header\r\n"
                + "TRST\r\n  OFF ; // trailing\r\n"
                + "SDR 16\n\tTDI (12\n 34)\n TDO (\n5678\n);");
        assertEquals("TRST OFF", SvfText.render(statements.get(0)));
        assertEquals(2, statements.get(0).line());
        assertEquals("SDR 16 TDI(1234) TDO(5678) MASK(FFFF) SMASK(FFFF)", SvfText.render(statements.get(1)));
        assertEquals(4, statements.get(1).line());
    }

    @Test
    void keepsBitOrderOfTheHexStringsValue() throws IOException {
        SvfScan scan = (SvfScan) SvfText.parse("SDR 12 TDI (A53);").get(0);
        assertEquals("[83, 10]", java.util.Arrays.toString(scan.tdi().toByteArray()), "low byte first");
        assertTrue(scan.tdi().bit(0) && scan.tdi().bit(1) && !scan.tdi().bit(2) && scan.tdi().bit(11));
    }
}
