package nl.tamsel.ftdi.svf;

import java.util.List;

/**
 * {@code STATE}: a move to a stable state, through the given states when the file names more
 * than one (each one clock from the one before), else by the shortest path.
 *
 * @param path the states in order; the last is stable and is where the move ends
 * @param line the line of the keyword
 */
public record SvfStatePath(List<SvfState> path, int line) implements SvfStatement {

    /**
     * Copies the path.
     *
     * @param path the states in order, at least one
     * @param line the line of the keyword
     */
    public SvfStatePath {
        path = List.copyOf(path);
    }

    /**
     * Where the move ends.
     *
     * @return the last state of the path
     */
    public SvfState end() {
        return path.get(path.size() - 1);
    }
}
