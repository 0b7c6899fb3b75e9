package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/** Which files the loader loads, in which order, and what its failures say. */
class NativeLoaderTest {

    @TempDir
    Path directory;

    private final Map<String, String> properties = new HashMap<>();
    private final List<String> loaded = new ArrayList<>();
    private UnsatisfiedLinkError failure;

    private final NativeLoader.Linker linker = new NativeLoader.Linker() {
        @Override
        public void load(String absolutePath) {
            loaded.add("load " + absolutePath);
            if (failure != null && absolutePath.endsWith("bridge.so")) {
                throw failure;
            }
        }

        @Override
        public void loadLibrary(String name) {
            loaded.add("loadLibrary " + name);
            if (failure != null) {
                throw failure;
            }
        }
    };

    private void load() {
        NativeLoader.loadNativeCode(properties::get, linker);
    }

    private String file(String name) throws IOException {
        return Files.createFile(directory.resolve(name)).toString();
    }

    @Test
    void withoutPropertiesTheBridgeComesFromTheLibraryPath() {
        load();
        assertEquals(List.of("loadLibrary ftdibridge"), loaded);
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
    void namedDriverAloneIsFollowedByTheBridgeFromTheLibraryPath() throws IOException {
        String driver = file("libftd2xx.so");
        properties.put(NativeLoader.DRIVER_PROPERTY, driver);
        load();
        assertEquals(List.of("load " + driver, "loadLibrary ftdibridge"), loaded);
    }

    @ParameterizedTest
    @ValueSource(strings = {NativeLoader.DRIVER_PROPERTY, NativeLoader.BRIDGE_PROPERTY})
    void propertyNamingNoFileFailsAtOnceNamingTheProperty(String property) {
        String missing = directory.resolve("missing.so").toString();
        properties.put(property, missing);

        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class, this::load);

        assertTrue(error.getMessage().contains("-D" + property + "=" + missing), error.getMessage());
        assertEquals(List.of(), loaded);
    }

    /** How a missing driver shows on Linux (dependency named) and on Windows (not named). */
    @ParameterizedTest
    @ValueSource(strings = {
        "/opt/x/libftdibridge.so: libftd2xx.so: cannot open shared object file: No such file or directory",
        "C:\\x\\ftdibridge.dll: Can't find dependent libraries"})
    void missingDriverIsExplainedWithBothRemedies(String linkerMessage) {
        failure = new UnsatisfiedLinkError(linkerMessage);

        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class, this::load);

        String message = error.getMessage();
        assertAll(
                () -> assertTrue(message.contains("D2XX driver"), message),
                () -> assertTrue(message.contains("/usr/local/lib") && message.contains("ldconfig"), message),
                () -> assertTrue(message.contains("FTDI's D2XX driver package"), message),
                () -> assertTrue(message.contains("-Dnl.tamsel.ftdi.driver=<path to the simulated libftd2xx.so>"),
                        message),
                () -> assertSame(failure, error.getCause()));
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
    void bridgeMissingFromTheLibraryPathNamesTheBridgeProperty() {
        failure = new UnsatisfiedLinkError("no ftdibridge in java.library.path: /usr/lib");

        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class, this::load);

        assertTrue(error.getMessage().contains("-D" + NativeLoader.BRIDGE_PROPERTY + "="), error.getMessage());
        assertTrue(!error.getMessage().contains("ldconfig"), "not a driver problem: " + error.getMessage());
        assertSame(failure, error.getCause());
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
