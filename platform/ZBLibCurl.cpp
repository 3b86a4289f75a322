#include "ZBLibCurl.h"

#include <curl/curl.h>
#include <sys/socket.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "YrCancel.h"

namespace {

// libcurl's global set-up is not thread-safe; do it once per process.
bool GlobalInit() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  return ok;
}

CURL* Handle(void* handle) { return static_cast<CURL*>(handle); }
CURLM* Multi(void* multi) { return static_cast<CURLM*>(multi); }

// How often a transfer that waits looks at its peer's state: reading it
// costs microseconds, a frozen peer costs the whole time-out.
constexpr int kPeerCheckMs = 100;

// Why a transfer was given up before libcurl ended it.
constexpr CURLcode kGivenUp = CURLE_ABORTED_BY_CALLBACK;

// Sockets are created close-on-exec in one step: a program the host starts
// from another thread meanwhile must not inherit a connection to the
// sidecar.
curl_socket_t OpenSocket(void*, curlsocktype, struct curl_sockaddr* address) {
  return socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

}  // namespace

ZBLibCurl::ZBLibCurl() {
  static_assert(sizeof m_errorText >= CURL_ERROR_SIZE, "libcurl's error buffer is too small");
  m_reply.push_back('\0');
}

ZBLibCurl::~ZBLibCurl() {
  ZBLibCurlFreeHttpHeaderList();
  if (m_handle) curl_easy_cleanup(Handle(m_handle));
  if (m_multi) curl_multi_cleanup(Multi(m_multi));
}

bool ZBLibCurl::ZBLibCurlInit(const char* caBundle, bool verbose, bool insecure,
                              ZBLibCurlWriteCallback callback) {
  if (!GlobalInit()) return false;
  if (!m_handle) m_handle = curl_easy_init();
  if (!m_multi) m_multi = curl_multi_init();
  if (!m_handle || !m_multi) return false;
  CURL* curl = Handle(m_handle);
  m_callback = callback;
  bool ok = curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, OpenSocket) == CURLE_OK;
  // The buffer lives as long as the handle, so libcurl never writes into
  // memory that is gone, whichever way a request ends.
  ok = ok && curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, m_errorText) == CURLE_OK;
  // The peers are local services: an http_proxy set for the host's other
  // traffic must not reroute them.
  ok = ok && curl_easy_setopt(curl, CURLOPT_PROXY, "") == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_NOPROXY, "*") == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_VERBOSE, verbose ? 1L : 0L) == CURLE_OK;
  if (caBundle) ok = ok && curl_easy_setopt(curl, CURLOPT_CAINFO, caBundle) == CURLE_OK;
  if (insecure) {
    ok = ok && curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L) == CURLE_OK;
  }
  return ok;
}

void ZBLibCurl::ZBLibCurlFreeHttpHeaderList() {
  curl_slist_free_all(static_cast<curl_slist*>(m_headers));
  m_headers = nullptr;
}

bool ZBLibCurl::ZBLibCurlAppendHeader(_http_hdr_type_ /*type*/, const char* line) {
  // libcurl sends a line as it is: a line break inside it would start a
  // header, or a request, of the caller's making.
  if (!line || std::strpbrk(line, "\r\n")) return false;
  curl_slist* grown = curl_slist_append(static_cast<curl_slist*>(m_headers), line);
  if (!grown) return false;
  m_headers = grown;
  return true;
}

