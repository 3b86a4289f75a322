package jerseyserve;

import com.sun.net.httpserver.HttpServer;
import java.io.IOException;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.nio.file.Paths;
import java.util.Map;
import java.util.concurrent.CountDownLatch;

/**
 * A stand-in for the Priam sidecar, so that its controller can be run end to end without the real
 * one. Started as
 *
 * <pre>java [options] -Dzbpriam.config.file=DIR -cp priam.jar jerseyserve.server PORT</pre>
 *
 * it reads "zbPriam.properties" and "zbPriamlog4j.properties" from DIR once, at start (the
 * controller removes the secrets from the first soon after), and serves its REST operations on
 * 127.0.0.1:PORT until it is killed. The command line is left as it is, so the process table
 * shows the port as its last word.
 */
public final class server {
  static final String CONFIG_DIRECTORY_PROPERTY = "zbpriam.config.file";
  static final String PROPERTIES_FILE = "zbPriam.properties";
  static final String LOG_CONFIG_FILE = "zbPriamlog4j.properties";
  static final String LOG_FILE_KEY = "log4j.appender.R.File";

  private server() {}

  public static void main(String[] args) throws InterruptedException {
    String configDirectory = System.getProperty(CONFIG_DIRECTORY_PROPERTY, "");

    Map<String, String> logConfig = readOrNull(configDirectory, LOG_CONFIG_FILE, null);
    SidecarLog log = openLog(logConfig);
    if (logConfig == null) {
      log.info(
          "No " + LOG_CONFIG_FILE + " in [" + configDirectory + "]; logging to standard error");
    }
    Map<String, String> properties = readOrNull(configDirectory, PROPERTIES_FILE, log);
    if (properties == null) {
      log.info("No " + PROPERTIES_FILE + " in [" + configDirectory + "]; using defaults");
    }
    SidecarSettings settings = new SidecarSettings(properties, log);

    int port = commandLinePort(args, log);
    log.info("Starting stand-in Priam sidecar: pid " + ProcessHandle.current().pid()
        + ", configuration directory [" + configDirectory + "], port " + port);
    if (settings.exitImmediately) {
      log.info("Exiting at once (" + SidecarSettings.EXIT_IMMEDIATELY + ")");
      System.exit(1);
    }
    if (settings.listenPort >= 0) {
      log.info("Listening on port " + settings.listenPort + " instead of " + port + " ("
          + SidecarSettings.LISTEN_PORT + ")");
      port = settings.listenPort;
    }

    if (settings.neverListen) {
      log.info("Not listening (" + SidecarSettings.NEVER_LISTEN + ")");
      Runtime.getRuntime().addShutdownHook(new Thread(() -> log.info("Stopping")));
      new CountDownLatch(1).await(); // until a signal ends the process
      return;
    }

    HttpServer http = listen(port, log);
    NodeInfo info = new NodeInfo(settings, configDirectory, port);
    http.createContext("/", new CassAdminHandler(info, settings, log));
    Runtime.getRuntime().addShutdownHook(new Thread(() -> {
      log.info("Stopping");
      http.stop(0);
    }));
    http.start();
    log.info("Listening on 127.0.0.1:" + port);
  }

  /** The port, the last word of the command line; exits with status 2 when there is none. */
  private static int commandLinePort(String[] args, SidecarLog log) {
    String last = args.length > 0 ? args[args.length - 1] : "";
    try {
      int port = Integer.parseInt(last);
      if (port >= 0 && port <= 65535) {
        return port;
      }
    } catch (NumberFormatException e) {
      // Reported below.
    }
    log.error("Usage: java -D" + CONFIG_DIRECTORY_PROPERTY
        + "=DIR -cp priam.jar jerseyserve.server PORT (got [" + last + "])");
    System.exit(2);
    return -1;
  }

  /** A server bound to 127.0.0.1:port, not yet started; exits with status 1 when it cannot bind. */
  private static HttpServer listen(int port, SidecarLog log) {
    try {
      return HttpServer.create(
          new InetSocketAddress(InetAddress.getByAddress(new byte[] {127, 0, 0, 1}), port), 0);
    } catch (IOException e) {
      log.error("Cannot listen on 127.0.0.1:" + port + ": " + e);
      System.exit(1);
      return null;
    }
  }

  /** The log the logging configuration asks for; standard error when it names no file. */
  private static SidecarLog openLog(Map<String, String> logConfig) {
    String file = logConfig != null ? logConfig.get(LOG_FILE_KEY) : null;
    if (file == null || file.isEmpty()) {
      return SidecarLog.toStandardError();
    }
    try {
      return SidecarLog.toFile(Paths.get(file));
    } catch (IOException | RuntimeException e) {
      SidecarLog log = SidecarLog.toStandardError();
      log.error("Cannot open the log file [" + file + "]: " + e + "; logging to standard error");
      return log;
    }
  }

  /**
   * The entries of the file {@code name} in {@code directory}, or null when it is missing or no
   * directory was given. A file that exists but cannot be read is reported to {@code log}
   * (standard error when null) and counts as missing.
   */
  private static Map<String, String> readOrNull(String directory, String name, SidecarLog log) {
    if (directory.isEmpty()) {
      return null;
    }
    try {
      return PropertiesFile.read(Paths.get(directory, name));
    } catch (IOException | RuntimeException e) {
      (log != null ? log : SidecarLog.toStandardError())
          .error("Cannot read " + name + " in [" + directory + "]: " + e);
      return null;
    }
  }
}
