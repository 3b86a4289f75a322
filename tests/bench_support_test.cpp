// The helpers the benchmarks compute their figures with: a wrong peak, a
// leaked descriptor, a badly quoted path or a ratio taken the wrong way
// round would make the published figures wrong without any error.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ChildRun.h"
#include "InputFiles.h"
#include "NodeLayout.h"
#include "PriamUtil.h"
#include "ScopedEnvironment.h"
#include "TargetTable.h"

namespace {

using namespace bench;

TEST(ChildRun, ReportsOutputExitStatusAndSignals) {
  const ChildResult printed = RunChild({"printf", "%s-%s", "a b", "c"}, true);
  EXPECT_EQ(printed.status, 0);
  EXPECT_EQ(printed.output, "a b-c");
  EXPECT_EQ(RunShell("exit 7", false).status, 7);
  EXPECT_EQ(RunShell("kill -9 $$", false).status, 128 + 9);
  EXPECT_EQ(RunChild({"/nonexistent/program"}, true).status, -1);
}

// The figure is the command's alone, however large the process that asks.
TEST(ChildRun, PeakMemoryIsTheCommandsNotOurs) {
  std::vector<char> ours(128u << 20);
  for (size_t i = 0; i < ours.size(); i += 4096) ours[i] = 1;

  long peak = -1;
  // dd holds a 64 MiB block in memory while it copies it.
  const ChildResult big =
      MeasurePeakRss(PRIAM_BENCH_PEAK_RSS, "dd if=/dev/zero of=/dev/null bs=64M count=1", &peak);
  EXPECT_EQ(big.status, 0);
  EXPECT_GE(peak, 64 * 1024);
  EXPECT_LT(peak, 128 * 1024);

  const ChildResult small = MeasurePeakRss(PRIAM_BENCH_PEAK_RSS, "echo hello; exit 3", &peak);
  EXPECT_EQ(small.status, 3);
  EXPECT_EQ(small.output, "hello\n");
  EXPECT_GT(peak, 0);
  EXPECT_LT(peak, 16 * 1024);
  EXPECT_EQ(ours[4096], 1);
}

TEST(ChildRun, TheChildGetsNoDescriptorOfOurs) {
  const int ours = open("/dev/null", O_RDONLY);  // inheritable on purpose
  ASSERT_GE(ours, 3);
  const ChildResult listing = RunShell("ls /proc/$$/fd", true);
  close(ours);
  EXPECT_EQ(listing.output, "0\n1\n2\n");
}

TEST(ChildRun, QuotedValuesReachTheCommandAsTheyAre) {
  const std::string nasty = "dir with 'quotes' $(touch x) `y` ; | & \\ \"";
  EXPECT_EQ(RunShell("printf %s " + ShellQuote(nasty), true).output, nasty);
  EXPECT_EQ(RunShell("printf %s " + ShellQuote(""), true).output, "");

  const std::string command = ExpandPlaceholders(
      "tool --node {node} --conf={conf} {unknown} {node}{ {", {{"node", "a b"}, {"conf", "it's"}});
  EXPECT_EQ(command, "tool --node 'a b' --conf='it'\\''s' {unknown} 'a b'{ {");
}

TEST(InputFiles, HaveTheLengthAskedFor) {
  const auto lines = [](const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  };
  for (const size_t size : {100u, 10000u}) {
    const std::string properties = PropertiesText(size);
    EXPECT_EQ(lines(properties), size);
    EXPECT_NE(properties.find("priam.jmx.token=jmx-T0ken\n"), std::string::npos);
    EXPECT_EQ(lines(YamlText(size)), size);
  }
  EXPECT_GT(lines(YamlText(0)), 10u);
}

// The benchmarks time the queries on these files; they must answer them,
// not fail early on a file that the library cannot read.
TEST(InputFiles, TheControllerAnswersItsQueriesOnTheLongYaml) {
  NodeLayout layout;
  testsupport::ScopedEnv store("ZB_PLATFORM_CONFIG", layout.store().c_str());
  WriteTextFile(layout.nodeDir() + "/cassandra.yaml", YamlText(5000));
  ZbCassandra::PriamUtil controller(0, CYrString("/usr/bin/java"), layout.priamDir(),
                                    layout.confDir(), layout.nodeDir(), false);
  ASSERT_FALSE(controller.initFailed());
  EXPECT_EQ(controller.cqlPort(), "9042");
  EXPECT_EQ(controller.jmxPort(), "7199");
  std::vector<std::string> directories;
  std::vector<std::string> seeds;
  ASSERT_FALSE(controller.getCassandraDataDir(directories).IsError());
  ASSERT_FALSE(controller.getCassandraSeeds(&seeds).IsError());
  EXPECT_EQ(directories, YamlDataDirs());
  EXPECT_EQ(seeds, YamlSeeds());
}

TEST(TargetTable, RatiosAndGrowthAreJudgedAgainstTheirLimits) {
  Measurements m;
  m["fast"].seconds = 1.0;
  m["slow"].seconds = 1.2;
  m["big"].seconds = 100.0;
  EXPECT_NEAR(Judge(m, {"slow", "fast", Target::Kind::kRatio, 1.1, 1}).figure, 1.2, 1e-9);
  EXPECT_FALSE(Judge(m, {"slow", "fast", Target::Kind::kRatio, 1.1, 1}).met);
  EXPECT_TRUE(Judge(m, {"fast", "slow", Target::Kind::kRatio, 1.0, 1}).met);
  // 100 times the time for 100 times the input: 10x per decade.
  const Verdict growth = Judge(m, {"big", "fast", Target::Kind::kGrowthPerDecade, 12, 2});
  EXPECT_NEAR(growth.figure, 10.0, 1e-9);
  EXPECT_TRUE(growth.met);
  const Verdict informative = Judge(m, {"slow", "fast", Target::Kind::kRatio, 0, 1});
  EXPECT_FALSE(informative.judged);
  // A time held to a limit of its own, with no baseline.
  EXPECT_TRUE(Judge(m, {"slow", "", Target::Kind::kSeconds, 1.5, 1}).met);
  const Verdict late = Judge(m, {"big", "", Target::Kind::kSeconds, 1.0, 1});
  EXPECT_NEAR(late.figure, 100.0, 1e-9);
  EXPECT_FALSE(late.met);
  EXPECT_NE(FormatTable(m, {"big"}, {{"big", "", Target::Kind::kSeconds, 1.0, 1}})
                .find("100.00 s  <= 1.00 s"),
            std::string::npos)
      << FormatTable(m, {"big"}, {{"big", "", Target::Kind::kSeconds, 1.0, 1}});
  // The time one costs beyond another, never below none.
  const Verdict extra = Judge(m, {"slow", "fast", Target::Kind::kExtraSeconds, 0.1, 1});
  EXPECT_NEAR(extra.figure, 0.2, 1e-9);
  EXPECT_FALSE(extra.met);
  EXPECT_TRUE(Judge(m, {"slow", "fast", Target::Kind::kExtraSeconds, 0.25, 1}).met);
  EXPECT_EQ(Judge(m, {"fast", "slow", Target::Kind::kExtraSeconds, 0.01, 1}).figure, 0.0);
  // A peak resident set held to a limit of its own.
  m["small"].peakRssKib = 2048;
  EXPECT_TRUE(Judge(m, {"small", "", Target::Kind::kPeakRssKib, 4096, 1}).met);
  EXPECT_FALSE(Judge(m, {"small", "", Target::Kind::kPeakRssKib, 1024, 1}).met);
  EXPECT_NE(FormatTable(m, {"small"}, {{"small", "", Target::Kind::kPeakRssKib, 4096, 1}})
                .find("2.0 MiB   <= 4.0 MiB              met"),
            std::string::npos)
      << FormatTable(m, {"small"}, {{"small", "", Target::Kind::kPeakRssKib, 4096, 1}});
}

TEST(TargetTable, AMissingOrFailedMeasurementNeverMeetsItsTarget) {
  Measurements m;
  m["base"].seconds = 1.0;
  m["broken"].error = "get failed";
  const Target onBroken{"broken", "base", Target::Kind::kRatio, 1.1, 1};
  const Target onMissing{"base", "absent", Target::Kind::kRatio, 1.1, 1};
  EXPECT_FALSE(Judge(m, onBroken).met);
  EXPECT_FALSE(Judge(m, onMissing).met);

  const std::string table = FormatTable(m, {"base", "broken"}, {onBroken, onMissing});
  EXPECT_NE(table.find("error: get failed"), std::string::npos) << table;
  EXPECT_NE(table.find("MISSED (no figure)"), std::string::npos) << table;
  EXPECT_NE(table.find("0 of 2 targets met"), std::string::npos) << table;
  EXPECT_LT(table.find("base "), table.find("broken")) << "listed in the order given";
}

TEST(TargetTable, MediansIgnoreTheOddStall) {
  EXPECT_EQ(MedianOf({3, 1, 250}), 3);
  EXPECT_EQ(MedianOf({4, 1, 2, 300}), 3);
  EXPECT_EQ(MedianOf({}), -1);
}

TEST(TargetTable, ShowsTimesAndMemoryInReadableUnits) {
  EXPECT_EQ(FormatSeconds(12.34e-6), "12.3 us");
  EXPECT_EQ(FormatSeconds(4.567e-3), "4.57 ms");
  EXPECT_EQ(FormatSeconds(2.5), "2.50 s");
  Measurements m;
  m["memory"].peakRssKib = 2048;
  EXPECT_NE(FormatTable(m, {}, {}).find("2.0 MiB peak RSS"), std::string::npos);
}

}  // namespace
