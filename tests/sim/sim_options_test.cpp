// The simulator's command line: every option reaches the board, and every
// mistake is named instead of ignored.
#include <gtest/gtest.h>

#include "sim/sim_options.h"

namespace quorvane::sim {
namespace {

using namespace std::chrono_literals;
using Args = std::vector<std::string>;

TEST(SimOptionsTest, OptionsReachTheBoard) {
  const ParsedOptions p = ParseSimOptions({"--link",
                                           "/tmp/p/ttyUSB0",
                                           "--pace",
                                           "--prefix=ab01",
                                           "--max",
                                           "5000",
                                           "--seed",
                                           "9",
                                           "--silent",
                                           "--delay",
                                           "250",
                                           "--noise=12.5",
                                           "--corrupt",
                                           "0.3",
                                           "--short",
                                           "--no-all",
                                           "--hangup-after",
                                           "2.5",
                                           "--reappear-after",
                                           "1"});
  ASSERT_EQ(p.error, "");
  const SimOptions& o = p.options;
  EXPECT_EQ(o.board.link, "/tmp/p/ttyUSB0");
  EXPECT_TRUE(o.board.pace);
  EXPECT_EQ(o.board.board.parameters.currentPrefix[0], 0xAB);
  EXPECT_EQ(o.board.board.parameters.currentPrefix[1], 0x01);
  EXPECT_EQ(o.board.board.parameters.currentMax, 5000);
  EXPECT_EQ(o.board.board.seed, 9u);
  const BoardSwitches& s = o.board.board.switches;
  EXPECT_TRUE(s.silent);
  EXPECT_EQ(s.replyDelay, 250ms);
  EXPECT_EQ(s.noiseBytesPerSecond, 12.5);
  EXPECT_EQ(s.corruptChecksumProbability, 0.3);
  EXPECT_TRUE(s.shortFrames);
  EXPECT_TRUE(s.neverSendAll);
  EXPECT_EQ(o.hangUpAfter, 2500ms);
  EXPECT_EQ(o.reappearAfter, 1000ms);
  EXPECT_FALSE(o.help);
}

TEST(SimOptionsTest, HelpIsAskedForAndListsEveryOption) {
  EXPECT_TRUE(ParseSimOptions({"--help"}).options.help);
  const std::string usage = SimUsage();
  for (const char* option :
       {"--link", "--pace", "--prefix", "--max", "--seed", "--silent", "--delay", "--noise",
        "--corrupt", "--short", "--no-all", "--hangup-after", "--reappear-after"})
    EXPECT_NE(usage.find(option), std::string::npos) << option;
}

TEST(SimOptionsTest, NoOptionsMeansAWellBehavedBoard) {
  const ParsedOptions p = ParseSimOptions({});
  ASSERT_EQ(p.error, "");
  EXPECT_TRUE(p.options.board.link.empty());
  EXPECT_FALSE(p.options.board.board.switches.silent);
  EXPECT_FALSE(p.options.hangUpAfter.has_value());
}

TEST(SimOptionsTest, RejectsBadCommandLinesWithAMessage) {
  struct Case {
    Args args;
    std::string error;
  };
  const Case cases[] = {
      {{"--frobnicate"}, "The following argument was not expected: --frobnicate (see --help)"},
      {{"--delay"}, "--delay: 1 required MS missing (see --help)"},
      {{"--pace=1"}, "pace was given a disallowed flag override (see --help)"},
      {{"--corrupt", "1.5"}, "--corrupt wants a probability from 0 to 1, got '1.5'"},
      {{"--corrupt", "nan"}, "--corrupt wants a probability from 0 to 1, got 'nan'"},
      {{"--noise", "-1"}, "--noise wants bytes a second from 0 to 100000, got '-1'"},
      {{"--noise", "5x"}, "--noise wants bytes a second from 0 to 100000, got '5x'"},
      {{"--delay", "-5"}, "--delay wants milliseconds from 0 to 3600000, got '-5'"},
      {{"--max", "0"}, "--max wants a current in mA from 1 to 65535, got '0'"},
      {{"--max", "65536"}, "--max wants a current in mA from 1 to 65535, got '65536'"},
      {{"--prefix", "12"}, "--prefix wants four hex digits, got '12'"},
      {{"--prefix", "12zz"}, "--prefix wants four hex digits, got '12zz'"},
      {{"--seed", "99999999999"}, "--seed wants a number from 0 to 4294967295, got '99999999999'"},
      {{"--hangup-after", "0"}, "--hangup-after wants seconds, above 0, got '0'"},
      {{"--reappear-after", "inf"}, "--reappear-after wants seconds, above 0, got 'inf'"},
      {{"--link", ""}, "--link wants a path"},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseSimOptions(c.args).error, c.error) << c.args[0];
}

}  // namespace
}  // namespace quorvane::sim
