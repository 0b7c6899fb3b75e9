package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.stream.Stream;
import nl.tamsel.ftdi.internal.LibraryExtractor;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.ValueSource;

/** Which files the loader loads, in which order, and what its failures say. */
class NativeLoaderTest {

    private static final String VERSION = "1.2.3";
    private static final String PLATFORM = "linux-x86_64";
    private static final String BUNDLED = "native/linux-x86_64/libftdibridge.so";

    @TempDir
    Path directory;

    private final Map<String, String> properties = new HashMap<>();
    private final Map<String, byte[]> jar = new HashMap<>();
    private final List<String> loaded = new ArrayList<>();
    /** What each loaded file held when it was loaded. */
    private final List<byte[]> loadedBytes = new ArrayList<>();
    private UnsatisfiedLinkError failure;

    private final NativeLoader.Linker linker = absolutePath -> {
        loaded.add("load " + absolutePath);
        try {
            loadedBytes.add(Files.readAllBytes(Path.of(absolutePath)));
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        }
        if (failure != null && absolutePath.contains("bridge")) {
            throw failure;
        }
    };

    /** Nothing a test extracts lands in the user's own cache. */
    @BeforeEach
    void extractIntoTheTestsDirectory() {
        properties.put(LibraryExtractor.DIRECTORY_PROPERTY, directory.resolve("cache").toString());
    }

    private void load() {
        new NativeLoader(properties::get, linker, this::resource,
                name -> name.equals("simulated") ? () -> loaded.add("simulated driver") : null, PLATFORM, VERSION).load();
    }

    private InputStream resource(String name) {
        byte[] bytes = jar.get(name);
        return bytes == null ? null : new ByteArrayInputStream(bytes);
    }

    private static byte[] bridgeOfVersion(String version) {
        return ("\177ELF...code..." + NativeLoader.VERSION_MARKER + version + "\0...more")
                .getBytes(StandardCharsets.US_ASCII);
    }

    private String file(String name, byte[] contents) throws IOException {
        return Files.write(directory.resolve(name), contents).toString();
    }

    private String file(String name) throws IOException {
        return file(name, bridgeOfVersion(VERSION));
    }

    private Path libraryPathWithBridge() throws IOException {
        Path libraryPath = Files.createDirectory(directory.resolve("lib"));
        Files.write(libraryPath.resolve("libftdibridge.so"), bridgeOfVersion(VERSION));
        properties.put("java.library.path", directory.resolve("empty") + java.io.File.pathSeparator + libraryPath);
        return libraryPath;
    }

    private Path extractionDirectory() throws IOException {
        Path extractTo = Files.createDirectory(directory.resolve("extract"));
        properties.put(LibraryExtractor.DIRECTORY_PROPERTY, extractTo.toString());
        return extractTo;
    }

    @Test
    void namedDriverIsLoadedBeforeTheNamedBridge() throws IOException {
        String driver = file("libftd2xx.so");
        String bridge = file("libftdibridge.so");
        properties.put(NativeLoader.DRIVER_PROPERTY, driver);
        properties.put(NativeLoader.BRIDGE_PROPERTY, bridge);

        load();

        assertEquals(List.of("load " + driver, "load " + bridge), loaded);
    }

    @Test
    void simulatedDriverIsLoadedBeforeTheBridge() throws IOException {
        String bridge = file("libftdibridge.so");
        properties.put(NativeLoader.DRIVER_PROPERTY, "simulated");
        properties.put(NativeLoader.BRIDGE_PROPERTY, bridge);

        load();

        assertEquals(List.of("simulated driver", "load " + bridge), loaded);
    }

    @Test
    void simulatedWithoutTheSimulatorNamesTheArtifactToAdd() throws IOException {
        properties.put(NativeLoader.DRIVER_PROPERTY, "simulated");
        properties.put(NativeLoader.BRIDGE_PROPERTY, file("libftdibridge.so"));

        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class,
                () -> new NativeLoader(properties::get, linker, this::resource, name -> null, PLATFORM, VERSION).load());

