package jerseyserve;

import java.io.IOException;
import java.io.PrintStream;
import java.io.Writer;
import java.nio.charset.StandardCharsets;
import java.nio.file.FileAlreadyExistsException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardOpenOption;
import java.nio.file.attribute.PosixFilePermissions;
import java.time.LocalDateTime;
import java.time.format.DateTimeFormatter;

/**
 * The sidecar's log: one line per event, appended to the file that the log4j configuration
 * names, or written to standard error when it names none. Every line is flushed at once, so
 * nothing is lost when the controller kills the process. Callers never pass a secret value.
 */
final class SidecarLog {
  private static final DateTimeFormatter TIME =
      DateTimeFormatter.ofPattern("yyyy-MM-dd HH:mm:ss,SSS");

  private final Writer file; // null: standard error
  private final PrintStream stderr = System.err;

  private SidecarLog(Writer file) {
    this.file = file;
  }

  static SidecarLog toStandardError() {
    return new SidecarLog(null);
  }

  /**
   * A log appending to {@code path}. A new file is readable by its owner only, like the
   * controller's own files. Throws when the file cannot be opened.
   */
  static SidecarLog toFile(Path path) throws IOException {
    try {
      Files.createFile(
          path, PosixFilePermissions.asFileAttribute(PosixFilePermissions.fromString("rw-------")));
    } catch (FileAlreadyExistsException e) {
      // Appended to, as log4j does.
    }
    return new SidecarLog(Files.newBufferedWriter(
        path, StandardCharsets.UTF_8, StandardOpenOption.WRITE, StandardOpenOption.APPEND));
  }

  void info(String message) {
    write("INFO ", message);
  }

  void error(String message) {
    write("ERROR", message);
  }

  private synchronized void write(String level, String message) {
    String line = TIME.format(LocalDateTime.now()) + " " + level + " [jerseyserve] " + message;
    if (file == null) {
      stderr.println(line);
      return;
    }
    try {
      file.write(line);
      file.write('\n');
      file.flush();
    } catch (IOException e) {
      stderr.println(line);
    }
  }
}
