package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayInputStream;
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

    @TempDir
    Path directory;

    private final Map<String, String> properties = new HashMap<>();
    private final Map<String, byte[]> jar = new HashMap<>();
    private final List<String> loaded = new ArrayList<>();  // absolute paths, or "driver NAME"
    private UnsatisfiedLinkError failure;

    @BeforeEach
    void extractIntoTheTestsDirectory() {
        properties.put(LibraryExtractor.DIRECTORY_PROPERTY, directory.resolve("cache").toString());
    }

    private List<String> load(NativeLoader.Library library) {
        new NativeLoader(properties::get, path -> {
            loaded.add(path);
            if (failure != null) {
                throw failure;
            }
        }, name -> jar.containsKey(name) ? new ByteArrayInputStream(jar.get(name)) : null,
                name -> () -> loaded.add("driver " + name), PLATFORM, VERSION, library).load();
        return loaded.stream().map(path -> Path.of(path).getFileName().toString()).toList();
    }

    private String refusal() {
        return assertThrows(UnsatisfiedLinkError.class, () -> load(NativeLoader.MODES)).getMessage();
    }

    private static void assertMentions(String message, String... parts) {
        for (String part : parts) {
            assertTrue(message.contains(part), () -> "no \"" + part + "\" in: " + message);
        }
    }

    private static byte[] libraryOf(String marker, String version) {
        return ("\177ELF..." + marker + version + "\0...").getBytes(StandardCharsets.US_ASCII);
    }

    private Path namedModes(String marker, String version) throws IOException {
        Path modes = Files.write(directory.resolve("libftdimodes.so"), libraryOf(marker, version));
        properties.put(NativeLoader.MODES_PROPERTY, modes.toString());
        return modes;
    }

    @Test
    void bridgeLoadsWithoutAnyModesLibrary() {
        jar.put("native/linux-x86_64/libftdibridge.so", libraryOf(NativeLoader.VERSION_MARKER, VERSION));
        properties.put(NativeLoader.MODES_PROPERTY, directory.resolve("missing.so").toString());

        assertEquals(List.of("libftdibridge.so"), load(NativeLoader.BRIDGE));
    }

    @Test
    void modesLibraryLoadsAloneWithoutLoadingTheDriverAgain() throws IOException {
        namedModes(NativeLoader.MODES_VERSION_MARKER, VERSION);
        properties.put(NativeLoader.DRIVER_PROPERTY, "simulated");

        assertEquals(List.of("libftdimodes.so"), load(NativeLoader.MODES));
    }

    @Test
    void jarsCopyIsExtractedIntoItsOwnFolder() {
        jar.put(BUNDLED_MODES, libraryOf(NativeLoader.MODES_VERSION_MARKER, VERSION));

        assertEquals(List.of("libftdimodes.so"), load(NativeLoader.MODES));
        String folder = Path.of(loaded.get(0)).getParent().getFileName().toString();
        assertTrue(folder.matches("ftdimodes-1\\.2\\.3-[0-9a-f]{16}"), folder);
    }

    @Test
    void namedFileThatIsMissingNamesTheProperty() {
        String missing = directory.resolve("libftdimodes.so").toString();
        properties.put(NativeLoader.MODES_PROPERTY, missing);
        jar.put(BUNDLED_MODES, libraryOf(NativeLoader.MODES_VERSION_MARKER, VERSION));

        assertMentions(refusal(), "-Dnl.tamsel.ftdi.modes=" + missing + " names no file",
                "the modes library's library file");
        assertEquals(List.of(), loaded);
    }

    @Test
    void foundNowhereNamesTheFileThePlatformAndTheProperty() {
        properties.put("java.library.path", directory.toString());

        String message = refusal();

        assertTrue(message.startsWith("Cannot load the modes library (libftdimodes.so) for " + PLATFORM), message);
        assertMentions(message, "has no libftdimodes.so", "this jar has no modes library for " + PLATFORM,
                "-Dnl.tamsel.ftdi.modes=<path to libftdimodes.so>");
        assertFalse(message.contains("bridge"), message);
    }

    /** The bridge's marker is not the modes library's: a bridge passed off as it is refused. */
    @ParameterizedTest
    @CsvSource({"nl.tamsel.ftdi.modes.version=, 0.9.0, version 0.9.0",
        "nl.tamsel.ftdi.bridge.version=, 1.2.3, no version marker"})
    void wrongVersionOrWrongLibraryIsRefused(String marker, String version, String expected) throws IOException {
        Path modes = namedModes(marker, version);

        String message = refusal();

        assertTrue(message.startsWith("The modes library " + modes), message);
        assertMentions(message, expected, "-Dnl.tamsel.ftdi.modes=<path>");
        assertEquals(List.of(), loaded);
    }

    /** The modes library does not link the driver, so a link failure is not blamed on it. */
    @Test
    void linkFailureIsNotExplainedAsAMissingDriver() throws IOException {
        Path modes = namedModes(NativeLoader.MODES_VERSION_MARKER, VERSION);
        failure = new UnsatisfiedLinkError("C:\\x\\ftdimodes.dll: Can't find dependent libraries");

        String message = refusal();

        assertMentions(message, "the modes library could not be loaded from " + modes);
        assertFalse(message.contains("D2XX driver library"), message);
    }

    @ParameterizedTest
    @CsvSource({"linux-aarch64, libftdimodes.so", "macos-x86_64, libftdimodes.dylib",
        "windows-aarch64, ftdimodes.dll"})
    void fileNamesFollowThePlatform(String platform, String file) {
        assertEquals(file, Platform.modesFile(platform));
        assertNotEquals(Platform.bridgeFile(platform), Platform.modesFile(platform));
    }

    @Test
    void builtModesLibraryCarriesTheVersionOfTheseClasses() throws IOException {
        byte[] built = Files.readAllBytes(Path.of(System.getProperty(NativeLoader.MODES_PROPERTY)));
        assertEquals(NativeLoader.javaVersion(), NativeLoader.versionIn(built, NativeLoader.MODES_VERSION_MARKER));
    }
}
