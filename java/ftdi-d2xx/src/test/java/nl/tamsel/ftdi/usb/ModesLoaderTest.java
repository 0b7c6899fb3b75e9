package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayInputStream;
import java.io.InputStream;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import nl.tamsel.ftdi.internal.LibraryExtractor;
import nl.tamsel.ftdi.internal.Platform;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** How the modes library is found, and that the bridge neither needs nor loads it. */
class ModesLoaderTest {

    private static final String VERSION = "1.2.3";
    private static final String PLATFORM = "linux-x86_64";
    private static final String BUNDLED_MODES = "native/linux-x86_64/libftdimodes.so";
    private static final String BUNDLED_BRIDGE = "native/linux-x86_64/libftdibridge.so";

    @TempDir
    Path directory;

    private final Map<String, String> properties = new HashMap<>();
    private final Map<String, byte[]> jar = new HashMap<>();
    private final List<String> loaded = new ArrayList<>();
    private UnsatisfiedLinkError failure;

    private final NativeLoader.Linker linker = absolutePath -> {
        loaded.add(Path.of(absolutePath).getFileName().toString());
        if (failure != null) {
            throw failure;
        }
    };

    @BeforeEach
    void extractIntoTheTestsDirectory() {
        properties.put(LibraryExtractor.DIRECTORY_PROPERTY, directory.resolve("cache").toString());
    }

    private void load(NativeLoader.Library library) {
        new NativeLoader(properties::get, linker, this::resource,
                name -> () -> loaded.add("driver " + name), PLATFORM, VERSION, library).load();
    }

    private InputStream resource(String name) {
        byte[] bytes = jar.get(name);
        return bytes == null ? null : new ByteArrayInputStream(bytes);
    }

    private static byte[] libraryOf(String marker, String version) {
        return ("\177ELF..." + marker + version + "\0...").getBytes(StandardCharsets.US_ASCII);
    }

    private static byte[] modesOf(String version) {
        return libraryOf(NativeLoader.MODES_VERSION_MARKER, version);
    }

    /** The bridge loads from the jar when the jar has no modes library: nothing asks for it. */
    @Test
    void bridgeLoadsWithoutAnyModesLibrary() {
        jar.put(BUNDLED_BRIDGE, libraryOf(NativeLoader.VERSION_MARKER, VERSION));
        properties.put(NativeLoader.MODES_PROPERTY, directory.resolve("missing.so").toString());

        load(NativeLoader.BRIDGE);

        assertEquals(List.of("libftdibridge.so"), loaded);
    }

    @Test
    void modesLibraryLoadsAloneWithoutLoadingTheDriverAgain() throws IOException {
        Path modes = Files.write(directory.resolve("libftdimodes.so"), modesOf(VERSION));
        properties.put(NativeLoader.MODES_PROPERTY, modes.toString());
        properties.put(NativeLoader.DRIVER_PROPERTY, "simulated");

        load(NativeLoader.MODES);

        assertEquals(List.of("libftdimodes.so"), loaded);
    }

    @Test
    void jarsCopyIsExtractedIntoItsOwnFolder() {
        jar.put(BUNDLED_MODES, modesOf(VERSION));
        List<String> paths = new ArrayList<>();

        new NativeLoader(properties::get, paths::add, this::resource, name -> null, PLATFORM, VERSION,
                NativeLoader.MODES).load();

        Path file = Path.of(paths.get(0));
        assertEquals("libftdimodes.so", file.getFileName().toString());
        assertTrue(file.getParent().getFileName().toString().matches("ftdimodes-1\\.2\\.3-[0-9a-f]{16}"),
                file.toString());
    }

    @Test
    void namedFileThatIsMissingNamesTheProperty() {
        String missing = directory.resolve("libftdimodes.so").toString();
        properties.put(NativeLoader.MODES_PROPERTY, missing);
        jar.put(BUNDLED_MODES, modesOf(VERSION));

        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class, () -> load(NativeLoader.MODES));

