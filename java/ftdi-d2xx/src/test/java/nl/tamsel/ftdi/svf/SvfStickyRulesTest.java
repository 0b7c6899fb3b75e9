package nl.tamsel.ftdi.svf;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.io.IOException;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

class SvfStickyRulesTest {

    /** Each row: statements (';'-separated, '/' for a new line) and the last statement as read. */
    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', textBlock = """
        SDR 8 TDI (A5) MASK (0F) SMASK (F0); SDR 8 TDO (11)            | SDR 8 TDI(A5) TDO(11) MASK(0F) SMASK(F0)
        SDR 8 TDI (A5) TDO (11); SDR 8                                 | SDR 8 TDI(A5) MASK(FF) SMASK(FF)
        SDR 8 TDI (A5) MASK (0F); SDR 16 TDI (1234)                    | SDR 16 TDI(1234) MASK(FFFF) SMASK(FFFF)
        SDR 8 TDI (A5) MASK (0F); SDR 16 TDI (1234); SDR 8 TDI (1)     | SDR 8 TDI(01) MASK(FF) SMASK(FF)
        SDR 8 TDI (A5); SIR 8 TDI (3C); SDR 8                          | SDR 8 TDI(A5) MASK(FF) SMASK(FF)
        SIR 8 TDI (A5) MASK (01); SDR 8 TDI (3C); SIR 8 TDO (00)       | SIR 8 TDI(A5) TDO(00) MASK(01) SMASK(FF)
        HIR 4 TDI (F); SIR 4 TDI (1); HIR 4                            | HIR 4 TDI(F) MASK(F) SMASK(F)
        TDR 2 TDI (1) SMASK (2); HDR 2 TDI (3); TDR 2                  | TDR 2 TDI(1) MASK(3) SMASK(2)
        SDR 8 TDI (A5) MASK (0F); SDR 8 MASK (F0); SDR 8               | SDR 8 TDI(A5) MASK(F0) SMASK(FF)
        """)
    void fillsOmittedFieldsFromTheLastScanOfTheSameKindAndLength(String statements, String expected)
            throws IOException {
        String text = statements.replace("; ", ";\n") + ";";
        String[] read = SvfText.renderAll(text).split("\n");
        assertEquals(expected, read[read.length - 1]);
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', textBlock = """
        SDR 8 TDI (A5); SDR 16 TDO (0000)     | 2
        SDR 8 TDI (A5); SIR 8                 | 2
        HDR 8 TDI (A5); SDR 8                 | 2
        SDR 8 TDI (A5); SDR 0; SDR 8          | 3
        """)
    void refusesAScanWhoseLengthOrKindChangedWithoutTdi(String statements, int line) {
        String text = statements.replace("; ", ";\n") + ";";
        SvfSyntaxException e = assertThrows(SvfSyntaxException.class, () -> SvfText.parse(text));
        assertEquals(line, e.line(), e.getMessage());
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', textBlock = """
        RUNTEST 10 TCK; RUNTEST 5 TCK                                  | RUNTEST IDLE 5 TCK 0.0 SEC MAXIMUM Infinity ENDSTATE IDLE
        RUNTEST DRPAUSE 10 TCK ENDSTATE IDLE; RUNTEST 5 TCK            | RUNTEST DRPAUSE 5 TCK 0.0 SEC MAXIMUM Infinity ENDSTATE DRPAUSE
        RUNTEST RESET 1 TCK; RUNTEST IDLE 1 TCK; RUNTEST 1E-3 SEC      | RUNTEST IDLE 0 TCK 0.001 SEC MAXIMUM Infinity ENDSTATE IDLE
        """)
    void takesRuntestsRunStateFromTheLastRuntest(String statements, String expected) throws IOException {
        String[] read = SvfText.renderAll(statements.replace("; ", ";\n") + ";").split("\n");
        assertEquals(expected, read[read.length - 1]);
    }
}
