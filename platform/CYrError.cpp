#include "CYrError.h"

#include <cstdarg>

#include "FXString.h"

namespace {

// The family sits in the status word beside the error bit, so that two
// errors with the same code but different families never compare equal.
constexpr uint32_t kWin32Facility = 0x00070000u;
constexpr uint32_t kErrNoFacility = 0x00080000u;

std::string FrameText(const CYrError::Frame& frame) {
  std::string text = "at " + frame.file + ":" + std::to_string(frame.line) + " " + frame.function;
  if (!frame.message.empty()) text += ": " + frame.message;
  return text;
}

}  // namespace

struct CYrError::Detail {
  Family family;
  int64_t code;
  std::string message;
  std::vector<Frame> frames;  // oldest first
};

CYrError CYrError::Make(Family family, int64_t code, const FXCodeLocation& location,
                        std::string message) {
  CYrError error;
  const uint32_t facility = family == Family::kWin32 ? kWin32Facility : kErrNoFacility;
  error.m_status = kErrorBit | facility | (static_cast<uint32_t>(code) & 0xFFFFu);
  error.m_detail = std::make_shared<Detail>(Detail{family, code, std::move(message), {}});
  error.PushFrame(location, std::string());
  return error;
}

CYrError::Family CYrError::GetFamily() const { return m_detail ? m_detail->family : Family::kNone; }

int64_t CYrError::Code() const { return m_detail ? m_detail->code : 0; }

std::string CYrError::Message() const { return m_detail ? m_detail->message : std::string(); }

std::vector<CYrError::Frame> CYrError::Frames() const {
  if (!m_detail) return {};
  return std::vector<Frame>(m_detail->frames.rbegin(), m_detail->frames.rend());
}

std::string CYrError::AsString() const {
  if (!IsError()) return "Success";
  const char* family = m_detail->family == Family::kWin32 ? "Win32" : "errno";
  std::string text =
      FXString::Format("%s error %lld: %s", family, static_cast<long long>(m_detail->code),
                       m_detail->message.c_str());
  for (auto frame = m_detail->frames.rbegin(); frame != m_detail->frames.rend(); ++frame) {
    text += " [" + FrameText(*frame) + "]";
  }
  return text;
}

CYrError& CYrError::Push(const FXCodeLocation& location) {
  PushFrame(location, std::string());
  return *this;
}

CYrError& CYrError::Push(const FXCodeLocation& location, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string message = FXString::FormatV(format, args);
  va_end(args);
  PushFrame(location, std::move(message));
  return *this;
}

void CYrError::PushFrame(const FXCodeLocation& location, std::string message) {
  if (!m_detail) return;  // a location on success means nothing
  if (m_detail.use_count() > 1) m_detail = std::make_shared<Detail>(*m_detail);
  m_detail->frames.push_back(Frame{location.file ? location.file : "",
                                   location.function ? location.function : "", location.line,
                                   std::move(message)});
}
