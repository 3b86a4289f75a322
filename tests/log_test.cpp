#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CapturingLogWriter.h"
#include "LogMacros.h"
#include "StreamLogWriter.h"
#include "TempDir.h"
#include "ZBDebugFunction.h"

namespace {

using testsupport::CapturingLogWriter;
using testsupport::FileMode;
using testsupport::LogEntry;
using testsupport::ReadFile;
using testsupport::ScopedLogCapture;
using testsupport::TempDir;

// A stream in memory whose text can be read back at any time.
class MemoryStream {
 public:
  MemoryStream() : m_stream(open_memstream(&m_data, &m_size)) {}
  ~MemoryStream() {
    fclose(m_stream);
    free(m_data);
  }
  FILE* get() const { return m_stream; }
  std::string text() {
    fflush(m_stream);
    return std::string(m_data, m_size);
  }

 private:
  char* m_data = nullptr;
  size_t m_size = 0;
  FILE* m_stream;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// "<date> <time>.<ms> [<level>] <context>:<line> <text>"
std::regex LinePattern(const std::string& level, const std::string& rest) {
  return std::regex(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[)" + level + R"(\] )" + rest + "$");
}

TEST(StreamLogWriter, WritesOneLineWithTimeLevelContextLineAndText) {
  MemoryStream stream;
  StreamLogWriter writer(stream.get(), 0);
  writer.Write(0, "void ZbCassandra::PriamUtil::startPriam()", 321, 0, 0,
               "Priam started with PID %d on port %d", 4242, 8080);
  writer.Write(-1, nullptr, 7, 0, 0, "%s", " FAILED TO START THE PROCESS [x] ");
  const std::vector<std::string> lines = Lines(stream.text());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(std::regex_match(
      lines[0], LinePattern("0", R"(void ZbCassandra::PriamUtil::startPriam\(\):321 )"
                                 "Priam started with PID 4242 on port 8080")))
      << lines[0];
  EXPECT_TRUE(
      std::regex_match(lines[1], LinePattern("-1", R"(:7  FAILED TO START THE PROCESS \[x\] )")))
      << lines[1];
}

TEST(StreamLogWriter, DropsMessagesAboveItsLevel) {
  MemoryStream stream;
  StreamLogWriter writer(stream.get(), 1);
  EXPECT_EQ(writer.GetLevel(), 1);
  writer.Write(2, "f", 1, 0, 0, "command output");
  writer.Write(1, "f", 2, 0, 0, "entry");
  writer.Write(-1, "f", 3, 0, 0, "failure");
  writer.SetLevel(3);
  EXPECT_EQ(writer.GetLevel(), 3);
  writer.Write(3, "f", 4, 0, 0, "file content");
  writer.SetLevel(-1);
  writer.Write(0, "f", 5, 0, 0, "progress");
  writer.Write(-1, "f", 6, 0, 0, "second failure");
  const std::vector<std::string> lines = Lines(stream.text());
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_NE(lines[0].find("f:2 entry"), std::string::npos);
  EXPECT_NE(lines[1].find("f:3 failure"), std::string::npos);
  EXPECT_NE(lines[2].find("f:4 file content"), std::string::npos);
  EXPECT_NE(lines[3].find("f:6 second failure"), std::string::npos);
}

TEST(StreamLogWriter, OpenFileAppendsToAnOwnerOnlyFile) {
  TempDir dir;
  const std::string path = dir.file("zbPriamController.log");
  {
    boost::shared_ptr<StreamLogWriter> writer;
    CYrError error = StreamLogWriter::OpenFile(path, 0, &writer);
    ASSERT_FALSE(error.IsError()) << error.AsString();
    ASSERT_TRUE(writer);
    writer->Write(0, "ctx", 1, 0, 0, "first");
  }
  EXPECT_EQ(FileMode(path), 0600);
  {
    boost::shared_ptr<StreamLogWriter> writer;
    ASSERT_FALSE(StreamLogWriter::OpenFile(path, 0, &writer).IsError());
    writer->Write(0, "ctx", 2, 0, 0, "second");
  }
  const std::vector<std::string> lines = Lines(ReadFile(path));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(std::regex_match(lines[0], LinePattern("0", "ctx:1 first"))) << lines[0];
  EXPECT_TRUE(std::regex_match(lines[1], LinePattern("0", "ctx:2 second"))) << lines[1];
}

TEST(StreamLogWriter, OpenFileFailsCleanly) {
  TempDir dir;
  const std::string plain = dir.write("plain", "x");
  boost::shared_ptr<StreamLogWriter> writer;
  EXPECT_TRUE(StreamLogWriter::OpenFile(plain + "/log", 0, &writer).IsError());
  EXPECT_TRUE(StreamLogWriter::OpenFile(dir.path(), 0, &writer).IsError());
  EXPECT_FALSE(writer);
  EXPECT_TRUE(StreamLogWriter::OpenFile(dir.file("log"), 0, nullptr).IsError());
}

TEST(StreamLogWriter, ConcurrentWritersGiveWholeLines) {
  TempDir dir;
  const std::string path = dir.file("log");
  constexpr int kThreads = 8;
  constexpr int kMessages = 400;
  {
    boost::shared_ptr<StreamLogWriter> writer;
    ASSERT_FALSE(StreamLogWriter::OpenFile(path, 3, &writer).IsError());
    const std::string padding(300, 'p');
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&writer, &padding, t] {
        for (int m = 0; m < kMessages; ++m) {
          writer->Write(m % 4 - 1, "worker", t, 0, 0, "thread %d message %d %s end", t, m,
                        padding.c_str());
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
  }
  const std::vector<std::string> lines = Lines(ReadFile(path));
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kMessages));
  const std::regex whole(R"(^\S+ \S+ \[-?\d\] worker:(\d) thread (\d) message (\d+) p{300} end$)");
  std::vector<int> next(kThreads, 0);
  for (const std::string& line : lines) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, whole)) << line;
    const int thread = std::stoi(match[2]);
    EXPECT_EQ(std::stoi(match[1]), thread);
    EXPECT_EQ(std::stoi(match[3]), next[thread]++);  // each thread's messages in its order
  }
}

