import java.io.IOException;
import org.junit.jupiter.api.extension.AnnotatedElementContext;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.concurrent.atomic.AtomicLong;
import org.junit.jupiter.api.extension.ExtensionContext;
import org.junit.jupiter.api.io.TempDirFactory;

/**
 * Makes JUnit's @TempDir directories under java.io.tmpdir with a counter in the name.
 *
 * <p>Used only by scripts/test-windows-jvm: the JDK's own temporary names come from SecureRandom,
 * whose seeding on a Windows JVM enumerates network interfaces, and Wine 8 cannot answer that
 * (the JVM dies with exception 0xc06d007f in NetworkInterface.getAll). Windows itself can, so
 * users never meet this and the library does not bend to it.
 */
public final class CountingTempDirFactory implements TempDirFactory {

    private static final AtomicLong COUNTER = new AtomicLong();

    @Override
    public Path createTempDirectory(AnnotatedElementContext element, ExtensionContext context) throws IOException {
        Path root = Path.of(System.getProperty("java.io.tmpdir"));
        return Files.createDirectories(root.resolve("junit-" + ProcessHandle.current().pid() + "-"
                + COUNTER.incrementAndGet()));
    }
}
