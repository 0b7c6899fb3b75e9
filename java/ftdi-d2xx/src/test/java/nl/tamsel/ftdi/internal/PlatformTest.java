package nl.tamsel.ftdi.internal;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

class PlatformTest {

    @ParameterizedTest(name = "{0} / {1} / hard-float {2} -> {3}")
    @CsvSource({
        "Linux,              amd64,   false, linux-x86_64",
        "Linux,              x86_64,  false, linux-x86_64",
        "Linux,              aarch64, false, linux-aarch64",
        "Linux,              arm,     true,  linux-armhf",
        "Mac OS X,           x86_64,  false, macos-x86_64",
        "Mac OS X,           aarch64, false, macos-aarch64",
        "Mac OS X,           arm64,   false, macos-aarch64",
        "Windows 11,         amd64,   false, windows-x86_64",
        "Windows Server 2022, aarch64, false, windows-aarch64",
    })
    void shippedPlatformsMapToTheirFolders(String osName, String osArch, boolean hardFloat, String folder) {
        assertEquals(folder, Platform.of(osName, osArch, hardFloat));
    }

    @ParameterizedTest(name = "{0} / {1} / hard-float {2} is {3}, not shipped")
    @CsvSource({
        "Linux,   arm,     false, linux-armel",
        "Linux,   x86,     false, linux-x86",
        "Linux,   ppc64le, false, linux-ppc64le",
        "FreeBSD, amd64,   false, freebsd-x86_64",
        "Windows 10, x86,  false, windows-x86",
    })
    void unshippedPlatformIsNamedWithTheShippedOnes(String osName, String osArch, boolean hardFloat,
            String name) {
        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class,
                () -> Platform.of(osName, osArch, hardFloat));
        assertTrue(error.getMessage().contains("no native code for " + name + " "), error.getMessage());
        for (String shipped : Platform.SHIPPED) {
            assertTrue(error.getMessage().contains(shipped), error.getMessage());
        }
    }

    @ParameterizedTest(name = "sun.arch.abi {0} is hard-float: {1}")
    @CsvSource({"gnueabihf, true", "gnueabi, false"})
    void armAbiPropertyDecidesHardFloat(String abi, boolean hardFloat) {
        assertEquals(hardFloat, Platform.isHardFloat(abi));
    }

    @ParameterizedTest(name = "{0}: bridge {1}, driver {2}")
    @CsvSource({
        "linux-armhf,     libftdibridge.so,    libftd2xx.so",
        "macos-aarch64,   libftdibridge.dylib, libftd2xx.dylib",
        "windows-aarch64, ftdibridge.dll,      FTD2XX.dll",
    })
    void fileNamesFollowThePlatform(String platform, String bridge, String driver) {
        assertEquals(bridge, Platform.bridgeFile(platform));
        assertEquals(driver, Platform.driverFile(platform));
    }
}
