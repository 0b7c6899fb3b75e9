package nl.tamsel.ftdi.sim;

import java.util.ArrayList;
import java.util.List;
import java.util.Objects;
import java.util.Optional;

/**
 * A JTAG scan chain wired to a simulated device's MPSSE pins: TCK = AD0, TDI = AD1 (into the
 * first device), TDO = AD2 (from the last device), TMS = AD3 and an optional TRST* (active low).
 * Each device follows the TAP state table, samples TMS and TDI on TCK's rising edge and changes
 * TDO on the falling edge; the waveform names the pins TCK, TDI, TDO, TMS and TRST, as sigrok's
 * {@code jtag} decoder expects.
 *
 * <pre>{@code
 * SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H)
 *         .serialNumber(SimulatedJtagChain.DEMO_SERIAL).attach();
 * SimulatedJtagChain chain = adapter.attachJtagChain(SimulatedJtagChain.demoChain());
 * ... the application scans the chain through MPSSE ...
 * assertEquals("RUN_TEST_IDLE", chain.device(0).state());
 * }</pre>
 */
public final class SimulatedJtagChain {

    /** The serial number of the tool's simulated FT232H that carries {@link #demoChain()}. */
    public static final String DEMO_SERIAL = "FT232HJT";

    /** The most devices one chain may have. */
    public static final int MAX_DEVICES = 256;

    private final SimulatedDevice adapter;
    private final int id;
    private final List<SimulatedJtagDevice> devices;
    private final Pin trst;

    SimulatedJtagChain(SimulatedDevice adapter, int id, List<JtagDeviceModel> models, Pin trst) {
        this.adapter = adapter;
        this.id = id;
        this.trst = trst;
        List<SimulatedJtagDevice> list = new ArrayList<>(models.size());
        for (int i = 0; i < models.size(); i++) {
            list.add(new SimulatedJtagDevice(this, i, models.get(i)));
        }
        this.devices = List.copyOf(list);
    }

    /**
     * Returns the models of the demo chain, from TDI to TDO: (1) IR 6 bits, IDCODE instruction
     * 0x09, IDCODE 0x1234A0F3, USERCODE 0xCAFE0001; (2) IR 4 bits, no IDCODE (BYPASS 0xF after
     * reset); (3) IR 8 bits, IDCODE instruction 0xFE, IDCODE 0x2B5C7A2D, with the programmable
     * memory.
     *
     * @return the three models
     */
    public static List<JtagDeviceModel> demoChain() {
        return List.of(
                JtagDeviceModel.builder(6).idcode(0x1234A0F3).idcodeInstruction(0x09)
                        .usercode(0xCAFE0001).build(),
                JtagDeviceModel.builder(4).build(),
                JtagDeviceModel.builder(8).idcode(0x2B5C7A2D).idcodeInstruction(0xFE).withMemory().build());
    }

    /**
     * Returns the simulated device whose pins carry the chain.
     *
     * @return the adapter
     */
    public SimulatedDevice adapter() {
        return adapter;
    }

    /**
     * Returns the number of devices in the chain.
     *
     * @return the count
     */
    public int size() {
        return devices.size();
    }

    /**
     * Returns one device of the chain.
     *
     * @param index its position from TDI (0) to TDO ({@code size() - 1})
     * @return the device
     * @throws IndexOutOfBoundsException for a position outside the chain
     */
    public SimulatedJtagDevice device(int index) {
        Objects.checkIndex(index, devices.size());
        return devices.get(index);
    }

    /**
     * Returns every device, from TDI to TDO.
     *
     * @return an unmodifiable list
     */
    public List<SimulatedJtagDevice> devices() {
        return devices;
    }

    /**
     * Returns the pin that carries TRST*, when the chain has one.
     *
     * @return the pin, or empty
     */
    public Optional<Pin> trstPin() {
        return Optional.ofNullable(trst);
    }

    /**
     * Returns the sum of the devices' instruction register lengths.
     *
     * @return the chain's IR length
     */
    public int irLength() {
        return devices.stream().mapToInt(device -> device.model().irLength()).sum();
    }

    int deviceId() {
        return adapter.liveId();
    }

    int id() {
        return id;
    }

    @Override
    public String toString() {
        return "JTAG chain of " + devices.size() + " devices on " + adapter;
    }
}