        assertTrue(error.getMessage().contains("nl.tamsel:ftdi-d2xx-simulator"), error.getMessage());
        assertEquals(List.of(), loaded, "nothing is loaded without the driver");
    }

    @Test
    void bridgeComesFromTheLibraryPathBeforeTheJar() throws IOException {
        Path libraryPath = libraryPathWithBridge();
        jar.put(BUNDLED, bridgeOfVersion(VERSION));
        String driver = file("libftd2xx.so");
        properties.put(NativeLoader.DRIVER_PROPERTY, driver);

        load();

        assertEquals(List.of("load " + driver, "load " + libraryPath.resolve("libftdibridge.so")), loaded);
    }

    @Test
    void withoutLibraryPathTheJarsCopyIsExtractedIntoTheCacheOnceAndReused() throws IOException {
        Path extractTo = extractionDirectory();
        byte[] bridge = bridgeOfVersion(VERSION);
        jar.put(BUNDLED, bridge);

        load();
        load();

        assertEquals(2, loaded.size());
        assertEquals(loaded.get(0), loaded.get(1), "the second JVM start reuses the first one's copy");
        Path file = Path.of(loaded.get(0).substring("load ".length()));
        assertEquals(extractTo.resolve(PLATFORM), file.getParent().getParent());
        assertTrue(file.getParent().getFileName().toString().matches("ftdibridge-1\\.2\\.3-[0-9a-f]{16}"),
                file.toString());
        assertEquals("libftdibridge.so", file.getFileName().toString());
        assertArrayEquals(bridge, loadedBytes.get(0));
    }

    @Test
    void withoutAnExtractionDirectoryTheUsersCacheIsUsed() throws IOException {
        properties.remove(LibraryExtractor.DIRECTORY_PROPERTY);
        properties.put("os.name", "Mac OS X");
        properties.put("user.home", directory.toString());
        jar.put(BUNDLED, bridgeOfVersion(VERSION));

        load();

        assertTrue(loaded.get(0).startsWith("load " + directory.resolve("Library").resolve("Caches")
                .resolve("tamsel-ftdi").resolve(PLATFORM)), loaded.toString());
    }

    /** Denied native access names the flag for code on the class path, where these tests run. */
    @Test
    void deniedNativeAccessNamesTheFlagToAdd() throws IOException {
        properties.put(NativeLoader.BRIDGE_PROPERTY, file("libftdibridge.so"));
        IllegalCallerException denied = new IllegalCallerException("Illegal native access from an unnamed module");

        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class, () -> new NativeLoader(properties::get,
                path -> {
                    throw denied;
                }, this::resource, name -> null, PLATFORM, VERSION).load());

        assertTrue(error.getMessage().contains("Start java with --enable-native-access=ALL-UNNAMED"),
                error.getMessage());
        assertSame(denied, error.getCause());
    }

    @ParameterizedTest
    @ValueSource(strings = {NativeLoader.DRIVER_PROPERTY, NativeLoader.BRIDGE_PROPERTY})
    void propertyNamingNoFileFailsAtOnceNamingTheProperty(String property) {
        String missing = directory.resolve("missing.so").toString();
        properties.put(property, missing);
        jar.put(BUNDLED, bridgeOfVersion(VERSION));

        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class, this::load);

        assertTrue(error.getMessage().contains("-D" + property + "=" + missing), error.getMessage());
        assertEquals(List.of(), loaded);
    }

    /** A bridge of another version is refused wherever it was found, and nothing else is tried. */
    @ParameterizedTest
    @ValueSource(strings = {"0.9.0", ""})
    void bridgeOfAnotherVersionIsRefusedNamingBothVersions(String otherVersion) throws IOException {
        byte[] other = otherVersion.isEmpty() ? "\177ELF no marker".getBytes(StandardCharsets.US_ASCII)
                : bridgeOfVersion(otherVersion);
        Path libraryPath = libraryPathWithBridge();
        Files.write(libraryPath.resolve("libftdibridge.so"), other);
        jar.put(BUNDLED, bridgeOfVersion(VERSION));

        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class, this::load);

        String message = error.getMessage();
        assertAll(
                () -> assertTrue(message.contains(otherVersion.isEmpty() ? "no version marker" : "version 0.9.0"),
                        message),
                () -> assertTrue(message.contains("version " + VERSION), message),
                () -> assertTrue(message.contains(libraryPath.toString()), message),
                () -> assertEquals(List.of(), loaded));
    }

    @Test
    void namedBridgeOfAnotherVersionIsRefused() throws IOException {
        properties.put(NativeLoader.BRIDGE_PROPERTY, file("libftdibridge.so", bridgeOfVersion("2.0.0")));

        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class, this::load);

        assertTrue(error.getMessage().contains("version 2.0.0") && error.getMessage().contains(VERSION),
                error.getMessage());
        assertEquals(List.of(), loaded);
    }

    @Test
    void versionIsReadUpToItsTerminatorOrTheFilesEnd() {
        assertAll(
                () -> assertEquals("1.2.3", NativeLoader.versionIn(bridgeOfVersion("1.2.3"))),
                () -> assertEquals("4.5", NativeLoader.versionIn(
                        ("xx" + NativeLoader.VERSION_MARKER + "4.5").getBytes(StandardCharsets.US_ASCII))),
                () -> assertNull(NativeLoader.versionIn("nl.tamsel.ftdi.bridge.vers".getBytes(StandardCharsets.US_ASCII))));
    }

    /** The bridge the build made carries the version of these classes. */
    @Test
    void builtBridgeCarriesTheVersionOfTheseClasses() throws IOException {
        byte[] built = Files.readAllBytes(Path.of(System.getProperty(NativeLoader.BRIDGE_PROPERTY)));
        assertEquals(NativeLoader.javaVersion(), NativeLoader.versionIn(built));
    }

    /** How a missing driver shows on Linux (dependency named) and on Windows (not named). */
    @ParameterizedTest
    @ValueSource(strings = {
        "/opt/x/libftdibridge.so: libftd2xx.so: cannot open shared object file: No such file or directory",
        "C:\\x\\ftdibridge.dll: Can't find dependent libraries"})
    void missingDriverIsExplainedWithBothRemedies(String linkerMessage) throws IOException {
        libraryPathWithBridge();
        jar.put(BUNDLED, bridgeOfVersion(VERSION));
        failure = new UnsatisfiedLinkError(linkerMessage);

        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class, this::load);

        String message = error.getMessage();
        assertAll(
                () -> assertTrue(message.contains("D2XX driver library (libftd2xx.so)"), message),
                () -> assertTrue(message.contains("/usr/local/lib") && message.contains("ldconfig"), message),
                () -> assertTrue(message.contains("-Dnl.tamsel.ftdi.driver=simulated"), message),
                () -> assertTrue(message.contains("ftdi-d2xx-simulator"), message),
                () -> assertSame(failure, error.getCause()),
                () -> assertEquals(1, loaded.size(), "the jar's copy would miss the driver too"));
    }

    /** Each platform's message names that platform's files and remedy, and no other's. */
    @ParameterizedTest
    @CsvSource({
        "windows-x86_64, FTD2XX.dll, FTDI's D2XX driver package, libftd2xx",
        "linux-aarch64, libftd2xx.so, ldconfig, FTD2XX.dll",
        "macos-aarch64, libftd2xx.dylib, /usr/local/lib, ldconfig"})
    void missingDriverMessageNamesThePlatformsFiles(String platform, String file, String remedy, String foreign) {
        String message = NativeLoader.driverMissingMessage(platform);

        assertAll(
                () -> assertTrue(message.contains("D2XX driver library (" + file + ")"), message),
                () -> assertTrue(message.contains("the simulated " + file), message),
                () -> assertTrue(message.contains("nl.tamsel:ftdi-d2xx-simulator"), message),
                () -> assertTrue(message.contains(remedy), message),
                () -> assertFalse(message.contains(foreign), message));
    }

    @Test
    void missingDriverBehindANamedBridgeIsExplainedToo() throws IOException {
        properties.put(NativeLoader.BRIDGE_PROPERTY, file("libftdibridge.so"));
        failure = new UnsatisfiedLinkError("libftd2xx.so: cannot open shared object file");

        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class, this::load);

        assertTrue(error.getMessage().contains("ldconfig"), error.getMessage());
        assertSame(failure, error.getCause());
    }

    @Test
    void bridgeFoundNowhereIsOneErrorNamingPlatformAttemptsAndProperty() {
        properties.put("java.library.path", directory.toString());

        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class, this::load);

        String message = error.getMessage();
        assertAll(
                () -> assertTrue(message.contains(PLATFORM), message),
                () -> assertTrue(message.contains("java.library.path (" + directory + ") has no libftdibridge.so"),
                        message),
                () -> assertTrue(message.contains("this jar has no bridge for " + PLATFORM), message),
                () -> assertTrue(message.contains("-D" + NativeLoader.BRIDGE_PROPERTY + "="), message),
                () -> assertFalse(message.contains("ldconfig"), "not a driver problem: " + message),
                () -> assertEquals(2, error.getSuppressed().length));
    }

    @Test
    void failedLoadFromTheLibraryPathIsFollowedByTheJarsCopy() throws IOException {
        Path libraryPath = libraryPathWithBridge();
        extractionDirectory();
        jar.put(BUNDLED, bridgeOfVersion(VERSION));
        failure = new UnsatisfiedLinkError("wrong ELF class: ELFCLASS32");

        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class, this::load);

        assertEquals(2, loaded.size(), loaded.toString());
        assertTrue(error.getMessage().contains(libraryPath.resolve("libftdibridge.so") + " (found on java.library.path)"),
                error.getMessage());
        assertEquals(List.of("wrong ELF class: ELFCLASS32", "wrong ELF class: ELFCLASS32"),
                Arrays.stream(error.getSuppressed()).map(e -> rootCause(e).getMessage()).toList());
    }

    private static Throwable rootCause(Throwable e) {
        return e.getCause() == null ? e : rootCause(e.getCause());
    }

    @Test
    void unwritableExtractionDirectoryNamesTheDirectoryProperty() throws IOException {
        String notADirectory = Path.of(file("plain-file")).resolve("extract").toString();
        properties.put(LibraryExtractor.DIRECTORY_PROPERTY, notADirectory);
        jar.put(BUNDLED, bridgeOfVersion(VERSION));

        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class, this::load);

        assertTrue(error.getMessage().contains("Could not extract libftdibridge.so into " + notADirectory),
                error.getMessage());
        assertTrue(error.getMessage().contains("-D" + LibraryExtractor.DIRECTORY_PROPERTY + "=<a writable directory>"),
                error.getMessage());
        assertEquals(List.of(), loaded);
    }

    /** How glibc reports a library on a file system mounted noexec, with and without errno text. */
    @ParameterizedTest
    @ValueSource(strings = {"failed to map segment from shared object",
        "failed to map segment from shared object: Operation not permitted"})
    void extractionDirectoryWithoutExecuteRightsIsExplained(String linkerMessage) throws IOException {
        Path extractTo = extractionDirectory();
        jar.put(BUNDLED, bridgeOfVersion(VERSION));
        failure = new UnsatisfiedLinkError("/x/libftdibridge-1.so: " + linkerMessage);

        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class, this::load);

        String message = error.getMessage();
        assertAll(
                () -> assertTrue(message.contains("extracted into " + extractTo.resolve(PLATFORM)), message),
                () -> assertTrue(message.contains("noexec"), message),
                () -> assertTrue(message.contains("-D" + LibraryExtractor.DIRECTORY_PROPERTY + "="), message),
                () -> assertSame(failure, rootCause(error.getSuppressed()[1])));
    }

    @Test
    void namedBridgeThatCannotBeLoadedNamesItsProperty() throws IOException {
        String bridge = file("libftdibridge.so");
        properties.put(NativeLoader.BRIDGE_PROPERTY, bridge);
        failure = new UnsatisfiedLinkError(bridge + ": invalid ELF header");

        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class, this::load);

        assertTrue(error.getMessage().contains(NativeLoader.BRIDGE_PROPERTY), error.getMessage());
        assertSame(failure, error.getCause());
    }
}
