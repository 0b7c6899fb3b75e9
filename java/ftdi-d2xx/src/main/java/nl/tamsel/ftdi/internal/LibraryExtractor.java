package nl.tamsel.ftdi.internal;

import java.io.IOException;
import java.io.InputStream;
import java.io.UncheckedIOException;
import java.nio.file.DirectoryIteratorException;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.util.Arrays;
import java.util.HexFormat;
import java.util.Locale;
import java.util.concurrent.atomic.AtomicLong;
import java.util.function.Consumer;
import java.util.function.UnaryOperator;
import java.util.stream.Stream;

/**
 * Copies a native library out of the jar into a per-user cache and loads it from there.
 *
 * <p>Each library lives at {@code <root>/<platform>/<stem>-<version>-<hash>/<file name>}, where
 * the hash is the first 16 hex digits of the SHA-256 of its bytes and the file name is the one
 * in the jar (Windows matches an imported DLL by base name, so the simulated driver must stay
 * {@code FTD2XX.dll}). A copy whose bytes match is reused; otherwise the bytes go to a temporary
 * file in the same directory and are renamed into place atomically, so JVMs starting at the same
 * moment never see a half-written library. The file is hashed again right before it is loaded:
 * a truncated or altered copy is replaced, never loaded. Directories of other versions or
 * builds of the same library are removed where the operating system allows it (a DLL loaded
 * by a running JVM is locked). Temporary names use the process id, a clock and a counter rather
 * than {@code SecureRandom}: uniqueness is all they need.
 */
public final class LibraryExtractor {

    /** Names the cache root that native libraries are extracted under. */
    public static final String DIRECTORY_PROPERTY = "nl.tamsel.ftdi.extract.dir";

    /** The cache's folder name below the per-user cache location. */
    static final String CACHE_NAME = "tamsel-ftdi";

    /** Writing and verifying is retried this often when another process replaces the file meanwhile. */
    private static final int ATTEMPTS = 3;

    private static final AtomicLong TEMP_COUNTER = new AtomicLong();

    private LibraryExtractor() {
    }

    /**
     * The cache root for this JVM: {@value #DIRECTORY_PROPERTY} when set, else the user's cache.
     *
     * @return the directory under which libraries are extracted
     */
    public static Path cacheRoot() {
        return cacheRoot(System::getProperty, System::getenv);
    }

    /**
     * The cache root the properties and environment name: {@value #DIRECTORY_PROPERTY} when set;
     * else on Windows {@code %LOCALAPPDATA%\tamsel-ftdi}, on macOS
     * {@code ~/Library/Caches/tamsel-ftdi}, elsewhere {@code $XDG_CACHE_HOME/tamsel-ftdi} or
     * {@code ~/.cache/tamsel-ftdi}.
     *
     * @param properties the system properties
     * @param environment the environment variables
     * @return the directory under which libraries are extracted
     */
    public static Path cacheRoot(UnaryOperator<String> properties, UnaryOperator<String> environment) {
        String named = properties.apply(DIRECTORY_PROPERTY);
        if (isSet(named)) {
            return Paths.get(named);
        }
        String os = String.valueOf(properties.apply("os.name")).toLowerCase(Locale.ROOT);
        Path home = Paths.get(String.valueOf(properties.apply("user.home")));
        if (os.startsWith("windows")) {
            String local = environment.apply("LOCALAPPDATA");
            return (isSet(local) ? Paths.get(local) : home.resolve("AppData").resolve("Local")).resolve(CACHE_NAME);
        }
        if (os.startsWith("mac")) {
            return home.resolve("Library").resolve("Caches").resolve(CACHE_NAME);
        }
        String xdg = environment.apply("XDG_CACHE_HOME");
        return (isSet(xdg) ? Paths.get(xdg) : home.resolve(".cache")).resolve(CACHE_NAME);
    }

    /**
     * Extracts a library into the cache, unless a verified copy is there already, and loads it.
     *
     * @param source   the library's bytes; read and closed before anything is written
     * @param root     the cache root, see {@link #cacheRoot()}
     * @param platform the platform folder, such as {@code windows-x86_64}
     * @param stem     names the library's directories, such as {@code ftdibridge}; directories of
     *                 other versions start with the same stem and a dash
     * @param version  the version of this library's Java classes
     * @param fileName the file name as in the jar, such as {@code FTD2XX.dll}
     * @param check    looks at the verified file before it is loaded; may throw
     *                 {@link UnsatisfiedLinkError} to refuse it
     * @param loader   loads the file, normally {@code path -> System.load(path.toString())}
     * @return the file that was loaded
     * @throws UnsatisfiedLinkError when the file cannot be written, is refused, or does not load;
     *                              the message names the directory and {@value #DIRECTORY_PROPERTY}
     */
    public static Path extractAndLoad(InputStream source, Path root, String platform, String stem, String version,
            String fileName, Consumer<Path> check, Consumer<Path> loader) {
        byte[] bytes = readAll(source, fileName);
        byte[] digest = sha256(bytes);
        Path family = root.resolve(platform);
        Path directory = family.resolve(stem + "-" + version + "-" + HexFormat.of().formatHex(digest, 0, 8));
        Path file = directory.resolve(fileName);
        for (int attempt = 1; ; attempt++) {
            place(bytes, digest, directory, file);
            removeOtherBuilds(family, stem, directory);
            check.accept(file);
            try {
                loader.accept(file);
                return file;
            } catch (UnsatisfiedLinkError e) {
                // A JVM of another build removes this directory as this one removes its: extract again.
                if (!Files.exists(file) && attempt < ATTEMPTS) {
                    continue;
                }
                throw isNoExec(e) ? noExec(e, file, directory) : e;
            }
        }
    }

