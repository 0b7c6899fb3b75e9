package nl.tamsel.ftdi.internal;

import java.io.IOException;
import java.io.InputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.util.Locale;
import java.util.function.Consumer;

/**
 * Copies a native library out of the jar into a file of its own and loads it from there.
 *
 * <p>Each extraction gets a new file with a unique name, so two JVMs (or two versions of this
 * library) never share or overwrite one. The file is deleted right after loading where the
 * operating system allows it (Linux keeps the loaded copy mapped); where it does not (Windows),
 * it is marked for deletion at exit.
 */
public final class LibraryExtractor {

    /** Names the directory that native libraries are extracted into; default java.io.tmpdir. */
    public static final String DIRECTORY_PROPERTY = "nl.tamsel.ftdi.extract.dir";

    private LibraryExtractor() {
    }

    /**
     * The extraction directory the properties name.
     *
     * @param directoryProperty the value of {@value #DIRECTORY_PROPERTY}, or null
     * @param tmpdir            the value of java.io.tmpdir
     * @return the directory to extract into
     */
    public static Path directory(String directoryProperty, String tmpdir) {
        return Paths.get(directoryProperty != null && !directoryProperty.isBlank() ? directoryProperty : tmpdir);
    }

    /**
     * Extracts a library and loads it.
     *
     * @param source    the library's bytes; closed before the library is loaded
     * @param fileName  the library's file name, such as {@code libftdibridge.so}; the extracted
     *                  file keeps its prefix and extension around a unique part
     * @param directory where to put the file
     * @param check     looks at the extracted file before it is loaded; may throw
     *                  {@link UnsatisfiedLinkError} to refuse it
     * @param loader    loads the file, normally {@code path -> System.load(path.toString())}
     * @throws UnsatisfiedLinkError when the file cannot be written, is refused, or does not load;
     *                              the message says which and what to do
     */
    public static void extractAndLoad(InputStream source, String fileName, Path directory, Consumer<Path> check,
            Consumer<Path> loader) {
        Path file = extract(source, fileName, directory);
        try {
            check.accept(file);
            loader.accept(file);
        } catch (UnsatisfiedLinkError e) {
            throw isNoExec(e) ? noExec(e, file, directory) : e;
        } finally {
            delete(file);
        }
    }

    private static Path extract(InputStream source, String fileName, Path directory) {
        int dot = fileName.lastIndexOf('.');
        String prefix = (dot < 0 ? fileName : fileName.substring(0, dot)) + "-";
        String suffix = dot < 0 ? null : fileName.substring(dot);
        Path file = null;
        try (InputStream in = source) {
            Files.createDirectories(directory);
            file = Files.createTempFile(directory, prefix, suffix);
            Files.copy(in, file, StandardCopyOption.REPLACE_EXISTING);
            return file;
        } catch (IOException | SecurityException e) {
            if (file != null) {
                delete(file);
            }
            UnsatisfiedLinkError error = new UnsatisfiedLinkError("Could not extract " + fileName + " into "
                    + directory.toAbsolutePath() + " (" + e + "). Set -D" + DIRECTORY_PROPERTY
                    + "=<a writable directory> to extract it elsewhere.");
            error.initCause(e);
            throw error;
        }
    }

    /** How the dynamic linker reports a file it may not map as code, as on a noexec mount. */
    static boolean isNoExec(UnsatisfiedLinkError e) {
        String message = String.valueOf(e.getMessage()).toLowerCase(Locale.ROOT);
        return message.contains("failed to map segment") || message.contains("operation not permitted");
    }

    private static UnsatisfiedLinkError noExec(UnsatisfiedLinkError e, Path file, Path directory) {
        UnsatisfiedLinkError error = new UnsatisfiedLinkError(file.getFileName() + " was extracted into "
                + directory.toAbsolutePath() + " but cannot be loaded from there: the directory is probably on a"
                + " file system mounted noexec. Set -D" + DIRECTORY_PROPERTY
                + "=<a directory on a file system that allows executing code>. Cause: " + e.getMessage());
        error.initCause(e);
        return error;
    }

    private static void delete(Path file) {
        try {
            Files.deleteIfExists(file);
        } catch (IOException e) {
            // A loaded library on Windows cannot be deleted while the process runs.
            file.toFile().deleteOnExit();
        }
    }
}
