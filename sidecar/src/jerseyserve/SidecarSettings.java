package jerseyserve;

import java.util.Collections;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

/**
 * What the sidecar keeps from "zbPriam.properties": the connection settings it may show, whether
 * each secret was given (never the secret itself, which is dropped once read), and the
 * behaviour switches that let tests make it misbehave on purpose.
 */
final class SidecarSettings {
  /** Settings shown by the "info" operation; none of them is secret. */
  static final List<String> SHOWN_KEYS = List.of("priam.cqlhost", "priam.cqlport", "priam.jmx.port",
      "priam.cass.process", "priam.cqlusername", "priam.jmx.user");

  /** Keys whose values are secret: only their presence is kept. */
  static final List<String> SECRET_KEYS =
      List.of("priam.cqluserpassword", "priam.jmx.token", "priam.server.kspasswd",
          "priam.server.tspasswd", "priam.keystore.password", "priam.truststore.password");

  static final String WARMUP_MS = "standin.warmup.ms";
  static final String WARMUP_REQUESTS = "standin.warmup.requests";
  static final String EXIT_IMMEDIATELY = "standin.exit.immediately";
  static final String LISTEN_PORT = "standin.listen.port";
  static final String NEVER_LISTEN = "standin.never.listen";
  static final String HANG_OPERATION = "standin.hang.operation";

  /** Shown settings in SHOWN_KEYS order; an absent key maps to null. */
  final Map<String, String> shown;
  /** Each secret key, in SECRET_KEYS order, mapped to whether the file held it. */
  final Map<String, Boolean> secretPresent;
  /**
   * A CQL user name without a password: the real sidecar could not log in to its node, so every
   * operation is refused.
   */
  final boolean cannotAuthenticate;

  final long warmupMs;
  /** How many of the first requests for a known operation are answered 503. */
  final long warmupRequests;
  final boolean exitImmediately;
  /** The port to listen on instead of the command line's, or -1. */
  final int listenPort;
  final boolean neverListen;
  /**
   * An operation whose requests are taken and never answered, as by a JVM that froze while the
   * system still accepts its connections; null for none.
   */
  final String hangOperation;

  /** Settings from the file's entries (null when the file is missing); notes go to {@code log}. */
  SidecarSettings(Map<String, String> entries, SidecarLog log) {
    Map<String, String> file = entries != null ? entries : Collections.emptyMap();

    Map<String, String> shownValues = new LinkedHashMap<>();
    for (String key : SHOWN_KEYS) {
      shownValues.put(key, file.get(key));
    }
    shown = Collections.unmodifiableMap(shownValues);

    Map<String, Boolean> present = new LinkedHashMap<>();
    for (String key : SECRET_KEYS) {
      present.put(key, file.containsKey(key));
    }
    secretPresent = Collections.unmodifiableMap(present);

    String user = file.get("priam.cqlusername");
    String password = file.get("priam.cqluserpassword");
    cannotAuthenticate =
        user != null && !user.isEmpty() && (password == null || password.isEmpty());

    warmupMs = number(file, WARMUP_MS, 0, Long.MAX_VALUE, 0, log);
    warmupRequests = number(file, WARMUP_REQUESTS, 0, Long.MAX_VALUE, 0, log);
    exitImmediately = "true".equalsIgnoreCase(file.get(EXIT_IMMEDIATELY));
    listenPort = (int) number(file, LISTEN_PORT, 0, 65535, -1, log);
    neverListen = "true".equalsIgnoreCase(file.get(NEVER_LISTEN));
    String hang = file.get(HANG_OPERATION);
    hangOperation = hang == null || hang.isEmpty() ? null : hang;
  }

  /** The decimal value of {@code key} within [min, max], else {@code fallback}. */
  private static long number(
      Map<String, String> file, String key, long min, long max, long fallback, SidecarLog log) {
    String text = file.get(key);
    if (text == null) {
      return fallback;
    }
    try {
      long value = Long.parseLong(text.trim());
      if (value >= min && value <= max) {
        return value;
      }
    } catch (NumberFormatException e) {
      // Reported below.
    }
    log.error("Ignoring " + key + "=" + text + ": not a number from " + min + " to " + max);
    return fallback;
  }
}
