package nl.tamsel.ftdi.usb;

import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import java.util.ServiceLoader;
import java.util.function.Function;
import java.util.function.UnaryOperator;
import nl.tamsel.ftdi.internal.LibraryExtractor;
import nl.tamsel.ftdi.internal.LibraryVersion;
import nl.tamsel.ftdi.internal.NativeAccess;
import nl.tamsel.ftdi.internal.Platform;
import nl.tamsel.ftdi.spi.DriverProvider;

/**
 * Loads the D2XX driver (when one is named) and the JNI bridge, or later the modes library,
 * turning each way this can fail into one {@link UnsatisfiedLinkError} that says what was tried
 * and how to fix it.
 *
 * <p>A library comes from the first of: the file named by its property ({@value #BRIDGE_PROPERTY}
 * or {@value #MODES_PROPERTY}, which must work: nothing else is tried), {@code java.library.path},
 * the copy this jar carries for the platform. Before loading, the library's file must carry its
 * version marker with the version of this Java code.
 */
final class NativeLoader {

    /** Names a D2XX driver file to load before the bridge, or {@value #SIMULATED}. */
    static final String DRIVER_PROPERTY = "nl.tamsel.ftdi.driver";
    /** The driver property's value that selects the simulated driver of ftdi-d2xx-simulator. */
    static final String SIMULATED = "simulated";
    /** The artifact that offers the simulated driver. */
    static final String SIMULATOR_ARTIFACT = "nl.tamsel:ftdi-d2xx-simulator";
    /** Names the bridge's library file; without it the bridge is searched for. */
    static final String BRIDGE_PROPERTY = "nl.tamsel.ftdi.bridge";
    /** The bridge's base name: libftdibridge.so, ftdibridge.dll. */
    static final String BRIDGE_LIBRARY = "ftdibridge";
    /** Precedes the version text compiled into the bridge's file. */
    static final String VERSION_MARKER = "nl.tamsel.ftdi.bridge.version=";

    /** Names the modes library's file; without it the modes library is searched for. */
    static final String MODES_PROPERTY = "nl.tamsel.ftdi.modes";
    /** The modes library's base name: libftdimodes.so, ftdimodes.dll. */
    static final String MODES_LIBRARY = "ftdimodes";
    /** Precedes the version text compiled into the modes library's file. */
    static final String MODES_VERSION_MARKER = "nl.tamsel.ftdi.modes.version=";

    private static final int MAX_VERSION_LENGTH = 64;

    /**
     * One native library this loader can load.
     *
     * @param title what messages call it, after "the"
     * @param shortTitle the shorter name used in remedies
     * @param property the system property that names its file
     * @param stem its base name, which names its extraction folder
     * @param marker the text before its version inside its file
     * @param fileNames its file name on a platform
     * @param linksDriver whether it links to the D2XX driver, so that a missing driver explains
     *        its failure to load; and whether the driver must be loaded before it
     */
    record Library(String title, String shortTitle, String property, String stem, String marker,
            UnaryOperator<String> fileNames, boolean linksDriver) {

        String fileName(String platform) {
            return fileNames.apply(platform);
        }
    }

    /** The JNI bridge of {@link D2XX}, loaded after the driver. */
    static final Library BRIDGE = new Library("JNI bridge", "bridge", BRIDGE_PROPERTY, BRIDGE_LIBRARY,
            VERSION_MARKER, Platform::bridgeFile, true);
    /** The modes library of {@link D2XXModes}, which finds the driver's functions already loaded. */
    static final Library MODES = new Library("modes library", "modes library", MODES_PROPERTY, MODES_LIBRARY,
            MODES_VERSION_MARKER, Platform::modesFile, false);

    /** How the JVM links a native file, separated so the failure paths can be tested. */
    interface Linker {
        void load(String absolutePath);
    }

    private final UnaryOperator<String> properties;
    private final Linker linker;
    private final Function<String, InputStream> resources;
    private final Function<String, Runnable> namedDrivers;
    private final String platform;
    private final String version;
    private final Library library;

    NativeLoader(UnaryOperator<String> properties, Linker linker, Function<String, InputStream> resources,
            Function<String, Runnable> namedDrivers, String platform, String version) {
        this(properties, linker, resources, namedDrivers, platform, version, BRIDGE);
    }

    NativeLoader(UnaryOperator<String> properties, Linker linker, Function<String, InputStream> resources,
            Function<String, Runnable> namedDrivers, String platform, String version, Library library) {
        this.library = library;
        this.properties = properties;
        this.linker = linker;
        this.resources = resources;
        this.namedDrivers = namedDrivers;
        this.platform = platform;
        this.version = version;
    }

    /** Loads the native code as the system properties say. */
    static void loadNativeCode() {
        new NativeLoader(System::getProperty, System::load, NativeLoader.class::getResourceAsStream,
                NativeLoader::namedDriver, Platform.current(), javaVersion()).load();
    }

