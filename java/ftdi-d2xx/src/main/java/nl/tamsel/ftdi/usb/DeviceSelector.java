package nl.tamsel.ftdi.usb;

import java.util.Locale;
import java.util.Objects;

/**
 * Names one device the way the driver can open it: by its position in the device list, its
 * serial number, its description or its USB location.
 *
 * <p>Its text form, read by {@link #parse(String)} and written by {@link #toString()}, is what
 * the command-line tool takes and what error messages show:
 * <table>
 *   <caption>Text forms</caption>
 *   <tr><th>text</th><th>opens</th></tr>
 *   <tr><td>{@code 0}, {@code 1}, ...</td><td>the device at that position of the list</td></tr>
 *   <tr><td>{@code serial:FT1ZK4}</td><td>the device with that serial number</td></tr>
 *   <tr><td>{@code desc:FT232R USB UART}</td><td>the device with that description</td></tr>
 *   <tr><td>{@code loc:0x0111}</td><td>the device at that location (hex with 0x, or decimal)</td></tr>
 *   <tr><td>{@code FT1ZK4}</td><td>any other text: the device with that serial number</td></tr>
 * </table>
 */
public final class DeviceSelector {

    /** How a selector finds its device. */
    public enum Kind {
        /** By position in the device list. */
        INDEX,
        /** By serial number. */
        SERIAL_NUMBER,
        /** By product description. */
        DESCRIPTION,
        /** By USB location word. */
        LOCATION
    }

    /** The longest serial number the driver compares, in characters. */
    public static final int MAX_SERIAL_NUMBER_LENGTH = 16;
    /** The longest description the driver compares, in characters. */
    public static final int MAX_DESCRIPTION_LENGTH = 64;

    private final Kind kind;
    private final String text;
    private final int number;

    private DeviceSelector(Kind kind, String text, int number) {
        this.kind = kind;
        this.text = text;
        this.number = number;
    }

    /**
     * Selects the device at a position of the device list.
     *
     * @param index the position, from 0
     * @return the selector
     * @throws IllegalArgumentException if {@code index} is negative
     */
    public static DeviceSelector byIndex(int index) {
        if (index < 0) {
            throw new IllegalArgumentException("A device index is 0 or more, not " + index);
        }
        return new DeviceSelector(Kind.INDEX, null, index);
    }

    /**
     * Selects the device with a serial number.
     *
     * @param serialNumber the serial number, 1 to 16 characters
     * @return the selector
     * @throws IllegalArgumentException if the serial number is empty or longer than the driver compares
     */
    public static DeviceSelector bySerialNumber(String serialNumber) {
        return new DeviceSelector(Kind.SERIAL_NUMBER,
                checkedText("serial number", serialNumber, MAX_SERIAL_NUMBER_LENGTH), 0);
    }

    /**
     * Selects the device with a product description.
     *
     * @param description the description, 1 to 64 characters
     * @return the selector
     * @throws IllegalArgumentException if the description is empty or longer than the driver compares
     */
    public static DeviceSelector byDescription(String description) {
        return new DeviceSelector(Kind.DESCRIPTION, checkedText("description", description, MAX_DESCRIPTION_LENGTH), 0);
    }

    /**
     * Selects the device at a USB location.
     *
     * @param locationId the location word, as {@link DeviceInfo#locationId()} gives it
     * @return the selector
     */
    public static DeviceSelector byLocation(int locationId) {
        return new DeviceSelector(Kind.LOCATION, null, locationId);
    }

    /**
     * Selects a listed device by what stays with it: its serial number, or its location when it
     * has none (as a device another process has open shows). Unlike its index, this names the
     * same device whatever arrives or leaves meanwhile.
     *
     * @param entry an entry of {@link FtdiDevice#list()} or of a {@link DeviceWatcher} event
     * @return a serial-number selector, or a location selector for an entry without serial number
     */
    public static DeviceSelector of(DeviceInfo entry) {
        Objects.requireNonNull(entry, "entry");
        return entry.serialNumber().isEmpty() ? byLocation(entry.locationId())
                : bySerialNumber(entry.serialNumber());
    }

