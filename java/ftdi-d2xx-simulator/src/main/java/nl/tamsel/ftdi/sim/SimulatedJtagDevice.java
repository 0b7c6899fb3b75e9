package nl.tamsel.ftdi.sim;

import java.util.Objects;

/**
 * One device of a {@link SimulatedJtagChain}: its TAP state and current instruction, and the
 * programmable memory when its model has one.
 *
 * <p>The memory holds {@value JtagDeviceModel#MEMORY_WORDS} words of 16 bits. Its instructions
 * (8-bit values, the instruction register's higher bits 0):
 * <ul>
 * <li>{@code 0xC0} enable: enters programming mode and clears the error flag (at Update-IR);</li>
 * <li>{@code 0xC1} disable: leaves programming mode;</li>
 * <li>{@code 0xC2} erase: every word to 0xFFFF at Update-IR, then busy for the erase time;</li>
 * <li>{@code 0xC3} program: a 24-bit register, address in bits 0-7 and data in bits 8-23;
 *     Update-DR makes the word {@code old & data}, then busy for the program time;</li>
 * <li>{@code 0xC4} read: a 24-bit register whose Capture-DR loads the read address and the word
 *     there ({@code word << 8 | address}) and whose Update-DR sets the read address;</li>
 * <li>{@code 0xC5} status: an 8-bit register, bit 0 busy, bit 1 enabled, bit 2 error (an erase or
 *     program refused since the last enable).</li>
 * </ul>
 * Erase and program are refused while the memory is busy or not enabled. The busy times count
 * TCK rising edges from the one that starts the operation: {@value JtagDeviceModel#DEFAULT_ERASE_CLOCKS}
 * for an erase and {@value JtagDeviceModel#DEFAULT_PROGRAM_CLOCKS} for a program unless
 * {@link #setBusyClocks(long, long)} says otherwise.
 */
public final class SimulatedJtagDevice {

    /** The TAP states' names, by the simulated driver's state numbers. */
    private static final String[] STATES = {
        "TEST_LOGIC_RESET", "RUN_TEST_IDLE", "SELECT_DR_SCAN", "CAPTURE_DR", "SHIFT_DR", "EXIT1_DR",
        "PAUSE_DR", "EXIT2_DR", "UPDATE_DR", "SELECT_IR_SCAN", "CAPTURE_IR", "SHIFT_IR", "EXIT1_IR",
        "PAUSE_IR", "EXIT2_IR", "UPDATE_IR",
    };

    /** Status bit: an erase or program is running. */
    public static final int STATUS_BUSY = 0x01;
    /** Status bit: programming mode is on. */
    public static final int STATUS_ENABLED = 0x02;
    /** Status bit: an erase or program was refused since the last enable. */
    public static final int STATUS_ERROR = 0x04;

    private final SimulatedJtagChain chain;
    private final int index;
    private final JtagDeviceModel model;

    SimulatedJtagDevice(SimulatedJtagChain chain, int index, JtagDeviceModel model) {
        this.chain = chain;
        this.index = index;
        this.model = model;
    }

    /**
     * Returns the device's position in its chain.
     *
     * @return 0 for the device at TDI
     */
    public int index() {
        return index;
    }

    /**
     * Returns the model the device was built from.
     *
     * @return the model
     */
    public JtagDeviceModel model() {
        return model;
    }

    /**
     * Returns the device's TAP state, named as the constants of the library's TAP state enum
     * ({@code TEST_LOGIC_RESET}, {@code RUN_TEST_IDLE}, {@code SHIFT_DR}, ...).
     *
     * @return the state's name
     */
    public String state() {
        int state = BusNatives.checked(BusNatives.jtagState(chain.deviceId(), chain.id(), index),
                "the state of " + this);
        return STATES[state];
    }

    /**
     * Returns the current instruction (the last one Update-IR made current, or the one reset
     * selected).
     *
     * @return the instruction's bits
     */
    public int instruction() {
        long instruction = BusNatives.jtagInstruction(chain.deviceId(), chain.id(), index);
        BusNatives.checked(instruction < 0 ? -1 : 0, "the instruction of " + this);
        return (int) instruction;
    }

    /**
     * Returns a copy of the memory's words.
     *
     * @return {@value JtagDeviceModel#MEMORY_WORDS} words, each 0..0xFFFF
     * @throws IllegalStateException when the device has no memory
     */
    public int[] memoryWords() {
        requireMemory();
        char[] words = BusNatives.checked(BusNatives.jtagMemoryWords(chain.deviceId(), chain.id(), index),
                "the memory of " + this);
        int[] result = new int[words.length];
        for (int i = 0; i < words.length; i++) {
            result[i] = words[i];
        }
        return result;
    }

    /**
     * Sets memory words from {@code offset} on, as if programmed long ago.
     *
     * @param offset the first word's address
     * @param words  the words, each 0..0xFFFF
     * @throws IllegalStateException    when the device has no memory
     * @throws IllegalArgumentException when the words do not fit or one exceeds 16 bits
     */
    public void setMemoryWords(int offset, int... words) {
        requireMemory();
        Objects.requireNonNull(words, "words");
        if (offset < 0 || words.length > JtagDeviceModel.MEMORY_WORDS - offset) {
            throw new IllegalArgumentException(words.length + " words at " + offset + " do not fit "
                    + JtagDeviceModel.MEMORY_WORDS + " words");
        }
        char[] copy = new char[words.length];
        for (int i = 0; i < words.length; i++) {
            if (words[i] < 0 || words[i] > 0xFFFF) {
                throw new IllegalArgumentException("a memory word is 0..0xFFFF, not " + words[i]);
            }
            copy[i] = (char) words[i];
        }
        BusNatives.checked(BusNatives.setJtagMemoryWords(chain.deviceId(), chain.id(), index, offset, copy),
                words.length + " words at " + offset);
    }

    /**
     * Returns the memory's status register as a status scan would capture it now.
     *
     * @return {@link #STATUS_BUSY}, {@link #STATUS_ENABLED} and {@link #STATUS_ERROR} bits
     * @throws IllegalStateException when the device has no memory
     */
    public int memoryStatus() {
        requireMemory();
        return BusNatives.checked(BusNatives.jtagMemoryStatus(chain.deviceId(), chain.id(), index),
                "the memory status of " + this);
    }

    /**
     * Sets how many TCK clocks an erase and a program keep the memory busy.
     *
     * @param eraseClocks   the erase time, 0 or more
     * @param programClocks the program time, 0 or more
     * @throws IllegalStateException    when the device has no memory
     * @throws IllegalArgumentException for a negative time
     */
    public void setBusyClocks(long eraseClocks, long programClocks) {
        requireMemory();
        if (eraseClocks < 0 || programClocks < 0) {
            throw new IllegalArgumentException("busy times are 0 or more clocks: " + eraseClocks + ", "
                    + programClocks);
        }
        BusNatives.checked(BusNatives.setJtagBusyClocks(chain.deviceId(), chain.id(), index, eraseClocks,
                programClocks), "busy clocks");
    }

    private void requireMemory() {
        if (!model.hasMemory()) {
            throw new IllegalStateException(this + " has no memory: build its model withMemory()");
        }
    }

    @Override
    public String toString() {
        return "JTAG device " + index + " (" + model + ") of the chain on " + chain.adapter();
    }
}
