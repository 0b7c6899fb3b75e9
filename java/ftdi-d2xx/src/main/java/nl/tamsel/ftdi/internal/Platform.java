package nl.tamsel.ftdi.internal;

import java.util.Locale;

/** Names the platform this JVM runs on the way the jar's native folders are named. */
public final class Platform {

    private Platform() {
    }

    /**
     * The folder name of this platform's native files, such as {@code linux-x86_64} or
     * {@code windows-x86_64}.
     *
     * @return operating system and architecture, joined by a dash
     */
    public static String current() {
        return of(System.getProperty("os.name", ""), System.getProperty("os.arch", ""));
    }

    static String of(String osName, String osArch) {
        String os = osName.toLowerCase(Locale.ROOT);
        if (os.startsWith("windows")) {
            os = "windows";
        } else if (os.startsWith("mac")) {
            os = "macos";
        } else {
            os = os.replaceAll("[^a-z0-9]", "");
        }
        String arch = osArch.toLowerCase(Locale.ROOT);
        switch (arch) {
            case "amd64", "x86_64", "x64" -> arch = "x86_64";
            case "arm64", "aarch64" -> arch = "aarch64";
            default -> arch = arch.replaceAll("[^a-z0-9_]", "");
        }
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
