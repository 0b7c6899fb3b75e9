package nl.tamsel.ftdi.sim;

import java.util.HashMap;
import java.util.Map;
import java.util.OptionalInt;

/**
 * One device of a simulated JTAG chain as it is built: its instruction register's length and
 * capture pattern, an optional IDCODE and USERCODE with their instructions, and optionally the
 * small programmable memory. BYPASS is the all-ones instruction and every instruction the device
 * does not know selects it too. After reset the current instruction is IDCODE when the device has
 * one, otherwise BYPASS.
 *
 * <pre>{@code
 * JtagDeviceModel cpld = JtagDeviceModel.builder(8)
 *         .idcode(0x2B5C7A2D).idcodeInstruction(0xFE).withMemory().build();
 * }</pre>
 *
 * <p>The memory holds {@value #MEMORY_WORDS} words of 16 bits, erased to 0xFFFF, behind the
 * instructions {@link #MEM_ENABLE}, {@link #MEM_DISABLE}, {@link #MEM_ERASE},
 * {@link #MEM_PROGRAM}, {@link #MEM_READ} and {@link #MEM_STATUS}; an erase keeps it busy for
 * {@value #DEFAULT_ERASE_CLOCKS} TCK clocks and a program for {@value #DEFAULT_PROGRAM_CLOCKS}, and
 * while busy further erases and programs are refused. See {@link SimulatedJtagDevice}.
 */
public final class JtagDeviceModel {

    /** The number of 16-bit words in the programmable memory. */
    public static final int MEMORY_WORDS = 256;
    /** Enters programming mode (at Update-IR) and clears the error flag. */
    public static final int MEM_ENABLE = 0xC0;
    /** Leaves programming mode (at Update-IR). */
    public static final int MEM_DISABLE = 0xC1;
    /** Erases every word to 0xFFFF (at Update-IR), then is busy for the erase time. */
    public static final int MEM_ERASE = 0xC2;
    /** Selects the 24-bit register (address in bits 0-7, data in 8-23) whose Update-DR programs. */
    public static final int MEM_PROGRAM = 0xC3;
    /** Selects the 24-bit register that captures the read address and the word there. */
    public static final int MEM_READ = 0xC4;
    /** Selects the 8-bit status register: bit 0 busy, bit 1 enabled, bit 2 error. */
    public static final int MEM_STATUS = 0xC5;
    /** The data register length of {@link #MEM_PROGRAM} and {@link #MEM_READ}. */
    public static final int MEM_DATA_BITS = 24;
    /** The data register length of {@link #MEM_STATUS}. */
    public static final int MEM_STATUS_BITS = 8;
    /** The TCK clocks an erase keeps the memory busy, unless set otherwise. */
    public static final long DEFAULT_ERASE_CLOCKS = 10_000;
    /** The TCK clocks a program keeps the memory busy, unless set otherwise. */
    public static final long DEFAULT_PROGRAM_CLOCKS = 100;
    /** The shortest instruction register the memory's 8-bit instructions fit in. */
    public static final int MEMORY_IR_LENGTH = 8;

    private final int irLength;
    private final int irCapture;
    private final Integer idcode;
    private final int idcodeInstruction;
    private final Integer usercode;
    private final int usercodeInstruction;
    private final boolean memory;

    private JtagDeviceModel(Builder builder) {
        this.irLength = builder.irLength;
        this.irCapture = builder.irCapture;
        this.idcode = builder.idcode;
        this.idcodeInstruction = builder.idcodeInstruction == null
                ? allOnes(irLength) & ~1 : builder.idcodeInstruction;
        this.usercode = builder.usercode;
        this.usercodeInstruction = builder.usercodeInstruction == null
                ? allOnes(irLength) & ~2 : builder.usercodeInstruction;
        this.memory = builder.memory;
    }

    /**
     * Starts describing a device with an instruction register of the given length.
     *
     * @param irLength the instruction register's length, 2 to 32 bits
     * @return a builder for a device that has only BYPASS
     * @throws IllegalArgumentException for a length out of range
     */
    public static Builder builder(int irLength) {
        if (irLength < 2 || irLength > 32) {
            throw new IllegalArgumentException("an instruction register has 2 to 32 bits, not " + irLength);
        }
        return new Builder(irLength);
    }

    /**
     * Returns the instruction register's length.
     *
     * @return 2 to 32 bits
     */
    public int irLength() {
        return irLength;
    }

    /**
     * Returns what Capture-IR loads into the instruction register.
     *
     * @return the pattern, its two low bits {@code 01}
     */
    public int irCapture() {
        return irCapture;
    }

    /**
     * Returns the IDCODE the device captures, when it has one.
     *
     * @return the IDCODE, empty for a device with BYPASS only after reset
     */
    public OptionalInt idcode() {
        return idcode == null ? OptionalInt.empty() : OptionalInt.of(idcode);
    }

    /**
     * Returns the instruction that selects IDCODE (meaningful when {@link #idcode()} is present).
     *
     * @return the instruction
     */
    public int idcodeInstruction() {
        return idcodeInstruction;
    }

    /**
     * Returns the USERCODE the device captures, when it has one.
     *
     * @return the USERCODE, or empty
     */
    public OptionalInt usercode() {
        return usercode == null ? OptionalInt.empty() : OptionalInt.of(usercode);
    }

