package jerseyserve;

import com.sun.net.httpserver.HttpExchange;
import com.sun.net.httpserver.HttpHandler;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.atomic.AtomicLong;

/**
 * Answers every request the server receives. Operations live under "/REST/v1/cassadmin/"; only
 * "info" is known. A known operation is refused with 503 "JMXConnectionException" while the
 * back end is warming up, and with 401 when the sidecar has no way to log in to its node.
 */
final class CassAdminHandler implements HttpHandler {
  static final String PREFIX = "/REST/v1/cassadmin/";

  private final NodeInfo info;
  private final SidecarSettings settings;
  private final SidecarLog log;
  private final long readyAtNanos;
  /** Requests for a known operation so far; counted so tests need not race a clock. */
  private final AtomicLong knownRequests = new AtomicLong();

  CassAdminHandler(NodeInfo info, SidecarSettings settings, SidecarLog log) {
    this.info = info;
    this.settings = settings;
    this.log = log;
    this.readyAtNanos = System.nanoTime() + settings.warmupMs * 1_000_000L;
  }

  /** A status, the body text and its media type. */
  private static final class Reply {
    final int status;
    final String body;
    final String type;

    Reply(int status, String body, String type) {
      this.status = status;
      this.body = body;
      this.type = type;
    }

    static Reply text(int status, String body) {
      return new Reply(status, body, "text/plain; charset=utf-8");
    }
  }

  @Override
  public void handle(HttpExchange exchange) throws IOException {
    try {
      discardBody(exchange.getRequestBody());
      String method = exchange.getRequestMethod();
      // The raw path is percent-encoded, so it cannot break a log line; the query string may
      // carry anything and is never logged.
      String path = exchange.getRequestURI().getRawPath();
      if (settings.hangOperation != null && path.equals(PREFIX + settings.hangOperation)) {
        hang(method, path);
      }
      Reply reply;
      try {
        reply = answer(method, path);
      } catch (RuntimeException e) {
        log.error("Failed to answer " + method + " " + path + ": " + e);
        reply = Reply.text(500, "Internal error");
      }
      send(exchange, reply);
      log.info(method + " " + path + " " + reply.status);
    } finally {
      exchange.close();
    }
  }

  /**
   * Never returns: the server's one thread waits here, so neither this request nor any later one
   * is answered, while the system goes on taking connections.
   */
  private void hang(String method, String path) {
    log.info(method + " " + path + " not answered (" + SidecarSettings.HANG_OPERATION + ")");
    CountDownLatch never = new CountDownLatch(1);
    for (;;) {
      try {
        never.await();
      } catch (InterruptedException e) {
        // Still frozen.
      }
    }
  }

  private Reply answer(String method, String path) {
    if (!method.equals("GET") && !method.equals("POST")) {
      return Reply.text(405, "");
    }
    if (!path.startsWith(PREFIX) || !path.substring(PREFIX.length()).equals("info")) {
      return Reply.text(404, "Not Found");
    }
    boolean warmingUp = knownRequests.incrementAndGet() <= settings.warmupRequests;
    if (warmingUp || System.nanoTime() - readyAtNanos < 0) {
      return Reply.text(503, "JMXConnectionException");
    }
    if (settings.cannotAuthenticate) {
      return Reply.text(401, "AuthenticationException");
    }
    return new Reply(200, info.toJson(), "application/json");
  }

  private static void send(HttpExchange exchange, Reply reply) throws IOException {
    byte[] body = reply.body.getBytes(StandardCharsets.UTF_8);
    if (reply.status == 405) {
      exchange.getResponseHeaders().set("Allow", "GET, POST");
    }
    exchange.getResponseHeaders().set("Content-Type", reply.type);
    // HEAD answers and empty bodies go out without a body.
    boolean noBody = body.length == 0 || exchange.getRequestMethod().equals("HEAD");
    exchange.sendResponseHeaders(reply.status, noBody ? -1 : body.length);
    if (!noBody) {
      try (OutputStream out = exchange.getResponseBody()) {
        out.write(body);
      }
    }
  }

  /** Read the request body to its end so the connection can be reused. */
  private static void discardBody(InputStream body) throws IOException {
    byte[] chunk = new byte[8192];
    while (body.read(chunk) >= 0) {
      // Only the operation's path matters; bodies are ignored.
    }
  }
}
