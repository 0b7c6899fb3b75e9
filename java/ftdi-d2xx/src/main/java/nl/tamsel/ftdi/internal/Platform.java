package nl.tamsel.ftdi.internal;

import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.Locale;

/**
 * Names the platform this JVM runs on the way the jar's native folders are named, and the file
 * names of the native libraries there.
 *
 * <p>32-bit ARM is shipped for the hard-float ABI only ({@code linux-armhf}). Some 32-bit ARM
 * JVMs name their ABI in the system property {@code sun.arch.abi} ({@code gnueabihf} or
 * {@code gnueabi}); others, Debian's OpenJDK among them, leave it empty, and then the presence
 * of the hard-float dynamic loader {@code /lib/ld-linux-armhf.so.3}, which every armhf Linux
 * has and a soft-float one lacks, decides.
 */
public final class Platform {

    /** Every platform the jar carries native files for. */
    public static final List<String> SHIPPED = List.of("linux-x86_64", "linux-aarch64", "linux-armhf",
            "macos-x86_64", "macos-aarch64", "windows-x86_64", "windows-aarch64");

    private static final Path HARD_FLOAT_LOADER = Path.of("/lib/ld-linux-armhf.so.3");

    private Platform() {
    }

    /**
     * The folder name of this platform's native files, such as {@code linux-x86_64} or
     * {@code windows-x86_64}.
     *
     * @return operating system and architecture, joined by a dash
     * @throws UnsatisfiedLinkError when the jar carries nothing for this platform; the message
     *         names it and lists those it carries
     */
    public static String current() {
        String arch = System.getProperty("os.arch", "");
        boolean hardFloat = arch.equals("arm") && isHardFloat(System.getProperty("sun.arch.abi"));
        return of(System.getProperty("os.name", ""), arch, hardFloat);
    }

    static boolean isHardFloat(String abi) {
        return abi == null || abi.isEmpty() ? Files.exists(HARD_FLOAT_LOADER) : abi.endsWith("hf");
    }

    static String of(String osName, String osArch, boolean armHardFloat) {
        String name = name(osName, osArch, armHardFloat);
        if (!SHIPPED.contains(name)) {
            throw new UnsatisfiedLinkError("This jar has no native code for " + name + " (os.name " + osName
                    + ", os.arch " + osArch + "); it carries " + String.join(", ", SHIPPED));
        }
        return name;
    }

    private static String name(String osName, String osArch, boolean armHardFloat) {
        String os = osName.toLowerCase(Locale.ROOT);
        if (os.startsWith("windows")) {
            os = "windows";
        } else if (os.startsWith("mac")) {
            os = "macos";
        } else {
            os = os.replaceAll("[^a-z0-9]", "");
        }
        String arch = switch (osArch.toLowerCase(Locale.ROOT)) {
            case "amd64", "x86_64", "x64" -> "x86_64";
            case "arm64", "aarch64" -> "aarch64";
            case "arm" -> armHardFloat ? "armhf" : "armel";
            default -> osArch.toLowerCase(Locale.ROOT).replaceAll("[^a-z0-9_]", "");
        };
        return os + "-" + arch;
    }

    /**
     * The JNI bridge's file name on a platform.
     *
     * @param platform a platform folder name, such as {@code linux-x86_64}
     * @return {@code ftdibridge.dll}, {@code libftdibridge.dylib} or {@code libftdibridge.so}
     */
    public static String bridgeFile(String platform) {
        return libraryFile(platform, "ftdibridge", "ftdibridge.dll");
    }

    /**
     * The modes library's file name on a platform.
     *
     * @param platform a platform folder name, such as {@code linux-x86_64}
     * @return {@code ftdimodes.dll}, {@code libftdimodes.dylib} or {@code libftdimodes.so}
     */
    public static String modesFile(String platform) {
        return libraryFile(platform, "ftdimodes", "ftdimodes.dll");
    }

    /**
     * The D2XX driver's file name on a platform, which the simulated driver shares.
     *
     * @param platform a platform folder name, such as {@code windows-x86_64}
     * @return {@code FTD2XX.dll}, {@code libftd2xx.dylib} or {@code libftd2xx.so}
     */
    public static String driverFile(String platform) {
        return libraryFile(platform, "ftd2xx", "FTD2XX.dll");
    }

    private static String libraryFile(String platform, String base, String windowsName) {
        if (platform.startsWith("windows-")) {
            return windowsName;
        }
        return "lib" + base + (platform.startsWith("macos-") ? ".dylib" : ".so");
    }
}