size_t ZBLibCurl::CollectBody(char* data, size_t size, size_t count, void* self) {
  ZBLibCurl* client = static_cast<ZBLibCurl*>(self);
  const size_t bytes = size * count;
  if (client->m_callback) return client->m_callback(data, size, count, nullptr);
  // No exception may unwind through libcurl: a reply that does not fit in
  // memory ends the transfer as a write error instead.
  try {
    // Keep the terminating NUL last.
    client->m_reply.insert(client->m_reply.end() - 1, data, data + bytes);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return bytes;
}

bool ZBLibCurl::ZBLibCurlSendHttpReq(_http_req_type_ type, const char* url, const char* body,
                                     uint64_t length, bool /*expectBody*/, const char* /*extra*/) {
  m_reply.assign(1, '\0');
  m_status = 0;
  m_transportError.clear();
  if (!m_handle || !url || (type != HTTP_REQ_GET && type != HTTP_REQ_POST)) {
    m_transportError = "client not initialised, or bad arguments";
    return false;
  }
  CURL* curl = Handle(m_handle);
  m_errorText[0] = '\0';
  const char* data = body ? body : "";
  const uint64_t size = body ? length : 0;
  bool ok = curl_easy_setopt(curl, CURLOPT_URL, url) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_HTTPHEADER, m_headers) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &ZBLibCurl::CollectBody) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_WRITEDATA, this) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, m_connectTimeoutMs) == CURLE_OK;
  ok = ok && curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, m_totalTimeoutMs) == CURLE_OK;
  if (type == HTTP_REQ_POST || size > 0) {
    ok = ok && curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(size)) ==
                   CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_COPYPOSTFIELDS, data) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST,
                                type == HTTP_REQ_GET ? "GET" : nullptr) == CURLE_OK;
  } else {
    ok = ok && curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, nullptr) == CURLE_OK;
  }
  if (!ok) {
    m_transportError = "cannot set the request up";
    return false;
  }
  const CURLcode result = static_cast<CURLcode>(Perform());
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  m_status = status;
  if (result != CURLE_OK) {
    if (m_transportError.empty()) {
      m_transportError = m_errorText[0] ? m_errorText : curl_easy_strerror(result);
    }
    return false;
  }
  return status >= 200 && status < 300;
}

// curl_easy_perform, with the thread's cancel descriptor among the
// descriptors waited on and a look at the peer's state whenever the wait has
// lasted a while. A transfer that is given up is removed from the multi
// handle unfinished, which closes its connection.
int ZBLibCurl::Perform() {
  using Clock = std::chrono::steady_clock;
  CURLM* multi = Multi(m_multi);
  CURL* curl = Handle(m_handle);
  if (curl_multi_add_handle(multi, curl) != CURLM_OK) return CURLE_FAILED_INIT;
  CURLcode result = CURLE_OK;
  Clock::time_point peerChecked = Clock::now();
  for (;;) {
    int running = 0;
    const CURLMcode performed = curl_multi_perform(multi, &running);
    if (performed != CURLM_OK) {
      m_transportError = curl_multi_strerror(performed);
      result = CURLE_FAILED_INIT;
      break;
    }
    int queued = 0;
    bool done = false;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == curl) {
        result = message->data.result;
        done = true;
      }
    }
    if (done || running == 0) break;
    // The thread's cancel descriptor and its watch end the poll early.
    struct curl_waitfd extra[2];
    unsigned extras = 0;
    const bool cancellable = YRCANCEL_Descriptor() >= 0;
    if (cancellable) extra[extras++] = {YRCANCEL_Descriptor(), CURL_WAIT_POLLIN, 0};
    if (YRCANCEL_WatchDescriptor() >= 0) {
      extra[extras++] = {YRCANCEL_WatchDescriptor(), CURL_WAIT_POLLIN, 0};
    }
    curl_multi_poll(multi, extras > 0 ? extra : nullptr, extras, kPeerCheckMs, nullptr);
    YRCANCEL_TendWatch();
    if (cancellable && YRCANCEL_Requested()) {
      m_transportError = "cancelled";
      result = kGivenUp;
      break;
    }
    const Clock::time_point now = Clock::now();
    if (now - peerChecked >= std::chrono::milliseconds(kPeerCheckMs)) {
      peerChecked = now;
      if (YRCANCEL_PeerStopped()) {
        m_transportError =
            "the server (process " + std::to_string(YRCANCEL_Peer()) + ") is stopped";
        result = kGivenUp;
        break;
      }
      if (const pid_t watched = YRCANCEL_WatchedStopped()) {
        m_transportError =
            "process " + std::to_string(watched) + ", which the server relies on, is stopped";
        result = kGivenUp;
        break;
      }
    }
  }
  curl_multi_remove_handle(multi, curl);
  return result;
}

const char* ZBLibCurl::GetHttpResponse(uint64_t* length, bool /*succeeded*/) {
  if (length) *length = m_reply.size() - 1;
  return m_reply.data();
}

int64_t ZBLibCurl::GetHttpErrorCode() { return m_status; }

void ZBLibCurl::SetTimeouts(long connectTimeoutMs, long totalTimeoutMs) {
  // libcurl takes 0 for "no limit" and refuses negative values; neither may
  // leave an exchange unbounded or unable to start.
  if (connectTimeoutMs > 0) m_connectTimeoutMs = connectTimeoutMs;
  if (totalTimeoutMs > 0) m_totalTimeoutMs = totalTimeoutMs;
}
