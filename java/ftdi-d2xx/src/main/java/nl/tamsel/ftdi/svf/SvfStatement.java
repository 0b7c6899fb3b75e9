package nl.tamsel.ftdi.svf;

/**
 * One statement of an SVF file, as {@link SvfParser} reads it: complete, with the sticky values
 * and defaults of the file already filled in.
 */
public sealed interface SvfStatement
        permits SvfScan, SvfEndState, SvfStatePath, SvfRunTest, SvfFrequency, SvfTrst {

    /**
     * Where the statement starts.
     *
     * @return the line of its keyword, 1 for the first line
     */
    int line();
}