TEST(ZBDebugFunction, WritesAnEntryAndAnExitLine) {
  boost::shared_ptr<CapturingLogWriter> writer(new CapturingLogWriter(1));
  {
    ZBDebugFunction tracer(writer, 2, "int f(int)", 17, 1, 0, 0xFFFFFFFFu, nullptr);
    EXPECT_EQ(writer->Entries().size(), 1u);
  }
  { ZBDebugFunction tracer(writer, 2, "int g()", 18, 1, 0, 0xFFFFFFFFu, "port %d", 9042); }
  const std::vector<LogEntry> entries = writer->Entries();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].level, 1);
  EXPECT_EQ(entries[0].context, "int f(int)");
  EXPECT_EQ(entries[0].line, 17);
  EXPECT_EQ(entries[0].text, "Enter");
  EXPECT_EQ(entries[1].level, 1);
  EXPECT_EQ(entries[1].context, "int f(int)");
  EXPECT_EQ(entries[1].text, "Exit");
  EXPECT_EQ(entries[2].text, "Enter port 9042");
  EXPECT_EQ(entries[3].text, "Exit");
}

TEST(ZBDebugFunction, ANullLoggerWritesNothing) {
  ZBDebugFunction tracer(boost::shared_ptr<CLogWriterInterface>(), 2, nullptr, 1, 1, 0, 0xFFFFFFFFu,
                         nullptr);
}

// Functions with a known signature, so that the context can be checked.
int LogAtLevel(int level) {
  ZB_LOG(2, "Command: %s", "ps -ef");
  ZB_LOG(level, "message at %d", level);
  return __LINE__ - 1;
}

int LogFailure() {
  ZB_LOG_FAILURE("Failed to get %s", "java path");
  return __LINE__ - 1;
}

int Traced() {
  ZB_TRACE_ENTRY();
  ZB_LOG(0, "%s", "inside");
  return __LINE__ - 2;
}

TEST(LogMacros, LogAsksForTheLevelAndRespectsIt) {
  ScopedLogCapture capture(1);
  const int line = LogAtLevel(1);
  const std::vector<LogEntry> entries = capture->Entries();
  ASSERT_EQ(entries.size(), 1u);  // the level 2 message was not written
  EXPECT_EQ(entries[0].level, 1);
  EXPECT_EQ(entries[0].text, "message at 1");
  EXPECT_EQ(entries[0].context, "int {anonymous}::LogAtLevel(int)");
  EXPECT_EQ(entries[0].line, line);
  EXPECT_TRUE(entries[0].askedLevelFirst);

  capture->Clear();
  capture->SetLevel(2);
  LogAtLevel(3);
  ASSERT_EQ(capture->Texts(), std::vector<std::string>{"Command: ps -ef"});
}

TEST(LogMacros, FailureIsWrittenWithoutAsking) {
  ScopedLogCapture capture(-1);
  const int line = LogFailure();
  const std::vector<LogEntry> entries = capture->Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].level, -1);
  EXPECT_EQ(entries[0].text, "Failed to get java path");
  EXPECT_EQ(entries[0].line, line);
  EXPECT_FALSE(entries[0].askedLevelFirst);
}

TEST(LogMacros, TracerOnlyFromLevelOne) {
  ScopedLogCapture capture(0);
  Traced();
  EXPECT_EQ(capture->Texts(), std::vector<std::string>{"inside"});

  capture->Clear();
  capture->SetLevel(1);
  const int line = Traced();
  const std::vector<LogEntry> entries = capture->Entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].text, "Enter");
  EXPECT_EQ(entries[0].context, "int {anonymous}::Traced()");
  EXPECT_EQ(entries[0].line, line);
  EXPECT_EQ(entries[1].text, "inside");
  EXPECT_EQ(entries[2].text, "Exit");
}

TEST(LogMacros, ATracerKeepsItsWriterWhenTheHostSwapsIt) {
  boost::shared_ptr<CapturingLogWriter> first(new CapturingLogWriter(1));
  boost::shared_ptr<CLogWriterInterface> saved = g_ptrLogWriter;
  g_ptrLogWriter = first;
  {
    ZB_TRACE_ENTRY();
    g_ptrLogWriter.reset();
    ZB_LOG(0, "%s", "dropped");
  }
  g_ptrLogWriter = saved;
  EXPECT_EQ(first->Texts(), (std::vector<std::string>{"Enter", "Exit"}));
}

TEST(LogMacros, ANullWriterLogsNothing) {
  boost::shared_ptr<CLogWriterInterface> saved = g_ptrLogWriter;
  g_ptrLogWriter.reset();
  LogAtLevel(0);
  LogFailure();
  Traced();
  g_ptrLogWriter = saved;
}

}  // namespace
