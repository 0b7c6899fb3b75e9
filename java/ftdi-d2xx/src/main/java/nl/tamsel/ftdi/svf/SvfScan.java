package nl.tamsel.ftdi.svf;

/**
 * A scan ({@code SIR}, {@code SDR}) or the header or trailer for later scans ({@code HIR},
 * {@code HDR}, {@code TIR}, {@code TDR}). TDI, MASK and SMASK are always present: the parser
 * takes them from the last statement of the same kind and length when the file omits them, and
 * MASK and SMASK default to ones.
 *
 * @param kind   which statement
 * @param length the number of bits
 * @param tdi    the bits to shift in
 * @param tdo    the bits expected out, or null when nothing is compared
 * @param mask   the bits of {@code tdo} that are compared
 * @param smask  the bits of {@code tdi} that matter
 * @param line   the line of the keyword
 */
public record SvfScan(Kind kind, int length, SvfBits tdi, SvfBits tdo, SvfBits mask, SvfBits smask, int line)
        implements SvfStatement {

    /** The six statements with scan fields. */
    public enum Kind {
        /** A scan of the instruction registers. */
        SIR,
        /** A scan of the data registers. */
        SDR,
        /** Header bits for later instruction scans. */
        HIR,
        /** Header bits for later data scans. */
        HDR,
        /** Trailer bits for later instruction scans. */
        TIR,
        /** Trailer bits for later data scans. */
        TDR;

        /**
         * Whether this kind concerns the instruction registers.
         *
         * @return true for SIR, HIR and TIR
         */
        public boolean isInstruction() {
            return this == SIR || this == HIR || this == TIR;
        }
    }

    /**
     * Whether the captured bits are compared.
     *
     * @return true when the statement gave TDO
     */
    public boolean compares() {
        return tdo != null;
    }
}
