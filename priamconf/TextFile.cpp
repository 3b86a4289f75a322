#include "priamconf/TextFile.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include "CYrFile.h"

namespace ZbCassandra {

CYrError ReadTextFile(const std::string& path, std::string& text) {
  char* buffer = nullptr;
  uint64_t size = 0;
  CYrError error = CYrFile::ReadWholeFile(path, &buffer, &size);
  const std::unique_ptr<char[]> owned(buffer);
  if (error.IsError()) return error;
  text.assign(buffer, size);
  return CYrError::Success();
}

CYrError ReplaceTextFile(const std::string& path, const std::string& text) {
  CYrFile file;
  CYrError error = file.Open(path, "w", CYrFile::kOwnerOnly);
  if (error.IsError()) return error;
  // One write takes at most a 32-bit count.
  constexpr size_t kChunk = size_t{1} << 30;
  for (size_t done = 0; done < text.size(); done += kChunk) {
    const size_t length = std::min(kChunk, text.size() - done);
    error = file.Write(text.data() + done, static_cast<uint32_t>(length), nullptr);
    // Returning without Close() drops the temporary file; the old one stays.
    if (error.IsError()) return error;
  }
  return file.Close();
}

}  // namespace ZbCassandra
