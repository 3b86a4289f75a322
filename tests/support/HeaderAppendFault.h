// Makes libcurl refuse one header line, so that the failure paths of code
// that builds header lists can be run for real.
//
// The test executable defines curl_slist_append itself; the dynamic linker
// then binds the platform library's calls to it, and it hands every line to
// libcurl's own function except the one named here, for which it fails as
// libcurl does when it runs out of memory (a null list, the old one kept).
#pragma once

#include <string>

namespace testsupport {

class HeaderAppendFault {
 public:
  // Refuse `line` (exact text) while the object lives.
  explicit HeaderAppendFault(std::string line);
  ~HeaderAppendFault();
  HeaderAppendFault(const HeaderAppendFault&) = delete;
  HeaderAppendFault& operator=(const HeaderAppendFault&) = delete;

  // How many appends of the line were refused.
  int refusals() const;
};

}  // namespace testsupport