    /** Makes the file hold the jar's bytes, reusing a copy that does. */
    private static void place(byte[] bytes, byte[] digest, Path directory, Path file) {
        for (int attempt = 1; ; attempt++) {
            try {
                if (!matches(file, digest)) {
                    write(bytes, digest, directory, file);
                }
                // Verified last, so that what is loaded is exactly the jar's bytes.
                if (matches(file, digest)) {
                    return;
                }
                if (attempt == ATTEMPTS) {
                    throw new IOException(file + " kept changing while it was extracted");
                }
            } catch (IOException | SecurityException e) {
                throw notWritable(file.getFileName().toString(), directory, e);
            }
        }
    }

    private static void write(byte[] bytes, byte[] digest, Path directory, Path file) throws IOException {
        Files.createDirectories(directory);
        Path temporary = directory.resolve(file.getFileName() + "." + ProcessHandle.current().pid() + "-"
                + System.nanoTime() + "-" + TEMP_COUNTER.incrementAndGet() + ".tmp");
        try {
            Files.write(temporary, bytes);
            try {
                Files.move(temporary, file, StandardCopyOption.ATOMIC_MOVE, StandardCopyOption.REPLACE_EXISTING);
            } catch (IOException e) {
                // Windows refuses to replace a DLL that a running JVM has loaded; it is fine if it is ours.
                if (!matches(file, digest)) {
                    throw e;
                }
            }
        } finally {
            Files.deleteIfExists(temporary);
        }
    }

    /** Whether the file exists and holds exactly the bytes of the digest. */
    static boolean matches(Path file, byte[] digest) throws IOException {
        if (!Files.isRegularFile(file)) {
            return false;
        }
        return Arrays.equals(digest, sha256(Files.readAllBytes(file)));
    }

    private static void removeOtherBuilds(Path family, String stem, Path keep) {
        try (DirectoryStream<Path> siblings = Files.newDirectoryStream(family, stem + "-*")) {
            for (Path sibling : siblings) {
                if (!sibling.equals(keep)) {
                    deleteTree(sibling);
                }
            }
        } catch (IOException | DirectoryIteratorException | SecurityException e) {
            // Cleaning up is a courtesy; the library this JVM needs is in place. A directory
            // that cannot be listed (a 32-bit program on ext4 under emulation gets EOVERFLOW)
            // is left as it is.
        }
    }

    private static void deleteTree(Path directory) {
        try (Stream<Path> files = Files.list(directory)) {
            for (Path file : (Iterable<Path>) files::iterator) {
                Files.deleteIfExists(file);
            }
            Files.deleteIfExists(directory);
        } catch (IOException | UncheckedIOException | SecurityException e) {
            // Locked by a JVM that still runs that build (Windows); a later run removes it.
        }
    }

    private static byte[] readAll(InputStream source, String fileName) {
        try (InputStream in = source) {
            return in.readAllBytes();
        } catch (IOException e) {
            UnsatisfiedLinkError error = new UnsatisfiedLinkError("Could not read " + fileName + " from the jar: " + e);
            error.initCause(e);
            throw error;
        }
    }

    private static byte[] sha256(byte[] bytes) {
        try {
            return MessageDigest.getInstance("SHA-256").digest(bytes);
        } catch (NoSuchAlgorithmException e) {
            throw new IllegalStateException("every Java runtime has SHA-256", e);
        }
    }

    private static UnsatisfiedLinkError notWritable(String fileName, Path directory, Exception e) {
        UnsatisfiedLinkError error = new UnsatisfiedLinkError("Could not extract " + fileName + " into "
                + directory.toAbsolutePath() + " (" + e + "). Set -D" + DIRECTORY_PROPERTY
                + "=<a writable directory> to extract it elsewhere.");
        error.initCause(e);
        return error;
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

    private static boolean isSet(String value) {
        return value != null && !value.isBlank();
    }
}
