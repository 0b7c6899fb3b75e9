package nl.tamsel.ftdi.sim.junit;

import java.lang.reflect.InvocationTargetException;
import java.util.List;
import java.util.function.Supplier;
import nl.tamsel.ftdi.sim.JtagDeviceModel;
import nl.tamsel.ftdi.sim.Pin;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedJtagChain;
import nl.tamsel.ftdi.usb.DeviceType;
import org.junit.jupiter.api.extension.ParameterResolutionException;

/** Attaches the FT232H and JTAG chain that a {@link JtagChain} annotation declares. */
final class JtagChains {

    private JtagChains() {
    }

    /** The chain the annotation declares, or the demo chain for none. */
    static SimulatedJtagChain attach(JtagChain declared) {
        String serial = declared == null ? "" : declared.serial();
        Pin[] trst = declared == null ? new Pin[0] : declared.trst();
        if (trst.length > 1) {
            throw new ParameterResolutionException("A JTAG chain has at most one TRST* pin, not "
                    + List.of(trst));
        }
        List<JtagDeviceModel> models = declared == null ? SimulatedJtagChain.demoChain() : models(declared);
        try {
            SimulatedDevice.Builder builder = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H)
                    .loopback(false);
            if (!serial.isEmpty()) {
                builder.serialNumber(serial);
            }
            return builder.attach().attachJtagChain(models, trst.length == 0 ? null : trst[0]);
        } catch (IllegalArgumentException e) {
            throw new ParameterResolutionException("The simulated driver refused " + declared + ": "
                    + e.getMessage(), e);
        }
    }

    private static List<JtagDeviceModel> models(JtagChain declared) {
        Class<? extends Supplier<List<JtagDeviceModel>>> type = declared.models();
        try {
            return type.getConstructor().newInstance().get();
        } catch (NoSuchMethodException | InstantiationException | IllegalAccessException e) {
            throw new ParameterResolutionException(type.getName() + " needs a public no-argument constructor"
                    + " to supply the JTAG chain's models", e);
        } catch (InvocationTargetException e) {
            throw new ParameterResolutionException(type.getName() + " failed to supply the JTAG chain's models",
                    e.getCause());
        }
    }
}
