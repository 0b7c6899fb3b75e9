package nl.tamsel.ftdi.internal;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;

/**
 * A JVM of its own that extracts and loads a library when told to: it prints "ready", waits for
 * a line on standard input, then prints "loaded" and the path it loaded.
 */
public final class ExtractingProcess {

    private ExtractingProcess() {
    }

    /**
     * Extracts and loads one library.
     *
     * @param args the cache root, the library file to extract, its platform, stem and file name
     * @throws IOException when the library or standard input cannot be read
     */
    public static void main(String[] args) throws IOException {
        Path root = Path.of(args[0]);
        byte[] library = Files.readAllBytes(Path.of(args[1]));
        System.out.println("ready");
        new BufferedReader(new InputStreamReader(System.in, StandardCharsets.UTF_8)).readLine();
        Path loaded = LibraryExtractor.extractAndLoad(new java.io.ByteArrayInputStream(library), root, args[2],
                args[3], "1.0.0", args[4], path -> { }, path -> System.load(path.toString()));
        System.out.println("loaded " + loaded);
    }
}
