package nl.tamsel.ftdi.svf;

/** Told by {@link SvfPlayer} how far a run has come, on the playing thread. */
@FunctionalInterface
public interface SvfProgressListener {

    /**
     * Reports progress: every few hundred statements and once at the end.
     *
     * @param statements the statements played so far
     * @param characters the characters of the file read so far (bytes, for an ASCII file)
     */
    void progress(long statements, long characters);
}
