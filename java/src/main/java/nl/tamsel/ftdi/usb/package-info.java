/**
 * Java access to FTDI USB devices through FTDI's D2XX driver.
 *
 * <p>{@link nl.tamsel.ftdi.usb.D2XX} declares the driver's functions as native methods of the JNI
 * bridge library {@code ftdibridge}; {@link nl.tamsel.ftdi.usb.DeviceInfo} is one entry of the
 * device list and {@link nl.tamsel.ftdi.usb.D2XXConstants} holds the driver's numeric values.
 * Errors come back as negative numbers (minus the driver's status), handles as {@code long}s.
 *
 * <h2>Loading the native code</h2>
 * <ul>
 *   <li>{@code -Dnl.tamsel.ftdi.driver=<file>}: a D2XX driver library to load first, such as the
 *       simulated {@code libftd2xx.so} built with the bridge, for running without hardware.
 *       Unset, the installed vendor driver is used (on Linux {@code libftd2xx.so} where the
 *       dynamic linker finds it, on Windows FTDI's D2XX driver package).</li>
 *   <li>{@code -Dnl.tamsel.ftdi.bridge=<file>}: the bridge library file. Unset, it is looked up
 *       on {@code java.library.path} as {@code ftdibridge}.</li>
 * </ul>
 *
 * <h2>Example</h2>
 * Echoes a line through the first device found:
 * <pre>{@code
 * import java.nio.charset.StandardCharsets;
 * import nl.tamsel.ftdi.usb.D2XX;
 * import nl.tamsel.ftdi.usb.D2XXConstants;
 * import nl.tamsel.ftdi.usb.DeviceInfo;
 *
 * public class Echo {
 *     public static void main(String[] args) {
 *         DeviceInfo[] devices = D2XX.createDeviceInfoList();
 *         if (devices == null || devices.length == 0) {
 *             System.err.println("no device");
 *             return;
 *         }
 *         long handle = D2XX.openBySerialNumber(devices[0].serialNumber());
 *         if (handle < 0) {
 *             System.err.println("open failed, status " + -handle);
 *             return;
 *         }
 *         try {
 *             D2XX.setBaudrate(handle, 115200);
 *             D2XX.setDataCharacteristics(handle, D2XXConstants.FT_BITS_8,
 *                     D2XXConstants.FT_STOP_BITS_1, D2XXConstants.FT_PARITY_NONE);
 *             D2XX.setTimeouts(handle, 500, 500);
 *             byte[] out = "hello\n".getBytes(StandardCharsets.US_ASCII);
 *             D2XX.write(handle, out, 0, out.length);
 *             byte[] in = new byte[64];
 *             int n = D2XX.read(handle, in, 0, out.length);
 *             System.out.println(n < 0 ? "read failed, status " + -n
 *                     : new String(in, 0, n, StandardCharsets.US_ASCII));
 *         } finally {
 *             D2XX.close(handle);
 *         }
 *     }
 * }
 * }</pre>
 * Run it with {@code java -Dnl.tamsel.ftdi.bridge=build/native/bridge/libftdibridge.so Echo}, and
 * without hardware add {@code -Dnl.tamsel.ftdi.driver=build/native/simdriver/libftd2xx.so}
 * (the simulated driver starts with no devices; see {@code SerialExchangeDemo} for one that sets
 * some up).
 */
package nl.tamsel.ftdi.usb;
