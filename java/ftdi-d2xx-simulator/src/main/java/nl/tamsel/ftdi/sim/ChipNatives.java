package nl.tamsel.ftdi.sim;

/**
 * The simulated driver's natives for the chip beyond the serial line: its EEPROM and pins, and
 * (in their own sections) its peripherals and waveform. Only translates; callers check their
 * arguments first and make sure the driver is loaded (through {@link SimulatedDriver}).
 * Device ids are those of {@link SimulatedDriver#addDevice}; -1 or null means an unknown
 * device or a refused argument.
 */
final class ChipNatives {

    private ChipNatives() {
    }

    // ---- EEPROM ---------------------------------------------------------------------------

    /** Sets one word; 0, or -1 for an unknown device or an offset past the EEPROM. */
    static native int simSetEepromWord(int device, int offset, int value);

    /** The EEPROM's words as 0..0xFFFF, or null for an unknown device. */
    static native int[] simGetEepromWords(int device);

    // ---- Pins -----------------------------------------------------------------------------

    /** Drives the pins in mask to the levels' bits from outside, releasing the others; 0 or -1. */
    static native int simSetPinInputs(int device, int mask, int levels);

    /** The levels of pins 0..15 (bit i = pin i), or -1. */
    static native int simGetPinLevels(int device);

    /** The bit mode in bits 0-7 and its mask in bits 8-15, or -1. */
    static native int simGetBitMode(int device);

    // ---- Buffers ----------------------------------------------------------------------------

    /** Sets the receive buffer for the chip's replies; 0, or -1 for a size out of range. */
    static native int simSetReceiveBuffer(int device, int bytes);

    /** The receive buffer's size in bytes, or -1. */
    static native int simGetReceiveBuffer(int device);

    /** The chip's command and reply buffer sizes in bytes, or null. */
    static native int[] simGetChipBuffers(int device);
}
