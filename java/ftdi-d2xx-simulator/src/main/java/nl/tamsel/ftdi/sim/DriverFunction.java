package nl.tamsel.ftdi.sim;

/**
 * The D2XX driver functions the simulated driver models, to make them fail and to count and
 * inspect their calls through {@link SimulatedDriver}.
 */
public enum DriverFunction {
    /** {@code FT_Open}: opens a device by its list position. */
    FT_OPEN("FT_Open", false),
    /** {@code FT_Close}. */
    FT_CLOSE("FT_Close", false),
    /** {@code FT_Read}. */
    FT_READ("FT_Read", true),
    /** {@code FT_Write}. */
    FT_WRITE("FT_Write", true),
    /** {@code FT_ResetDevice}. */
    FT_RESET_DEVICE("FT_ResetDevice", false),
    /** {@code FT_SetBaudRate}. */
    FT_SET_BAUD_RATE("FT_SetBaudRate", false),
    /** {@code FT_SetDataCharacteristics}. */
    FT_SET_DATA_CHARACTERISTICS("FT_SetDataCharacteristics", false),
    /** {@code FT_SetFlowControl}. */
    FT_SET_FLOW_CONTROL("FT_SetFlowControl", false),
    /** {@code FT_SetDtr}. */
    FT_SET_DTR("FT_SetDtr", false),
    /** {@code FT_ClrDtr}. */
    FT_CLR_DTR("FT_ClrDtr", false),
    /** {@code FT_SetRts}. */
    FT_SET_RTS("FT_SetRts", false),
    /** {@code FT_ClrRts}. */
    FT_CLR_RTS("FT_ClrRts", false),
    /** {@code FT_GetModemStatus}. */
    FT_GET_MODEM_STATUS("FT_GetModemStatus", false),
    /** {@code FT_SetChars}. */
    FT_SET_CHARS("FT_SetChars", false),
    /** {@code FT_Purge}. */
    FT_PURGE("FT_Purge", false),
    /** {@code FT_SetTimeouts}. */
    FT_SET_TIMEOUTS("FT_SetTimeouts", false),
    /** {@code FT_GetQueueStatus}. */
    FT_GET_QUEUE_STATUS("FT_GetQueueStatus", true),
    /** {@code FT_SetBreakOn}. */
    FT_SET_BREAK_ON("FT_SetBreakOn", false),
    /** {@code FT_SetBreakOff}. */
    FT_SET_BREAK_OFF("FT_SetBreakOff", false),
    /** {@code FT_OpenEx}: opens a device by serial number, description or location. */
    FT_OPEN_EX("FT_OpenEx", false),
    /** {@code FT_SetLatencyTimer}. */
    FT_SET_LATENCY_TIMER("FT_SetLatencyTimer", false),
    /** {@code FT_GetLatencyTimer}. */
    FT_GET_LATENCY_TIMER("FT_GetLatencyTimer", false),
    /** {@code FT_SetUSBParameters}. */
    FT_SET_USB_PARAMETERS("FT_SetUSBParameters", false),
    /** {@code FT_CreateDeviceInfoList}. */
    FT_CREATE_DEVICE_INFO_LIST("FT_CreateDeviceInfoList", true),
    /** {@code FT_GetDeviceInfoList}. */
    FT_GET_DEVICE_INFO_LIST("FT_GetDeviceInfoList", true),
    /** {@code FT_GetDriverVersion}. */
    FT_GET_DRIVER_VERSION("FT_GetDriverVersion", false),
    /** {@code FT_GetLibraryVersion}. */
    FT_GET_LIBRARY_VERSION("FT_GetLibraryVersion", false),
    /** {@code FT_GetComPortNumber}. */
    FT_GET_COM_PORT_NUMBER("FT_GetComPortNumber", false),
    /** {@code FT_SetBitMode}: sets the bit mode and pin directions. */
    FT_SET_BIT_MODE("FT_SetBitMode", false),
    /** {@code FT_GetBitMode}: reads the pins' levels. */
    FT_GET_BIT_MODE("FT_GetBitMode", false),
    /** {@code FT_GetDeviceInfo}: type, id, serial number and description of an open device. */
    FT_GET_DEVICE_INFO("FT_GetDeviceInfo", false),
    /** {@code FT_GetStatus}: queue counts and the events since the last call. */
    FT_GET_STATUS("FT_GetStatus", false),
    /** {@code FT_ReadEE}: reads an EEPROM word. */
    FT_READ_EE("FT_ReadEE", false),
    /** {@code FT_WriteEE}: writes an EEPROM word. */
    FT_WRITE_EE("FT_WriteEE", false),
    /** {@code FT_EraseEE}: erases the EEPROM. */
    FT_ERASE_EE("FT_EraseEE", false),
    /** {@code FT_EE_UASize}: the size of the EEPROM's user area. */
    FT_EE_UA_SIZE("FT_EE_UASize", false),
    /** {@code FT_EE_UARead}: reads the EEPROM's user area. */
    FT_EE_UA_READ("FT_EE_UARead", false),
    /** {@code FT_EE_UAWrite}: writes the EEPROM's user area. */
    FT_EE_UA_WRITE("FT_EE_UAWrite", false),
    /** {@code FT_SetEventNotification}: registers an event to signal. */
    FT_SET_EVENT_NOTIFICATION("FT_SetEventNotification", false),
    /** {@code FT_ResetPort}: tries to recover the port. */
    FT_RESET_PORT("FT_ResetPort", false),
    /** {@code FT_CyclePort}: unplugs and replugs the port. */
    FT_CYCLE_PORT("FT_CyclePort", false);

    private final String driverName;
    private final boolean reportsCount;

    DriverFunction(String driverName, boolean reportsCount) {
        this.driverName = driverName;
        this.reportsCount = reportsCount;
    }

    /**
     * Returns the function's name in the driver.
     *
     * @return the name, such as "FT_Read"
     */
    public String driverName() {
        return driverName;
    }

    /**
     * Tells whether the function reports a count that {@link SimulatedDriver#reportNextCount}
     * can override.
     *
     * @return true for the reads, writes, queue and device-list queries that report a count
     */
    public boolean reportsCount() {
        return reportsCount;
    }
}
