package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.channels.AsynchronousCloseException;
import java.nio.charset.StandardCharsets;
import java.time.Duration;
import java.util.EnumSet;
import java.util.Set;
import java.util.concurrent.atomic.AtomicReference;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.sim.SimulatedI2cTarget;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * The pin functions against the simulated chip: round-trip budgets (driver writes and reads per
 * call, each read asking for exactly the reply), pin ownership, SPI modes, events and close
 * racing a transaction. Skipped while the driver lacks the functions beyond the serial line.
 */
class PinFunctionsTest extends SimulatedDriverTestBase {

    private static final I2cAddress TARGET = I2cAddress.of(0x50);

    static FtdiDevice open232H() throws FtdiException {
        int device = SimulatedDriver.addDevice(0, D2XXConstants.FT_DEVICE_232H, FT232H_ID, 0x2000,
                "FT232H01".getBytes(StandardCharsets.US_ASCII), "Single RS232-HS".getBytes(StandardCharsets.US_ASCII));
        return FtdiDevice.openByIndex(device);
    }

    /** Counts the driver writes and reads of one call, and checks every read asked for the reply only. */
    interface Call {
        void run() throws IOException;
    }

    static int[] roundTrips(Call call) throws IOException {
        int writes = calls("FT_Write");
        int reads = calls("FT_Read");
        call.run();
        return new int[] {calls("FT_Write") - writes, calls("FT_Read") - reads};
    }