    /** Loads the modes library as the system properties say; the driver and bridge are loaded already. */
    static void loadModesLibrary() {
        new NativeLoader(System::getProperty, System::load, NativeLoader.class::getResourceAsStream,
                name -> null, Platform.current(), javaVersion(), MODES).load();
    }

    /** The loading of the driver a provider on the class or module path offers by this name, or null. */
    static Runnable namedDriver(String name) {
        for (DriverProvider provider : ServiceLoader.load(DriverProvider.class, NativeLoader.class.getClassLoader())) {
            if (provider.name().equals(name)) {
                return provider::load;
            }
        }
        return null;
    }

    /** The version of these classes, which the bridge must have been built with. */
    static String javaVersion() {
        return LibraryVersion.current();
    }

    /** The path of the library inside the jar, relative to this class's package. */
    String bundledBridge() {
        return "native/" + platform + "/" + bridgeFileName();
    }

    private String bridgeFileName() {
        return library.fileName(platform);
    }

    private String what() {
        return "the " + library.title();
    }

    void load() {
        try {
            loadDriverAndBridge();
        } catch (IllegalCallerException e) {
            throw NativeAccess.denied(NativeLoader.class.getModule(), what(), e);
        }
    }

    private void loadDriverAndBridge() {
        if (library.linksDriver()) {
            loadDriver();
        }
        String named = properties.apply(library.property());
        if (isSet(named)) {
            Path file = existingFile(library.property(), named, what());
            checkVersion(file, file.toString());
            loadNamed(library.property(), file, what());
            return;
        }
        List<UnsatisfiedLinkError> attempts = new ArrayList<>();
        Path onLibraryPath = findOnLibraryPath();
        if (onLibraryPath == null) {
            attempts.add(new UnsatisfiedLinkError("java.library.path (" + properties.apply("java.library.path")
                    + ") has no " + bridgeFileName()));
        } else {
            checkVersion(onLibraryPath, onLibraryPath + " (found on java.library.path)");
            try {
                linker.load(onLibraryPath.toString());
                return;
            } catch (UnsatisfiedLinkError e) {
                throwIfDriverMissing(e);
                attempts.add(attempt(onLibraryPath + " (found on java.library.path) did not load", e));
            }
        }
        InputStream bundled = resources.apply(bundledBridge());
        if (bundled == null) {
            attempts.add(new UnsatisfiedLinkError("this jar has no " + library.shortTitle() + " for " + platform + " (no "
                    + NativeLoader.class.getPackageName().replace('.', '/') + "/" + bundledBridge() + ")"));
        } else {
            try {
                LibraryExtractor.extractAndLoad(bundled, extractionRoot(), platform, library.stem(), version,
                        bridgeFileName(), path -> checkVersion(path, "the copy in this jar"),
                        path -> linker.load(path.toString()));
                return;
            } catch (UnsatisfiedLinkError e) {
                throwIfDriverMissing(e);
                attempts.add(e);
            }
        }
        throw notLoaded(attempts);
    }

    private Path extractionRoot() {
        return LibraryExtractor.cacheRoot(properties, System::getenv);
    }

    private void loadDriver() {
        String driver = properties.apply(DRIVER_PROPERTY);
        if (!isSet(driver)) {
            return;
        }
        Runnable named = namedDrivers.apply(driver);
        if (named != null) {
            named.run();
        } else if (SIMULATED.equals(driver)) {
            throw new UnsatisfiedLinkError("-D" + DRIVER_PROPERTY + "=" + SIMULATED + " selects the simulated D2XX"
                    + " driver, which is not on the class path. Add the artifact " + SIMULATOR_ARTIFACT
                    + " (as a test dependency for tests), or remove the property to use the vendor's driver.");
        } else {
            loadNamed(DRIVER_PROPERTY, existingFile(DRIVER_PROPERTY, driver, "the D2XX driver"), "the D2XX driver");
        }
    }

    private Path findOnLibraryPath() {
        String libraryPath = properties.apply("java.library.path");
        if (!isSet(libraryPath)) {
            return null;
        }
        for (String directory : libraryPath.split(File.pathSeparator)) {
            if (directory.isEmpty()) {
                continue;
            }
            Path candidate = Paths.get(directory, bridgeFileName()).toAbsolutePath();
            if (Files.isRegularFile(candidate)) {
                return candidate;
            }
        }
        return null;
    }

    /** Refuses a library whose file does not carry this code's version. */
    void checkVersion(Path file, String describedAs) {
        String found;
        try {
            found = versionIn(Files.readAllBytes(file), library.marker());
        } catch (IOException e) {
            UnsatisfiedLinkError error = new UnsatisfiedLinkError("Cannot read " + what() + " " + describedAs + ": " + e);
            error.initCause(e);
            throw error;
        }
        if (!version.equals(found)) {
            throw new UnsatisfiedLinkError("The " + library.title() + " " + describedAs + " is "
                    + (found == null ? "of an unknown version (it carries no version marker)" : "version " + found)
                    + ", but these Java classes are version " + version + ". Use the " + library.shortTitle()
                    + " built with them: the one in the ftdi-d2xx " + version + " jar, or name it with -D"
                    + library.property() + "=<path>.");
        }
    }

