package nl.tamsel.ftdi.sim;

/**
 * The pins of one simulated channel: the low byte ADBUS0..7 (D0..D7 of an FT232R) and the high
 * byte ACBUS0..7. In MPSSE mode AD0 is TCK/SK/SCL, AD1 TDI/DO/SDA out, AD2 TDO/DI/SDA in, AD3
 * TMS/CS and AD4..AD7 GPIOL0..3.
 */
public enum Pin {
    /** ADBUS0: TCK, SK, SCL. */
    AD0,
    /** ADBUS1: TDI, DO, SDA out. */
    AD1,
    /** ADBUS2: TDO, DI, SDA in. */
    AD2,
    /** ADBUS3: TMS, CS. */
    AD3,
    /** ADBUS4: GPIOL0. */
    AD4,
    /** ADBUS5: GPIOL1. */
    AD5,
    /** ADBUS6: GPIOL2. */
    AD6,
    /** ADBUS7: GPIOL3. */
    AD7,
    /** ACBUS0: GPIOH0. */
    AC0,
    /** ACBUS1: GPIOH1. */
    AC1,
    /** ACBUS2: GPIOH2. */
    AC2,
    /** ACBUS3: GPIOH3. */
    AC3,
    /** ACBUS4: GPIOH4. */
    AC4,
    /** ACBUS5: GPIOH5. */
    AC5,
    /** ACBUS6: GPIOH6. */
    AC6,
    /** ACBUS7: GPIOH7. */
    AC7;

    /**
     * Returns the pin's number in the simulated driver: 0..7 for AD0..AD7, 8..15 for AC0..AC7.
     *
     * @return the number
     */
    public int number() {
        return ordinal();
    }
}
