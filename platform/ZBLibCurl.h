// HTTP client over one libcurl easy handle.
//
// The handle is created by ZBLibCurlInit and reused for every request, so
// connections to the same server are kept alive. Proxies are never used:
// the services this client talks to are local. Every exchange is bounded by
// a connect time-out and a total time-out, and ends early, failing, at a
// cancel of the calling thread or once the process that the thread names as
// its peer is stopped (YrCancel.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum _http_req_type_ { HTTP_REQ_GET = 0, HTTP_REQ_POST = 1 };
enum _http_hdr_type_ { HTTP_HDR_GENERIC = 0 };

using ZBLibCurlWriteCallback = uint64_t (*)(void* data, uint64_t size, uint64_t count, void* user);

class ZBLibCurl {
 public:
  static constexpr long kDefaultConnectTimeoutMs = 10 * 1000;
  static constexpr long kDefaultTotalTimeoutMs = 300 * 1000;

  ZBLibCurl();
  ~ZBLibCurl();
  ZBLibCurl(const ZBLibCurl&) = delete;
  ZBLibCurl& operator=(const ZBLibCurl&) = delete;

  // Make the object ready for requests. `caBundle` (may be null) names a CA
  // bundle for https; `verbose` turns on libcurl's own tracing to stderr;
  // `insecure` skips certificate checks. A non-null `callback` receives the
  // reply body instead of the object (GetHttpResponse then gives "").
  // Calling it again keeps the connection and the header list.
  bool ZBLibCurlInit(const char* caBundle, bool verbose, bool insecure,
                     ZBLibCurlWriteCallback callback);

  // Drop every header line appended so far.
  void ZBLibCurlFreeHttpHeaderList();
  // Add a complete header line ("Name: value") to every later request.
  // False, and nothing added, for a null line or one holding CR or LF.
  bool ZBLibCurlAppendHeader(_http_hdr_type_ type, const char* line);

  // Send a request: type 0 is GET, 1 is POST, with `length` bytes of `body`
  // (a GET with a body still goes out as GET). True when the server answered
  // with a 2xx status. The reply text and the status are kept for the
  // accessors in both cases. `expectBody` and `extra` are reserved (false,
  // null). An exchange cut short by a cancel or a stopped peer fails, with
  // "cancelled" or "the server (process N) is stopped" as its transport
  // error.
  bool ZBLibCurlSendHttpReq(_http_req_type_ type, const char* url, const char* body,
                            uint64_t length, bool expectBody, const char* extra);

  // The reply of the last exchange, NUL-terminated ("" when there was
  // none), valid until the next send. `length` receives its byte count,
  // which can exceed strlen() when the body holds NUL bytes.
  const char* GetHttpResponse(uint64_t* length, bool succeeded);
  // The HTTP status of the last exchange; 0 when no answer came.
  int64_t GetHttpErrorCode();
  // libcurl's description of the last transport failure, "" when none.
  const std::string& GetTransportError() const { return m_transportError; }

  // Bounds for later exchanges; a value that is not positive leaves that
  // bound as it was.
  void SetTimeouts(long connectTimeoutMs, long totalTimeoutMs);

 private:
  static size_t CollectBody(char* data, size_t size, size_t count, void* self);
  // Run the exchange set up on the handle; what libcurl made of it.
  int Perform();

  void* m_handle = nullptr;   // CURL*
  void* m_multi = nullptr;    // CURLM*, which keeps the connections alive
  void* m_headers = nullptr;  // curl_slist*
  ZBLibCurlWriteCallback m_callback = nullptr;
  std::vector<char> m_reply;  // body of the last exchange, NUL-terminated
  int64_t m_status = 0;
  std::string m_transportError;
  char m_errorText[256] = "";  // libcurl's error buffer (CURL_ERROR_SIZE)
  long m_connectTimeoutMs = kDefaultConnectTimeoutMs;
  long m_totalTimeoutMs = kDefaultTotalTimeoutMs;
};