    /** The bridge's version text after its marker, up to its terminating zero byte, or null. */
    static String versionIn(byte[] library) {
        return versionIn(library, VERSION_MARKER);
    }

    /** The version text after the marker, up to its terminating zero byte, or null. */
    static String versionIn(byte[] library, String markerText) {
        byte[] marker = markerText.getBytes(StandardCharsets.US_ASCII);
        outer:
        for (int i = 0; i <= library.length - marker.length; i++) {
            for (int j = 0; j < marker.length; j++) {
                if (library[i + j] != marker[j]) {
                    continue outer;
                }
            }
            int start = i + marker.length;
            int end = start;
            while (end < library.length && library[end] != 0 && end - start < MAX_VERSION_LENGTH) {
                end++;
            }
            return new String(library, start, end - start, StandardCharsets.US_ASCII);
        }
        return null;
    }

    private UnsatisfiedLinkError notLoaded(List<UnsatisfiedLinkError> attempts) {
        StringBuilder message = new StringBuilder("Cannot load " + what() + " (" + bridgeFileName() + ") for "
                + platform + ". Tried:");
        for (int i = 0; i < attempts.size(); i++) {
            message.append(' ').append(i + 1).append(") ").append(attempts.get(i).getMessage());
        }
        message.append(" Name the ").append(library.shortTitle()).append("'s file with -D")
                .append(library.property()).append("=<path to ")
                .append(bridgeFileName()).append(">, or add its directory to java.library.path.");
        UnsatisfiedLinkError error = new UnsatisfiedLinkError(message.toString());
        attempts.forEach(error::addSuppressed);
        return error;
    }

    private static UnsatisfiedLinkError attempt(String what, UnsatisfiedLinkError e) {
        UnsatisfiedLinkError error = new UnsatisfiedLinkError(what + ": " + e.getMessage());
        error.initCause(e);
        return error;
    }

    private static Path existingFile(String property, String path, String what) {
        File file = new File(path);
        if (!file.isFile()) {
            throw new UnsatisfiedLinkError("-D" + property + "=" + path + " names no file; it must name "
                    + what + "'s library file. Correct or remove that property.");
        }
        return file.toPath().toAbsolutePath();
    }

    private void loadNamed(String property, Path file, String what) {
        try {
            linker.load(file.toString());
        } catch (UnsatisfiedLinkError e) {
            throwIfDriverMissing(e);
            throw explained(e, what + " could not be loaded from " + file + " (named by -D" + property
                    + "). Check that the file is a native library for " + platform + ".");
        }
    }

    /** Only a library linked to the driver fails to load for want of it. */
    private void throwIfDriverMissing(UnsatisfiedLinkError e) {
        if (library.linksDriver() && isDriverMissing(e)) {
            throw explained(e, driverMissingMessage(platform));
        }
    }

    private static UnsatisfiedLinkError explained(UnsatisfiedLinkError e, String message) {
        UnsatisfiedLinkError explained = new UnsatisfiedLinkError(message + " Cause: " + e.getMessage());
        explained.initCause(e);
        return explained;
    }

    static boolean isDriverMissing(UnsatisfiedLinkError e) {
        String message = String.valueOf(e.getMessage()).toLowerCase(Locale.ROOT);
        // Linux and macOS name the missing dependency; Windows only says a dependency is missing, and
        // the bridge's only dependency outside the system is the driver.
        return message.contains("libftd2xx") || message.contains("ftd2xx.dll")
                || message.contains("can't find dependent libraries");
    }

    static String driverMissingMessage(String platform) {
        String driver = Platform.driverFile(platform);
        String install = platform.startsWith("windows-")
                ? "install FTDI's D2XX driver package, which puts " + driver + " in the Windows system folder"
                        + " where every program finds it"
                : "put " + driver + " where the dynamic linker finds it (e.g. /usr/local/lib)"
                        + (platform.startsWith("macos-") ? "" : " and run ldconfig");
        return "FTDI's D2XX driver library (" + driver + ") is missing, so the JNI bridge cannot be loaded."
                + " To use real devices, " + install + ". To work without hardware, use the simulated driver:"
                + " add " + SIMULATOR_ARTIFACT + " to the class path and set -D" + DRIVER_PROPERTY + "=" + SIMULATED
                + " (or -D" + DRIVER_PROPERTY + "=<path to the simulated " + driver + ">).";
    }

    private static boolean isSet(String value) {
        return value != null && !value.isBlank();
    }
}
