package nl.tamsel.ftdi.sim;

/**
 * The simulated driver's control functions for the chip's pins and the peripherals on them.
 * Each returns what the control function returns: an id or 0, -1 for an unknown device or
 * peripheral or an argument out of range; arrays are null then. Callers check arguments first.
 */
final class BusNatives {

    static {
        SimulatedDriver.load();
    }

    private BusNatives() {
    }

    static native int attachI2cTarget(int device, int address, boolean tenBit, int registers);

    static native int setI2cRegisters(int device, int target, int offset, byte[] bytes);

    static native byte[] i2cRegisters(int device, int target);

    static native int nackAddress(int device, int target, boolean on);

    static native int nackAtByte(int device, int target, int index);

    static native int holdSdaLow(int device, int target, boolean on);

    static native int attachI2cEeprom(int device, int address, int size, int page);

    static native int setEepromContents(int device, int eeprom, int offset, byte[] bytes);

    static native byte[] eepromContents(int device, int eeprom);

    static native int attachSpiFlash(int device, int csPin, int jedecId, int size);

    static native int setFlashContents(int device, int flash, int offset, byte[] bytes);

    static native byte[] flashContents(int device, int flash);

    static native int connectPins(int device, int pinA, int pinB);

    static native int drivePin(int device, int pin, int level);

    static native int setWaveformRecording(int device, boolean on);

    static native byte[] waveformVcd(int device);

    static native long busNanos(int device);

    // ---- JTAG chain ----------------------------------------------------------------------------

    /** Ints per device in {@link #attachJtagChain}'s description array. */
    static final int JTAG_SPEC_INTS = 8;

    /**
     * Attaches a chain; {@code specs} holds per device, from TDI: IR length, IR capture, has
     * IDCODE, IDCODE, IDCODE instruction, has USERCODE (bit 0) and memory (bit 1), USERCODE,
     * USERCODE instruction. {@code trstPin} is -1 for none.
     */
    static native int attachJtagChain(int device, int[] specs, int trstPin);

    static native int jtagState(int device, int chain, int index);

    static native long jtagInstruction(int device, int chain, int index);

    static native char[] jtagMemoryWords(int device, int chain, int index);

    static native int setJtagMemoryWords(int device, int chain, int index, int offset, char[] words);

    static native int jtagMemoryStatus(int device, int chain, int index);

    static native int setJtagBusyClocks(int device, int chain, int index, long eraseClocks, long programClocks);

    /** Throws when a control function refused its arguments. */
    static int checked(int result, String what) {
        if (result < 0) {
            throw new IllegalArgumentException("the simulated driver refused " + what);
        }
        return result;
    }

    static char[] checked(char[] result, String what) {
        if (result == null) {
            throw new IllegalArgumentException("the simulated driver has no " + what);
        }
        return result;
    }

    static byte[] checked(byte[] result, String what) {
        if (result == null) {
            throw new IllegalArgumentException("the simulated driver has no " + what);
        }
        return result;
    }
}
