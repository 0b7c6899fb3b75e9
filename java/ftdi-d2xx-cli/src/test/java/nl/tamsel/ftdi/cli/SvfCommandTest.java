package nl.tamsel.ftdi.cli;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** {@code jtag svf} on the simulated chain of FT232HJT (its third device has the memory). */
class SvfCommandTest extends ToolTestBase {

    private static final String GOOD = "STATE RESET;\nTIR 10 TDI (3FF);\nTDR 2 TDI (0);\nSIR 8 TDI (FE);\n"
            + "SDR 32 TDI (0) TDO (2B5C7A2D);\nRUNTEST 1E-3 SEC;\n";

    @TempDir
    Path folder;

    /**
     * Each row: the file's text after the good part ('/' for a line end), the arguments after
     * "jtag svf", the exit code and what stdout (on success) or stderr says.
     */
    @ParameterizedTest(name = "{1}: good part and {0}")
    @CsvSource(delimiter = '|', textBlock = """
        ''                               | FT232HJT {file}     | 0 | 6 statements, 2 scans, 1 compared
        SDR 32 TDI (0) TDO (2B5C7A2F);   | FT232HJT {file}     | 7 | SVF line 7: TDO mismatch: expected (02B5C7A2F), captured (02B5C7A2D)
        SDR 32 TDI (0) TDO (2B5C7A2D/X); | FT232HJT {file}     | 2 | SVF line 8, column 1: expected a hex digit or ')' in TDO
        PIO (HL);                        | FT232HJT {file}     | 2 | SVF line 7, column 1
        TRST ON;                         | FT232HJT {file}     | 1 | part.svf: SVF line 7 reached:
        ''                               | FT232HJT            | 2 | expected svf <device> FILE
        ''                               | FT232HJT missing.svf | 4 | No such SVF file
        ''                               | SIM232R1 {file}     | 1 | MPSSE
        ''                               | FT232HJT {file} --frequency 0 | 2 | --frequency
        """)
    void playsTheFileOrRefusesWhatCannotBePlayed(String more, String arguments, int exitCode, String message)
            throws IOException {
        Path file = folder.resolve("part.svf");
        Files.writeString(file, GOOD + more.replace("/", "\n"));
        String[] args = ("--simulated jtag svf " + arguments.replace("{file}", file.toString())).split(" ");

        assertEquals(exitCode, run(args), err());
        assertTrue((exitCode == 0 ? out() : err()).contains(message), out() + err());
    }
}
