package nl.tamsel.ftdi.internal;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayInputStream;
import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.attribute.FileTime;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.concurrent.CyclicBarrier;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.stream.Stream;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.condition.EnabledOnOs;
import org.junit.jupiter.api.condition.OS;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.ValueSource;

/** Where the jar's libraries are cached, when a cached copy is reused, replaced or removed. */
class LibraryExtractorTest {

    private static final String PLATFORM = "windows-x86_64";
    private static final byte[] LIBRARY = "MZ...the library's code...".getBytes(StandardCharsets.US_ASCII);

    @TempDir
    Path root;

    /** What each load saw in the file it was given. */
    private final List<byte[]> loadedBytes = new ArrayList<>();

    private Path extract(byte[] bytes, String version) {
        return LibraryExtractor.extractAndLoad(new ByteArrayInputStream(bytes), root, PLATFORM, "ftd2xx", version,
                "FTD2XX.dll", path -> { }, path -> {
                    try {
                        loadedBytes.add(Files.readAllBytes(path));
                    } catch (IOException e) {
                        throw new UncheckedIOException(e);
                    }
                });
    }

    private List<Path> filesUnder(Path directory) throws IOException {
        try (Stream<Path> files = Files.walk(directory)) {
            return files.filter(Files::isRegularFile).toList();
        }
    }

    @ParameterizedTest(name = "{0} {1}")
    @CsvSource(delimiter = '|', textBlock = """
        Windows 11 | LOCALAPPDATA=C:/Users/ann/AppData/Local | C:/Users/ann/AppData/Local/tamsel-ftdi
        Windows 11 | -                                       | /home/ann/AppData/Local/tamsel-ftdi
        Mac OS X   | XDG_CACHE_HOME=/xdg                     | /home/ann/Library/Caches/tamsel-ftdi
        Linux      | XDG_CACHE_HOME=/xdg                     | /xdg/tamsel-ftdi
        Linux      | -                                       | /home/ann/.cache/tamsel-ftdi
        """)
    void cacheRootIsTheUsersCacheOfTheOperatingSystem(String os, String variable, String expected) {
        Map<String, String> environment = variable.equals("-") ? Map.of()
                : Map.of(variable.split("=")[0], variable.split("=")[1]);
        Map<String, String> properties = Map.of("os.name", os, "user.home", "/home/ann");

        assertEquals(Paths.get(expected), LibraryExtractor.cacheRoot(properties::get, environment::get));
    }

    @Test
    void namedCacheRootWinsOverTheUsersCache() {
        Map<String, String> properties = Map.of("os.name", "Linux", "user.home", "/home/ann",
                LibraryExtractor.DIRECTORY_PROPERTY, "/opt/cache");

        assertEquals(Paths.get("/opt/cache"), LibraryExtractor.cacheRoot(properties::get, name -> "/xdg"));
    }

    @Test
    void libraryGoesUnderPlatformVersionAndHashWithTheJarsFileName() throws IOException {
        Path file = extract(LIBRARY, "1.2.3");

        assertAll(
                () -> assertEquals(root.resolve(PLATFORM), file.getParent().getParent()),
                () -> assertTrue(file.getParent().getFileName().toString().matches("ftd2xx-1\\.2\\.3-[0-9a-f]{16}"),
                        file.toString()),
                () -> assertEquals("FTD2XX.dll", file.getFileName().toString()),
                () -> assertArrayEquals(LIBRARY, loadedBytes.get(0)),
                () -> assertEquals(List.of(file), filesUnder(root), "no temporary file is left"));
    }

    @Test
    void matchingCopyIsReusedWithoutBeingWrittenAgain() throws IOException {
        Path file = extract(LIBRARY, "1.2.3");
        FileTime longAgo = FileTime.fromMillis(0);
        Files.setLastModifiedTime(file, longAgo);

        assertEquals(file, extract(LIBRARY, "1.2.3"));

        assertEquals(longAgo, Files.getLastModifiedTime(file));
    }

    /** A damaged copy is written anew from the jar; the loader never sees the damage. */
    @ParameterizedTest
    @ValueSource(strings = {"truncated", "altered", "emptied"})
    void damagedCopyIsReplacedBeforeLoading(String damage) throws IOException {
        Path file = extract(LIBRARY, "1.2.3");
        byte[] damaged = switch (damage) {
            case "truncated" -> Arrays.copyOf(LIBRARY, LIBRARY.length / 2);
            case "altered" -> {
                byte[] copy = LIBRARY.clone();
                copy[5] ^= 1;
                yield copy;
            }
            default -> new byte[0];
        };
        Files.write(file, damaged);

        assertEquals(file, extract(LIBRARY, "1.2.3"));

        assertArrayEquals(LIBRARY, loadedBytes.get(1));
        assertArrayEquals(LIBRARY, Files.readAllBytes(file));
    }