    /**
     * Driver writes and reads per call with real targets on the bus (an I2C target that
     * acknowledges at 0x50), and the reply bytes the last read asked for: exactly the reply.
     */
    @ParameterizedTest(name = "{0}: {1} write(s), {2} read(s) of {3} bytes")
    @CsvSource({
        // A start's free-bus check, the address, the register and 16 acknowledgements.
        "I2C write register + 16 bytes, 1, 1, 19",
        // The check, address and register acknowledgements, the read address's, 16 bytes.
        "I2C read 16 registers with repeated start, 1, 1, 20",
        // 56 addresses per half, each a free-bus check and an acknowledgement.
        "I2C scan 0x08-0x77, 2, 2, 112",
        "SPI duplex 4 bytes, 1, 1, 4",
        "SPI duplex 4096 bytes, 1, 1, 4096",
        // Eight samples per byte, one per bit clocked by pin commands.
        "SPI mode 3 duplex 4 bytes, 1, 1, 32",
        "SPI batch of 3 frames, 1, 1, 5",
        "GPIO write, 1, 0, 0",
        "GPIO read, 1, 1, 1",
    })
    void roundTripBudgets(String operation, int writes, int reads, int replyBytes) throws IOException {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).loopback(false).attach();
        SimulatedI2cTarget target = adapter.attachI2cTarget(TARGET.value());
        target.setRegisters(0x10, pattern(16, 1));
        try (FtdiDevice device = FtdiDevice.openByIndex(adapter.id())) {
            Call call;
            if (operation.startsWith("I2C")) {
                I2cMaster i2c = device.i2cMaster(I2cConfig.of(I2cSpeed.FAST));
                call = switch (operation) {
                    case "I2C write register + 16 bytes" -> () -> i2c.writeRegisters(TARGET, 0x10, pattern(16, 1));
                    case "I2C read 16 registers with repeated start" -> () -> assertArrayEquals(pattern(16, 1),
                            i2c.readRegisters(TARGET, 0x10, 16));
                    default -> () -> assertArrayEquals(new int[] {TARGET.value()}, i2c.scan());
                };
            } else if (operation.startsWith("SPI")) {
                int mode = operation.contains("mode 3") ? 3 : 0;
                SpiMaster spi = device.spiMaster(SpiConfig.builder().mode(mode).build());
                int size = operation.contains("4096") ? 4096 : 4;
                call = operation.contains("batch")
                        ? () -> spi.batch().write(new byte[3]).writeThenRead(new byte[] {(byte) 0x9F}, 3)
                                .transfer(new byte[2]).execute()
                        : () -> assertEquals(size, spi.transfer(new byte[size]).length);
            } else {
                MpssePins pins = device.spiMaster(SpiConfig.builder().build()).pins();
                pins.set(MpssePins.GPIOL0, true, false);
                call = operation.endsWith("write") ? () -> pins.write(MpssePins.GPIOL0, true)
                        : () -> pins.read(MpssePins.GPIOH0);
            }
            int[] counted = roundTrips(call);
            assertEquals(writes, counted[0], operation + ": driver writes");
            assertEquals(reads, counted[1], operation + ": driver reads");
            if (reads > 0) {
                assertEquals(replyBytes, lastArgs("FT_Read")[2], operation + ": bytes asked of FT_Read");
            }
        }
    }

    @ParameterizedTest(name = "reply of {0} expected bytes is read in one read of exactly that many")
    @CsvSource({"1", "4", "4096"})
    void readsAskForExactlyTheReply(int size) throws IOException {
        try (FtdiDevice device = open232H(); SpiMaster spi = device.spiMaster(SpiConfig.builder().build())) {
            spi.transfer(new byte[size]);
            long[] args = SimulatedDriver.lastArgs("FT_Read");
            assertEquals(size, args[2], "bytes asked of FT_Read");
        }
    }

    @ParameterizedTest(name = "SPI mode {0} reads the pulled-up MISO as all ones")
    @ValueSource(ints = {0, 1, 2, 3})
    void everySpiModeReadsTheLine(int mode) throws IOException {
        try (FtdiDevice device = open232H();
             SpiMaster spi = device.spiMaster(SpiConfig.builder().mode(mode).build())) {
            // Nothing drives MISO, so it reads high (pull-up) in every mode, in every bit.
            assertArrayEquals(new byte[] {-1, -1, -1}, spi.transfer(new byte[] {0x12, 0x34, 0x56}));
            assertArrayEquals(new byte[] {-1, -1}, spi.writeThenRead(new byte[] {(byte) 0x9F}, 2));
        }
    }

    @ParameterizedTest(name = "pin {0} belongs to the {1}")
    @CsvSource({"0, SPI clock", "1, SPI data out", "2, SPI data in", "3, SPI chip select"})
    void pinsTheSpiMasterOwnsAreRefused(int pin, String owner) throws IOException {
        try (FtdiDevice device = open232H(); SpiMaster spi = device.spiMaster(SpiConfig.builder().build())) {
            IllegalArgumentException e = assertThrows(IllegalArgumentException.class,
                    () -> spi.pins().write(pin, true));
            assertTrue(e.getMessage().contains(owner), e.getMessage());
        }
    }

    @ParameterizedTest(name = "pin {0} belongs to the {1}")
    @CsvSource({"0, I2C clock", "1, I2C data", "2, I2C data"})
    void pinsTheI2cMasterOwnsAreRefused(int pin, String owner) throws IOException {
        try (FtdiDevice device = open232H(); I2cMaster i2c = device.i2cMaster(I2cConfig.of(I2cSpeed.STANDARD))) {
            IllegalArgumentException e = assertThrows(IllegalArgumentException.class, () -> i2c.pins().read(pin));
            assertTrue(e.getMessage().contains(owner), e.getMessage());
        }
    }

    @Test
    void aSecondPinFunctionIsRefusedNamingTheFirst() throws IOException {
        try (FtdiDevice device = open232H(); SpiMaster spi = device.spiMaster(SpiConfig.builder().build())) {
            IllegalStateException e = assertThrows(IllegalStateException.class, () -> device.bitBang(0xFF));
            assertTrue(e.getMessage().contains("SpiMaster"), e.getMessage());
            spi.close();
            device.bitBang(0x0F).close();
        }
    }

    @ParameterizedTest(name = "I2C NACK of the address by {0}")
    @ValueSource(booleans = {false, true})
    void aMissingTargetIsAnAddressNack(boolean checkEachByte) throws IOException {
        try (FtdiDevice device = open232H();
             I2cMaster i2c = device.i2cMaster(new I2cConfig(I2cSpeed.FAST, checkEachByte))) {
            for (I2cAddress address : new I2cAddress[] {I2cAddress.of(0x50), I2cAddress.tenBit(0x2A5)}) {
                I2cNackException e = assertThrows(I2cNackException.class,
                        () -> i2c.write(address, new byte[] {1, 2, 3}));
                assertTrue(e.addressRefused());
                assertEquals(address, e.address());
            }
            assertEquals(0, i2c.scan().length);
        }
    }

    @Test
    void receivedBytesAreAnEvent() throws IOException {
        int index = attach();
        try (FtdiDevice device = FtdiDevice.openByIndex(index)) {
            assertEquals(Set.of(), device.awaitEvent(EnumSet.of(DeviceEvent.RECEIVED_BYTES), Duration.ZERO));
            SimulatedDriver.inject(index, new byte[] {1, 2, 3});
            assertEquals(Set.of(DeviceEvent.RECEIVED_BYTES),
                    device.awaitEvent(EnumSet.allOf(DeviceEvent.class), Duration.ofMinutes(1)));
            assertEquals(3, device.status().receiveQueue());
        }
    }

    @Test
    void closeEndsAnEventWait() throws Exception {
        FtdiDevice device = FtdiDevice.openByIndex(attach());
        AtomicReference<Throwable> outcome = new AtomicReference<>();
        Thread waiter = new Thread(() -> {
            try {
                device.awaitEvent(EnumSet.of(DeviceEvent.MODEM_STATUS), FtdiDevice.MAX_TIMEOUT);
            } catch (Throwable t) {
                outcome.set(t);
            }
        });
        waiter.start();
        device.close();
        waiter.join();
        // Closed before it waited, or while it waited: either way it ends, with one of the two.
        assertTrue(outcome.get() instanceof AsynchronousCloseException || outcome.get() instanceof IllegalStateException,
                String.valueOf(outcome.get()));
    }

    @ParameterizedTest(name = "close races {0}")
    @ValueSource(strings = {"SPI transfers", "I2C scans", "SPI transactions"})
    void closeRacesTransactions(String what) throws Exception {
        FtdiDevice device = open232H();
        SpiMaster spi = what.startsWith("SPI") ? device.spiMaster(SpiConfig.builder().build()) : null;
        I2cMaster i2c = spi == null ? device.i2cMaster(I2cConfig.of(I2cSpeed.FAST_PLUS)) : null;
        AtomicReference<Throwable> unexpected = new AtomicReference<>();
        java.util.concurrent.CountDownLatch running = new java.util.concurrent.CountDownLatch(1);
        Thread user = new Thread(() -> {
            try {
                for (;;) {
                    if (spi != null && what.endsWith("transactions")) {
                        try (SpiMaster.Transaction t = spi.transaction()) {
                            t.write(new byte[64]);
                            t.read(64);
                        }
                    } else if (spi != null) {
                        spi.transfer(new byte[256]);
                    } else {
                        i2c.scan();
                    }
                    running.countDown();
                }
            } catch (IllegalStateException | AsynchronousCloseException expected) {
                // The two ways a call learns of the close.
            } catch (Throwable t) {
                unexpected.set(t);
            } finally {
                running.countDown();
            }
        });
        user.start();
        running.await();
        device.close();
        user.join();
        if (unexpected.get() != null) {
            throw new AssertionError("unexpected outcome", unexpected.get());
        }
    }
}
