#include "HeaderAppendFault.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <cstdlib>
#include <mutex>

namespace {

std::mutex g_mutex;
bool g_active = false;
std::string g_line;
int g_refusals = 0;

using AppendFunction = curl_slist* (*)(curl_slist*, const char*);

AppendFunction RealAppend() {
  static const AppendFunction real =
      reinterpret_cast<AppendFunction>(dlsym(RTLD_NEXT, "curl_slist_append"));
  if (!real) std::abort();
  return real;
}

bool Refuse(const char* line) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_active || !line || g_line != line) return false;
  ++g_refusals;
  return true;
}

}  // namespace

extern "C" curl_slist* curl_slist_append(curl_slist* list, const char* line) {
  if (Refuse(line)) return nullptr;
  return RealAppend()(list, line);
}

namespace testsupport {

HeaderAppendFault::HeaderAppendFault(std::string line) {
  RealAppend();  // fail at once, not in the middle of a test, if unreachable
  std::lock_guard<std::mutex> lock(g_mutex);
  g_active = true;
  g_line = std::move(line);
  g_refusals = 0;
}

HeaderAppendFault::~HeaderAppendFault() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_active = false;
}

int HeaderAppendFault::refusals() const {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_refusals;
}

}  // namespace testsupport
