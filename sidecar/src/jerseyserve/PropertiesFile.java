package jerseyserve;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.util.HashMap;
import java.util.Map;

/**
 * Reader for the sidecar's configuration files: one "key=value" entry per line, split at the
 * first "=". Nothing is trimmed and no comment syntax is known, so a key reads exactly as the
 * controller wrote it. Empty lines and lines without "=" hold no entry; of a repeated key the
 * last line wins.
 */
final class PropertiesFile {
  private PropertiesFile() {}

  /** The entries of {@code file}, or null when it does not exist. */
  static Map<String, String> read(Path file) throws IOException {
    byte[] bytes;
    try {
      bytes = Files.readAllBytes(file);
    } catch (NoSuchFileException e) {
      return null;
    }
    Map<String, String> entries = new HashMap<>();
    for (String line : new String(bytes, StandardCharsets.UTF_8).split("\n", -1)) {
      int equals = line.indexOf('=');
      if (equals < 0) {
        continue;
      }
      entries.put(line.substring(0, equals), line.substring(equals + 1));
    }
    return entries;
  }
}