        assertTrue(error.getMessage().contains("-Dnl.tamsel.ftdi.modes=" + missing + " names no file"),
                error.getMessage());
        assertTrue(error.getMessage().contains("the modes library's library file"), error.getMessage());
        assertEquals(List.of(), loaded);
    }

    @Test
    void foundNowhereNamesTheFileThePlatformAndTheProperty() {
        properties.put("java.library.path", directory.toString());

        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class, () -> load(NativeLoader.MODES));

        String message = error.getMessage();
        assertAll(
                () -> assertTrue(message.startsWith("Cannot load the modes library (libftdimodes.so) for " + PLATFORM),
                        message),
                () -> assertTrue(message.contains("has no libftdimodes.so"), message),
                () -> assertTrue(message.contains("this jar has no modes library for " + PLATFORM), message),
                () -> assertTrue(message.contains("-Dnl.tamsel.ftdi.modes=<path to libftdimodes.so>"), message),
                () -> assertFalse(message.contains("bridge"), message));
    }

    /** The bridge's marker is not the modes library's: a bridge passed off as it is refused. */
    @ParameterizedTest
    @CsvSource({"nl.tamsel.ftdi.modes.version=, 0.9.0, version 0.9.0",
        "nl.tamsel.ftdi.bridge.version=, 1.2.3, no version marker"})
    void wrongVersionOrWrongLibraryIsRefused(String marker, String version, String expected) throws IOException {
        Path modes = Files.write(directory.resolve("libftdimodes.so"), libraryOf(marker, version));
        properties.put(NativeLoader.MODES_PROPERTY, modes.toString());

        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class, () -> load(NativeLoader.MODES));

        assertTrue(error.getMessage().startsWith("The modes library " + modes), error.getMessage());
        assertTrue(error.getMessage().contains(expected), error.getMessage());
        assertTrue(error.getMessage().contains("-Dnl.tamsel.ftdi.modes=<path>"), error.getMessage());
        assertEquals(List.of(), loaded);
    }

    /** The modes library does not link the driver, so a link failure is not blamed on it. */
    @Test
    void linkFailureIsNotExplainedAsAMissingDriver() throws IOException {
        Path modes = Files.write(directory.resolve("libftdimodes.so"), modesOf(VERSION));
        properties.put(NativeLoader.MODES_PROPERTY, modes.toString());
        failure = new UnsatisfiedLinkError("C:\\x\\ftdimodes.dll: Can't find dependent libraries");

        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class, () -> load(NativeLoader.MODES));

        assertTrue(error.getMessage().contains("the modes library could not be loaded from " + modes),
                error.getMessage());
        assertFalse(error.getMessage().contains("D2XX driver library"), error.getMessage());
    }

    @Test
    void versionIsReadAfterTheGivenMarkerOnly() {
        byte[] both = (NativeLoader.VERSION_MARKER + "1.0\0" + NativeLoader.MODES_VERSION_MARKER + "2.0\0")
                .getBytes(StandardCharsets.US_ASCII);
        assertAll(
                () -> assertEquals("1.0", NativeLoader.versionIn(both)),
                () -> assertEquals("2.0", NativeLoader.versionIn(both, NativeLoader.MODES_VERSION_MARKER)),
                () -> assertNull(NativeLoader.versionIn(modesOf("1.0"), NativeLoader.VERSION_MARKER)));
    }

    @ParameterizedTest
    @CsvSource({"linux-aarch64, libftdimodes.so", "macos-x86_64, libftdimodes.dylib",
        "windows-aarch64, ftdimodes.dll"})
    void fileNamesFollowThePlatform(String platform, String file) {
        assertEquals(file, Platform.modesFile(platform));
        assertNotEquals(Platform.bridgeFile(platform), Platform.modesFile(platform));
    }

    /** The modes library the build made carries the version of these classes. */
    @Test
    void builtModesLibraryCarriesTheVersionOfTheseClasses() throws IOException {
        byte[] built = Files.readAllBytes(Path.of(System.getProperty(NativeLoader.MODES_PROPERTY)));
        assertEquals(NativeLoader.javaVersion(), NativeLoader.versionIn(built, NativeLoader.MODES_VERSION_MARKER));
    }
}