    /**
     * Returns the instruction that selects USERCODE (meaningful when {@link #usercode()} is present).
     *
     * @return the instruction
     */
    public int usercodeInstruction() {
        return usercodeInstruction;
    }

    /**
     * Tells whether the device carries the programmable memory.
     *
     * @return true when built {@link Builder#withMemory()}
     */
    public boolean hasMemory() {
        return memory;
    }

    /**
     * Returns the all-ones BYPASS instruction for this length.
     *
     * @return the instruction
     */
    public int bypassInstruction() {
        return allOnes(irLength);
    }

    @Override
    public String toString() {
        StringBuilder text = new StringBuilder("JTAG device (IR ").append(irLength).append(" bits");
        if (idcode != null) {
            text.append(String.format(", IDCODE 0x%08X by 0x%X", idcode, idcodeInstruction));
        } else {
            text.append(", bypass only");
        }
        if (usercode != null) {
            text.append(String.format(", USERCODE 0x%08X by 0x%X", usercode, usercodeInstruction));
        }
        return text.append(memory ? ", memory)" : ")").toString();
    }

    static int allOnes(int bits) {
        return bits >= 32 ? -1 : (1 << bits) - 1;
    }

    /** Describes a device; {@link #build()} checks it and makes the model. */
    public static final class Builder {
        private final int irLength;
        private int irCapture = 0b01;
        private Integer idcode;
        private Integer idcodeInstruction;
        private Integer usercode;
        private Integer usercodeInstruction;
        private boolean memory;

        private Builder(int irLength) {
            this.irLength = irLength;
        }

        /**
         * Sets the IDCODE; without it the device has no IDCODE instruction and selects BYPASS
         * after reset.
         *
         * @param idcode the 32-bit IDCODE, bit 0 set
         * @return this builder
         * @throws IllegalArgumentException when bit 0 is clear (an IDCODE always has it set)
         */
        public Builder idcode(int idcode) {
            if ((idcode & 1) == 0) {
                throw new IllegalArgumentException(String.format(
                        "an IDCODE has bit 0 set: 0x%08X is not one", idcode));
            }
            this.idcode = idcode;
            return this;
        }

        /**
         * Sets the instruction that selects IDCODE (by default all ones but bit 0).
         *
         * @param instruction the instruction, within the register's length
         * @return this builder
         */
        public Builder idcodeInstruction(int instruction) {
            this.idcodeInstruction = instruction;
            return this;
        }

        /**
         * Sets the 32-bit USERCODE; without it the device has no USERCODE instruction.
         *
         * @param usercode the USERCODE
         * @return this builder
         */
        public Builder usercode(int usercode) {
            this.usercode = usercode;
            return this;
        }

        /**
         * Sets the instruction that selects USERCODE (by default all ones but bit 1).
         *
         * @param instruction the instruction, within the register's length
         * @return this builder
         */
        public Builder usercodeInstruction(int instruction) {
            this.usercodeInstruction = instruction;
            return this;
        }

        /**
         * Sets what Capture-IR loads (by default 0b01).
         *
         * @param pattern the pattern within the register's length, its two low bits {@code 01}
         * @return this builder
         */
        public Builder irCapture(int pattern) {
            this.irCapture = pattern;
            return this;
        }

        /**
         * Gives the device the programmable memory (which needs an instruction register of at
         * least 8 bits).
         *
         * @return this builder
         */
        public Builder withMemory() {
            this.memory = true;
            return this;
        }

        /**
         * Checks the description and makes the model.
         *
         * @return the model
         * @throws IllegalArgumentException when an instruction or pattern does not fit the
         *         register, two instructions collide, or the memory lacks room
         */
        public JtagDeviceModel build() {
            JtagDeviceModel model = new JtagDeviceModel(this);
            int bypass = allOnes(irLength);
            requireFits("IR capture pattern", irCapture);
            if ((irCapture & 0b11) != 0b01) {
                throw new IllegalArgumentException(String.format(
                        "the IR capture pattern ends in binary 01 as the standard requires, 0x%X does not",
                        irCapture));
            }
            if (memory && irLength < MEMORY_IR_LENGTH) {
                throw new IllegalArgumentException("the memory's instructions need an instruction register"
                        + " of at least 8 bits, not " + irLength);
            }
            Map<Integer, String> taken = new HashMap<>();
            taken.put(bypass, "BYPASS");
            if (model.idcode != null) {
                claim(taken, "IDCODE", model.idcodeInstruction);
            }
            if (model.usercode != null) {
                claim(taken, "USERCODE", model.usercodeInstruction);
            }
            if (memory) {
                for (int instruction = MEM_ENABLE; instruction <= MEM_STATUS; instruction++) {
                    claim(taken, "the memory", instruction);
                }
            }
            return model;
        }

        private void claim(Map<Integer, String> taken, String name, int instruction) {
            requireFits(name + " instruction", instruction);
            String earlier = taken.putIfAbsent(instruction, name);
            if (earlier != null) {
                throw new IllegalArgumentException(String.format(
                        "instruction 0x%X is both %s and %s: give one of them another", instruction,
                        earlier, name));
            }
        }

        private void requireFits(String what, int value) {
            if (irLength < 32 && (value & ~allOnes(irLength)) != 0) {
                throw new IllegalArgumentException(String.format("%s 0x%X does not fit %d bits", what,
                        value, irLength));
            }
        }
    }
}