    /**
     * Reads the text form described above.
     *
     * @param text for example "0", "serial:FT1ZK4", "desc:FT232R USB UART", "loc:0x0111"
     * @return the selector
     * @throws IllegalArgumentException if the text names no device, saying what is accepted
     */
    public static DeviceSelector parse(String text) {
        Objects.requireNonNull(text, "text");
        int colon = text.indexOf(':');
        String prefix = colon < 0 ? "" : text.substring(0, colon).toLowerCase(Locale.ROOT);
        String value = text.substring(colon + 1);
        if (text.isEmpty()) {
            throw new IllegalArgumentException("No device named: give an index, serial:<serial number>,"
                    + " desc:<description> or loc:<location>");
        }
        return switch (prefix) {
            case "serial" -> bySerialNumber(value);
            case "desc" -> byDescription(value);
            case "loc" -> byLocation(parseLocation(value));
            default -> text.chars().allMatch(Character::isDigit) ? byIndex(parseIndex(text)) : bySerialNumber(text);
        };
    }

    private static int parseIndex(String text) {
        try {
            return Integer.parseInt(text);
        } catch (NumberFormatException e) {
            throw new IllegalArgumentException("Device index " + text + " is too large", e);
        }
    }

    private static int parseLocation(String text) {
        try {
            long value = Long.decode(text);
            if (value < 0 || value > 0xFFFF_FFFFL) {
                throw new NumberFormatException();
            }
            return (int) value;
        } catch (NumberFormatException e) {
            throw new IllegalArgumentException("A location is a 32-bit number, such as loc:0x0111 or loc:273;"
                    + " not \"" + text + "\"", e);
        }
    }

    private static String checkedText(String what, String text, int maxLength) {
        Objects.requireNonNull(text, what);
        if (text.isEmpty() || text.length() > maxLength) {
            throw new IllegalArgumentException("A " + what + " has 1 to " + maxLength + " characters; the driver"
                    + " compares no more. \"" + text + "\" has " + text.length());
        }
        return text;
    }

    /**
     * How this selector finds its device.
     *
     * @return the kind
     */
    public Kind kind() {
        return kind;
    }

    long open() {
        return switch (kind) {
            case INDEX -> D2XX.openByIndex(number);
            case SERIAL_NUMBER -> D2XX.openBySerialNumber(text);
            case DESCRIPTION -> D2XX.openByDescription(text);
            case LOCATION -> D2XX.openByLocationId(number);
        };
    }

    /**
     * Whether a device-list entry is the device this selector names.
     *
     * @param entry an entry of the device list
     * @param index the entry's position in the list
     * @return true when the entry matches
     */
    public boolean matches(DeviceInfo entry, int index) {
        return switch (kind) {
            case INDEX -> index == number;
            case SERIAL_NUMBER -> entry.serialNumber().equals(text);
            case DESCRIPTION -> entry.description().equals(text);
            case LOCATION -> entry.locationId() == number;
        };
    }

    /**
     * The text form, which {@link #parse(String)} reads back.
     *
     * @return for example "0", "serial:FT1ZK4", "desc:FT232R USB UART", "loc:0x00000111"
     */
    @Override
    public String toString() {
        return switch (kind) {
            case INDEX -> Integer.toString(number);
            case SERIAL_NUMBER -> "serial:" + text;
            case DESCRIPTION -> "desc:" + text;
            case LOCATION -> String.format("loc:0x%08x", number);
        };
    }

    @Override
    public boolean equals(Object other) {
        return other instanceof DeviceSelector that && kind == that.kind && number == that.number
                && Objects.equals(text, that.text);
    }

    @Override
    public int hashCode() {
        return Objects.hash(kind, text, number);
    }
}
