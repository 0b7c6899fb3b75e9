package nl.tamsel.ftdi.benchmark;

import org.openjdk.jmh.annotations.Param;
import org.openjdk.jmh.annotations.Scope;
import org.openjdk.jmh.annotations.Setup;
import org.openjdk.jmh.annotations.State;

/**
 * The transfer sizes every binding is measured at: one byte, a short packet, the largest
 * transfer the bridge buffers on the stack and the smallest it takes from the heap, a USB
 * transfer block and a large read.
 */
@State(Scope.Thread)
public class TransferSize {

    /** Bytes per read or write. */
    @Param({"1", "64", "256", "257", "4096", "65536"})
    public int size;

    /** The Java array the bytes are read into or written from. */
    public byte[] bytes;

    @Setup
    public void allocate() {
        bytes = new byte[size];
    }
}
