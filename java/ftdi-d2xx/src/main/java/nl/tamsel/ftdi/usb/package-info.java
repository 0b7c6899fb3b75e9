/**
 * Java access to FTDI USB devices through FTDI's D2XX driver.
 *
 * <p>{@link nl.tamsel.ftdi.usb.FtdiDevice} is the API for applications: it lists and opens
 * devices, sets up the serial line with typed values, reads the modem status and versions,
 * moves bytes directly or through {@link java.io.InputStream} and {@link java.io.OutputStream}
 * views, and reports every driver failure as an {@link nl.tamsel.ftdi.usb.FtdiException}.
 * {@link nl.tamsel.ftdi.usb.D2XX} is the raw bridge beneath it: one native method per driver
 * function, results as plain numbers (minus the driver's status on failure), handles as
 * {@code long}s, constants in {@link nl.tamsel.ftdi.usb.D2XXConstants}.
 *
 * <h2>Example</h2>
 * Lists the devices, then sends a line through the first one and prints what comes back. Run
 * it with the jar on the class path and nothing else; without hardware, add the simulator
 * ({@code nl.tamsel:ftdi-d2xx-simulator}) and {@code -Dnl.tamsel.ftdi.driver=simulated}, and
 * attach a simulated device first (see {@code nl.tamsel.ftdi.sim.SimulatedDriver}).
 * <pre>{@code
 * import java.nio.charset.StandardCharsets;
 * import java.time.Duration;
 * import nl.tamsel.ftdi.usb.DataBits;
 * import nl.tamsel.ftdi.usb.DeviceInfo;
 * import nl.tamsel.ftdi.usb.FtdiDevice;
 * import nl.tamsel.ftdi.usb.Parity;
 * import nl.tamsel.ftdi.usb.StopBits;
 *
 * public class Echo {
 *     public static void main(String[] args) throws Exception {
 *         for (DeviceInfo info : FtdiDevice.list()) {
 *             System.out.println(info);
 *         }
 *         try (FtdiDevice device = FtdiDevice.openByIndex(0)) {
 *             device.setBaudRate(115_200);
 *             device.setDataCharacteristics(DataBits.EIGHT, StopBits.ONE, Parity.NONE);
 *             device.setReadTimeout(Duration.ofSeconds(1));
 *             device.getOutputStream().write("hello\n".getBytes(StandardCharsets.US_ASCII));
 *             byte[] reply = device.getInputStream().readNBytes(6);
 *             System.out.print(new String(reply, StandardCharsets.US_ASCII));
 *         }
 *     }
 * }
 * }</pre>
 *
 * <h2>Loading the native code</h2>
 * The jar carries the JNI bridge for every supported platform. The first use of {@code D2XX} (and so of
 * {@code FtdiDevice}) loads the bridge from the first of these that exists:
 * <ol>
 *   <li>{@code -Dnl.tamsel.ftdi.bridge=<file>}: this file, and nothing else if it fails;</li>
 *   <li>{@code ftdibridge} on {@code java.library.path};</li>
 *   <li>the jar's copy for this operating system and architecture, extracted into a per-user
 *       cache ({@code -Dnl.tamsel.ftdi.extract.dir=<directory>}, by default
 *       {@code %LOCALAPPDATA%\tamsel-ftdi}, {@code ~/Library/Caches/tamsel-ftdi} or
 *       {@code ~/.cache/tamsel-ftdi}) under a name holding its version and a hash of its bytes;
 *       later JVMs reuse it once its bytes are checked, and copies of other builds are removed.</li>
 * </ol>
 * A bridge whose file does not carry this jar's version is refused, naming both versions. The
 * bridge needs the D2XX driver library: by default the vendor's, found by the system
 * ({@code libftd2xx.so}, {@code FTD2XX.dll}); {@code -Dnl.tamsel.ftdi.driver=<file>} loads
 * another first, and {@code -Dnl.tamsel.ftdi.driver=simulated} the simulator's (from {@code ftdi-d2xx-simulator}). Every
 * failure is one {@link java.lang.UnsatisfiedLinkError} naming the platform, what was tried
 * (as suppressed exceptions too) and the property that fixes it. On JDK 22 and later, code on the
 * class path runs with {@code --enable-native-access=ALL-UNNAMED} (on the module path, with the
 * module's name); where native access is denied, the error names that flag.
 */
package nl.tamsel.ftdi.usb;
