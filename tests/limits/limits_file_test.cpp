// The limits file: every way a file can be unusable names its line, a port's
// table overrides the default, and a second file only ever tightens.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "limits/lab_limits.h"

namespace quorvane {
namespace {

struct BadFile {
  const char* text;
  const char* problem;  // what ParseLimits says, after "lab.toml:"
};

TEST(LimitsFile, EveryUnusableFileNamesItsLineAndProblem) {
  const BadFile cases[] = {
      {"[default]\ncurrent_max_mA = \n", "2: "},  // a syntax error, in toml++'s words
      {"[default]\n\ncurent_max_mA = 2000\n", "3: unknown key 'curent_max_mA'"},
      {"[default]\ncurrent_max_mA = \"2000\"\n",
       "2: current_max_mA wants a whole number, not a string"},
      {"[default]\ncurrent_max_mA = 1500.5\n",
       "2: current_max_mA wants a whole number, not a number with a fraction"},
      {"[default]\ncurrent_max_mA = -5\n", "2: current_max_mA must not be negative"},
      {"[default]\ncurrent_ramp_mA_per_s = 0\n", "2: current_ramp_mA_per_s must be at least 1"},
      {"[default]\nfrequency_kHz = [20, 10]\n", "2: frequency_kHz: min is greater than max"},
      {"[default]\nfrequency_kHz = [10]\n", "2: frequency_kHz wants [min, max], not 1 values"},
      {"[default]\nduration_steps = [1, 300]\n", "2: duration_steps is beyond what the board has"},
      {"[default]\nduration_steps = [1.5, 3]\n", "2: duration_steps wants a whole number"},
      {"[default]\nseed_C = [30.0, 15.0]\n", "2: seed_C: min is greater than max"},
      {"[default]\nboard_silent_alarm_s = 0\n", "2: board_silent_alarm_s must be more than 0"},
      {"[default]\non_alarm = \"shutdown\"\n",
       "2: on_alarm wants \"alarm\" or \"ramp-down\", not \"shutdown\""},
      {"[limits]\ncurrent_max_mA = 10\n", "1: unknown table 'limits'"},
      {"current_max_mA = 10\n", "1: 'current_max_mA' outside a table"},
      // A mistake in another port's table is a mistake all the same.
      {"[default]\n[port.\"ttyUSB9\"]\npump_C = [1, \"x\"]\n",
       "3: pump_C wants a number, not a string"},
  };
  for (const BadFile& c : cases) {
    SCOPED_TRACE(c.text);
    const ParsedLimits parsed = ParseLimits(c.text, "lab.toml", "ttyUSB0");
    EXPECT_EQ(parsed.problem.rfind(std::string("lab.toml:") + c.problem, 0), 0u) << parsed.problem;
    EXPECT_TRUE(parsed.limits.Empty());
  }
}

TEST(LimitsFile, PortTableOverridesTheDefaultKeyByKey) {
  const char* text =
      "[default]\n"
      "current_max_mA = 2000\n"
      "frequency_kHz = [10, 20.5]\n"
      "seed_C = [15, 30.25]\n"
      "[port.\"ttyUSB0\"]\n"
      "current_max_mA = 2500\n"
      "board_silent_alarm_s = 2.5\n"
      "on_alarm = \"ramp-down\"\n";
  const ParsedLimits ours = ParseLimits(text, "lab.toml", "ttyUSB0");
  ASSERT_EQ(ours.problem, "");
  EXPECT_EQ(ours.limits.currentMax->value, 2500);
  EXPECT_EQ(ours.limits.currentMax->source.Text(), "lab.toml:6");
  EXPECT_EQ(ours.limits.frequency->value, (ValueWindow{10000, 20500}));
  EXPECT_EQ(ours.limits.seedTemp->value, (ValueWindow{1500, 3025}));
  EXPECT_EQ(ours.limits.boardSilent->value, std::chrono::milliseconds(2500));
  EXPECT_EQ(ours.limits.onAlarm->value, OnAlarm::kRampDown);

  const ParsedLimits other = ParseLimits(text, "lab.toml", "COM3");
  EXPECT_EQ(other.limits.currentMax->value, 2000);
  EXPECT_FALSE(other.limits.boardSilent);
}

TEST(LimitsFile, AStricterFileOnlyTightens) {
  const LabLimits lab = ParseLimits(
                            "[default]\ncurrent_max_mA = 2000\ncurrent_ramp_mA_per_s = 100\n"
                            "frequency_kHz = [10, 20]\non_alarm = \"ramp-down\"\n",
                            "lab.toml", "")
                            .limits;
  const LabLimits mine = ParseLimits(
                             "[default]\ncurrent_max_mA = 3000\ncurrent_ramp_mA_per_s = 50\n"
                             "frequency_kHz = [15, 40]\non_alarm = \"alarm\"\n"
                             "duration_steps = [5, 40]\n",
                             "mine.toml", "")
                             .limits;
  std::string problem;
  const LabLimits s = Stricter(lab, mine, &problem);
  EXPECT_EQ(problem, "");
  EXPECT_EQ(s.currentMax->value, 2000);  // the lab's: mine would loosen it
  EXPECT_EQ(s.currentMax->source.Text(), "lab.toml:2");
  EXPECT_EQ(s.currentRamp->value, 50);
  EXPECT_EQ(s.frequency->value, (ValueWindow{15000, 20000}));
  EXPECT_EQ(s.frequency->source.Text(), "lab.toml:4 and mine.toml:4");
  EXPECT_EQ(s.onAlarm->value, OnAlarm::kRampDown);
  EXPECT_EQ(s.duration->value, (ValueWindow{5, 40}));  // a key only the extra file sets

  const LabLimits apart =
      ParseLimits("[default]\nfrequency_kHz = [30, 40]\n", "mine.toml", "").limits;
  Stricter(lab, apart, &problem);
  EXPECT_NE(problem.find("frequency_kHz of mine.toml:2 does not overlap"), std::string::npos)
      << problem;
}

TEST(LimitsFile, OnlyRootMayBeAbleToChangeTheLabsFile) {
  struct Case {
    FileFacts folder, file;
    bool mustBeRoot;
    const char* problem;  // empty: usable
  };
  const FileFacts rootDir{true, true, 0, 0755}, rootFile{true, true, 0, 0644};
  const Case cases[] = {
      {rootDir, rootFile, true, ""},
      {rootDir, {true, true, 0, 0664}, true, "f: writable by others than its owner (mode 0664)"},
      {rootDir, {true, true, 0, 0646}, true, "f: writable by others than its owner (mode 0646)"},
      {{true, true, 0, 0777}, rootFile, true, "d: writable by others than its owner (mode 0777)"},
      {{true, true, 1000, 0755}, rootFile, true, "d: owned by user 1000, not root"},
      {rootDir, {true, true, 1000, 0644}, true, "f: owned by user 1000, not root"},
      {rootDir, {true, true, 1000, 0644}, false, ""},
      {rootDir, {true, false, 0, 0644}, true, "f: not a regular file"},
  };
  for (const Case& c : cases) {
    const std::string problem = PermissionProblem("f", c.file, "d", c.folder, c.mustBeRoot);
    EXPECT_EQ(problem.substr(0, std::string(c.problem).size()), c.problem) << problem;
    EXPECT_EQ(problem.empty(), *c.problem == '\0') << problem;
  }
}

#ifndef _WIN32
// The files themselves: absent means no limits; present but broken, or
// writable by others, means read-only with the reason.
TEST(LimitsFile, LimitsForReadsTheFilesOnDisk) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("limits-test-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  ::chmod(dir.c_str(), 0755);
  const auto write = [&](const char* name, const char* text, mode_t mode) {
    const std::string path = (dir / name).string();
    std::ofstream(path) << text;
    ::chmod(path.c_str(), mode);
    return path;
  };
  LimitsSources sources;
  sources.labFileMustBeRoots = false;

  sources.labFile = (dir / "absent.toml").string();
  PortLimits p = LimitsFor("ttyUSB0", sources);
  EXPECT_FALSE(p.ReadOnly());
  EXPECT_TRUE(p.limits.Empty());

  sources.labFile = write("lab.toml", "[default]\ncurrent_max_mA = 2000\n", 0644);
  p = LimitsFor("ttyUSB0", sources);
  EXPECT_EQ(p.limits.currentMax->value, 2000);

  sources.stricterFile = write("mine.toml", "[default]\ncurrent_max_mA = 1500\n", 0666);
  EXPECT_EQ(LimitsFor("ttyUSB0", sources).limits.currentMax->value, 1500);
  sources.stricterFile = (dir / "typo.toml").string();
  EXPECT_EQ(LimitsFor("ttyUSB0", sources).unusable, sources.stricterFile + ": does not exist");
  sources.stricterFile.clear();

  write("lab.toml", "[default]\ncurrent_max_mA = 2000\n", 0666);
  p = LimitsFor("ttyUSB0", sources);
  EXPECT_TRUE(p.ReadOnly());
  EXPECT_TRUE(p.limits.Empty());
  EXPECT_NE(p.unusable.find("writable by others"), std::string::npos) << p.unusable;

  write("lab.toml", "[default]\ncurrent_max_mA = [\n", 0644);
  EXPECT_EQ(LimitsFor("ttyUSB0", sources).unusable.rfind(sources.labFile + ":2: ", 0), 0u);
  std::filesystem::remove_all(dir);
}

// What ships with the program: the example is a file the programs take as
// it stands, and the manual page documents every key they know.
TEST(LimitsFile, TheExampleParsesAndTheManualPageNamesEveryKey) {
  const auto read = [](const char* relative) {
    std::ifstream in(std::string(QUORVANE_SOURCE_DIR) + "/" + relative);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string example = read("docs/examples/limits.toml");
  const ParsedLimits parsed = ParseLimits(example, "limits.toml", "ttyUSB1");
  EXPECT_EQ(parsed.problem, "");
  EXPECT_EQ(parsed.limits.currentMax->value, 1200);
  std::string page = read("man/quorvane-limits.5");
  for (std::size_t at; (at = page.find("\\-")) != std::string::npos;) page.replace(at, 2, "-");
  for (const LimitKey& key : kLimitKeys) {
    EXPECT_NE(example.find(std::string(key.key) + " = "), std::string::npos) << key.key;
    EXPECT_NE(page.find(key.key), std::string::npos) << key.key;
  }
}

#endif  // Linux: owners and modes; the shipped files are checked on the build's host

}  // namespace
}  // namespace quorvane