    /** Threads racing on an empty cache, as JVMs starting together do: each loads a whole copy. */
    @Test
    void extractionsAtTheSameMomentLoadOnlyCompleteCopies() throws Exception {
        byte[] library = new byte[1 << 20];
        for (int i = 0; i < library.length; i++) {
            library[i] = (byte) (i % 251);
        }
        int threads = 8;
        ExecutorService pool = Executors.newFixedThreadPool(threads);
        try {
            for (int round = 0; round < 20; round++) {
                Path cache = root.resolve("round-" + round);
                CyclicBarrier together = new CyclicBarrier(threads);
                List<Future<byte[]>> loads = new ArrayList<>();
                for (int t = 0; t < threads; t++) {
                    loads.add(pool.submit(() -> {
                        together.await();
                        byte[][] seen = new byte[1][];
                        LibraryExtractor.extractAndLoad(new ByteArrayInputStream(library), cache, PLATFORM, "ftd2xx",
                                "1.2.3", "FTD2XX.dll", path -> { }, path -> {
                                    try {
                                        seen[0] = Files.readAllBytes(path);
                                    } catch (IOException e) {
                                        throw new UncheckedIOException(e);
                                    }
                                });
                        return seen[0];
                    }));
                }
                for (Future<byte[]> load : loads) {
                    assertArrayEquals(library, load.get(), "a load saw an incomplete copy");
                }
                assertEquals(1, filesUnder(cache).size(), filesUnder(cache).toString());
            }
        } finally {
            pool.shutdownNow();
        }
    }

    /** Another build's JVM removed the verified copy just before it was loaded. */
    @Test
    void copyRemovedBeforeLoadingIsExtractedAgain() throws IOException {
        List<Path> attempts = new ArrayList<>();

        Path file = LibraryExtractor.extractAndLoad(new ByteArrayInputStream(LIBRARY), root, PLATFORM, "ftd2xx",
                "1.2.3", "FTD2XX.dll", path -> { }, path -> {
                    attempts.add(path);
                    if (attempts.size() == 1) {
                        try {
                            Files.delete(path);
                            Files.delete(path.getParent());
                        } catch (IOException e) {
                            throw new UncheckedIOException(e);
                        }
                        throw new UnsatisfiedLinkError(path + ": cannot open shared object file: No such file");
                    }
                });

        assertEquals(List.of(file, file), attempts);
        assertArrayEquals(LIBRARY, Files.readAllBytes(file));
    }

    @Test
    void rebuildsAndNewVersionsLeaveOneCopyPerLibrary() throws IOException {
        Path other = root.resolve(PLATFORM).resolve("ftdibridge-1.0.0-0123456789abcdef").resolve("ftdibridge.dll");
        Files.createDirectories(other.getParent());
        Files.write(other, LIBRARY);
        Path last = null;
        for (int build = 0; build < 20; build++) {
            byte[] rebuilt = Arrays.copyOf(LIBRARY, LIBRARY.length + 1);
            rebuilt[LIBRARY.length] = (byte) build;
            last = extract(rebuilt, build % 2 == 0 ? "1.2.3" : "1.2.4");
        }

        assertEquals(List.of(last, other).stream().sorted().toList(), filesUnder(root).stream().sorted().toList(),
                "the last build's copy, and the other library's untouched");
    }

    @Test
    void directoryThatIsAFileIsExplainedNamingTheProperty() throws IOException {
        Path notADirectory = Files.writeString(root.resolve("plain-file"), "");

        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class, () ->
                LibraryExtractor.extractAndLoad(new ByteArrayInputStream(LIBRARY), notADirectory, PLATFORM, "ftd2xx",
                        "1.2.3", "FTD2XX.dll", path -> { }, path -> loadedBytes.add(null)));

        assertAll(
                () -> assertTrue(error.getMessage().contains("Could not extract FTD2XX.dll into "
                        + notADirectory.resolve(PLATFORM)), error.getMessage()),
                () -> assertTrue(error.getMessage().contains("-D" + LibraryExtractor.DIRECTORY_PROPERTY + "="),
                        error.getMessage()),
                () -> assertEquals(List.of(), loadedBytes));
    }

    /** Even root cannot write below /proc, so this holds whoever runs the tests. */
    @Test
    @EnabledOnOs(OS.LINUX)
    void readOnlyFileSystemIsExplainedNamingTheProperty() {
        Path readOnly = Paths.get("/proc/self/tamsel-ftdi-cache");

        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class, () ->
                LibraryExtractor.extractAndLoad(new ByteArrayInputStream(LIBRARY), readOnly, PLATFORM, "ftd2xx",
                        "1.2.3", "FTD2XX.dll", path -> { }, path -> loadedBytes.add(null)));

        assertTrue(error.getMessage().contains(readOnly.toString())
                && error.getMessage().contains("-D" + LibraryExtractor.DIRECTORY_PROPERTY + "=<a writable directory>"),
                error.getMessage());
    }
}
