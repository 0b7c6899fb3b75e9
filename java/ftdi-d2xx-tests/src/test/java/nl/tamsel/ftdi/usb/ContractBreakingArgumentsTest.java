package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.stream.Stream;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import org.junit.jupiter.api.DynamicTest;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.TestFactory;

/**
 * Every native method, called with every combination of null, zero, negative and extreme
 * arguments while no device is open: each call must answer with a negative number, null, an
 * empty result or an exception, and never bring the JVM down or trip a JNI check.
 */
class ContractBreakingArgumentsTest extends SimulatedDriverTestBase {

    /** As long as the largest array below, so that a whole-array transfer takes the heap path. */
    private static final int HUGE = 1 << 20;

    private static final Map<Class<?>, List<Object>> CANDIDATES = Map.of(
            long.class, List.of(0L, 1L, -1L, Long.MIN_VALUE, Long.MAX_VALUE, 0x7ABC_DEF0_0000_0000L),
            int.class, List.of(0, 1, -1, Integer.MIN_VALUE, Integer.MAX_VALUE, HUGE),
            byte.class, List.of((byte) 0, (byte) -1, Byte.MIN_VALUE),
            boolean.class, List.of(false, true),
            String.class, Arrays.asList(null, "", "\u0000", "\uD800", "\uDC00a\uD800", "x".repeat(10_000),
                    "\uDBFF".repeat(10_000)),
            byte[].class, Arrays.asList(null, new byte[0], new byte[8], new byte[HUGE]));

    static List<Method> nativeMethods() {
        return Arrays.stream(D2XX.class.getDeclaredMethods())
                .filter(m -> Modifier.isNative(m.getModifiers()))
                .toList();
    }

    @Test
    void everyDriverOperationIsAPublicStaticNativeMethod() {
        List<Method> methods = nativeMethods();
        assertEquals(29, methods.size());
        for (Method method : methods) {
            assertTrue(Modifier.isPublic(method.getModifiers()) && Modifier.isStatic(method.getModifiers()),
                    method.toString());
        }
    }

    @TestFactory
    Stream<DynamicTest> nothingCrashes() {
        return nativeMethods().stream().map(method -> DynamicTest.dynamicTest(method.getName(), () -> {
            SimulatedDriver.reset();
            // Listed, so the list is not empty, but impossible to open: no call can reach a real handle.
            SimulatedDriver.setOpenedElsewhere(attach(), true);
            int calls = 0;
            for (Object[] args : combinations(method.getParameterTypes())) {
                Object result = invoke(method, args);
                calls++;
                if (!acceptable(method, args, result)) {
                    fail(method.getName() + Arrays.deepToString(args) + " returned " + describe(result));
                }
            }
            assertTrue(calls > 0);
        }));
    }

    /** Negative, null or empty; zero too for a transfer of no bytes and for VID/PID-free calls. */
    private static boolean acceptable(Method method, Object[] args, Object result) {
        if (result instanceof Throwable thrown) {
            return thrown instanceof NullPointerException || thrown instanceof ArrayIndexOutOfBoundsException;
        }
        if (args.length == 0) {
            // Nothing to get wrong: these ask the library itself.
            return true;
        }
        if (result instanceof Integer value) {
            boolean emptyTransfer = (method.getName().equals("read") || method.getName().equals("write"))
                    && (Integer) args[3] == 0;
            return value < 0 || (emptyTransfer && value == 0);
        }
        if (result instanceof Long value) {
            return value < 0;
        }
        return result == null;
    }

    private static Object invoke(Method method, Object[] args) {
        try {
            return method.invoke(null, args);
        } catch (InvocationTargetException e) {
            return e.getCause();
        } catch (IllegalAccessException e) {
            throw new AssertionError(e);
        }
    }

    private static List<Object[]> combinations(Class<?>[] types) {
        List<Object[]> combinations = new ArrayList<>();
        combinations.add(new Object[0]);
        for (Class<?> type : types) {
            List<Object> candidates = CANDIDATES.get(type);
            assertTrue(candidates != null, "no candidates for " + type);
            List<Object[]> extended = new ArrayList<>();
            for (Object[] prefix : combinations) {
                for (Object candidate : candidates) {
                    Object[] args = Arrays.copyOf(prefix, prefix.length + 1);
                    args[prefix.length] = candidate instanceof byte[] bytes ? bytes.clone() : candidate;
                    extended.add(args);
                }
            }
            combinations = extended;
        }
        return combinations;
    }

    private static String describe(Object result) {
        return result instanceof Object[] array ? Arrays.toString(array) : String.valueOf(result);
    }
}
