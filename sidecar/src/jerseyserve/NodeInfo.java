package jerseyserve;

import java.lang.management.ManagementFactory;
import java.lang.management.MemoryUsage;
import java.util.Locale;
import java.util.Map;
import java.util.UUID;

/**
 * The body of the "info" operation: a JSON object shaped like a real node's answer, followed by
 * what the sidecar read at start that is not secret and, for each secret, only whether it was
 * given.
 */
final class NodeInfo {
  private final SidecarSettings settings;
  private final String configDirectory;
  private final int port;
  private final long startMillis = System.currentTimeMillis();
  private final String hostId = UUID.randomUUID().toString();

  NodeInfo(SidecarSettings settings, String configDirectory, int port) {
    this.settings = settings;
    this.configDirectory = configDirectory;
    this.port = port;
  }

  String toJson() {
    MemoryUsage heap = ManagementFactory.getMemoryMXBean().getHeapMemoryUsage();
    StringBuilder json = new StringBuilder("{");
    field(json, "gossip_active", "true");
    field(json, "native_active", "true");
    field(json, "thrift_active", "false");
    field(json, "token", quote("[-9223372036854775808]"));
    field(json, "load", quote("0 bytes"));
    field(json, "generation_no", Long.toString(startMillis / 1000));
    field(json, "uptime", Long.toString((System.currentTimeMillis() - startMillis) / 1000));
    field(json, "heap_memory_mb",
        quote(String.format(Locale.ROOT, "%.2f/%.2f", heap.getUsed() / (1024.0 * 1024),
            heap.getMax() / (1024.0 * 1024))));
    field(json, "data_center", quote("datacenter1"));
    field(json, "rack", quote("rack1"));
    field(json, "host_id", quote(hostId));
    field(json, "standin", "true");
    field(json, "pid", Long.toString(ProcessHandle.current().pid()));
    field(json, "port", Integer.toString(port));
    field(json, "config_dir", quote(configDirectory));

    StringBuilder shown = new StringBuilder("{");
    for (Map.Entry<String, String> entry : settings.shown.entrySet()) {
      field(shown, entry.getKey(), entry.getValue() == null ? "null" : quote(entry.getValue()));
    }
    field(json, "settings", shown.append('}').toString());

    StringBuilder secrets = new StringBuilder("{");
    for (Map.Entry<String, Boolean> entry : settings.secretPresent.entrySet()) {
      field(secrets, entry.getKey(), entry.getValue().toString());
    }
    field(json, "secrets_present", secrets.append('}').toString());
    return json.append('}').toString();
  }

  /** Append {@code "name":value} to an object under construction. */
  private static void field(StringBuilder object, String name, String jsonValue) {
    if (object.length() > 1) {
      object.append(',');
    }
    object.append(quote(name)).append(':').append(jsonValue);
  }

  /** {@code text} as a JSON string literal. */
  static String quote(String text) {
    StringBuilder quoted = new StringBuilder(text.length() + 2).append('"');
    for (int i = 0; i < text.length(); i++) {
      char c = text.charAt(i);
      if (c == '"' || c == '\\') {
        quoted.append('\\').append(c);
      } else if (c < 0x20) {
        quoted.append(String.format("\\u%04x", (int) c));
      } else {
        quoted.append(c);
      }
    }
    return quoted.append('"').toString();
  }
}
