// quorvane-ctl's program tests share this: a folder standing in for /dev with
// the virtual board linked in as ttyUSB0, and a board whose values are all
// distinct from the defaults.
#pragma once

#include <stdlib.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sim/pty_board.h"
#include "tests/ctl/ctl_process.h"

namespace quorvane::ctl::test {

namespace fs = std::filesystem;
using sim::BoardConfig;
using sim::BoardSwitches;
using sim::PtyBoard;
using testing::HasSubstr;

// Distinct from every default, so a value shown from the wrong field shows.
inline BoardConfig TestBoard() {
  BoardConfig config;
  config.parameters.currentPrefix[0] = 0xAB;
  config.parameters.currentPrefix[1] = 0xCD;
  config.parameters.currentSetpoint = 1234;
  config.parameters.currentMax = 4000;
  config.parameters.frequencyHz = 12340;
  config.parameters.pulseSteps = 33;
  config.parameters.softActive = 1;
  return config;
}

// A folder standing in for /dev with the board linked in as ttyUSB0.
class CtlTest : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/quorvane-ctl-test-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    m_dir = name;
    // Readable by anyone: the permission case runs the program as another user.
    fs::permissions(m_dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
  }
  void TearDown() override {
    m_board.reset();
    fs::remove_all(m_dir);
  }

  PtyBoard& StartBoard(BoardConfig config = TestBoard(), sim::WireObserver observer = {}) {
    m_board = std::make_unique<PtyBoard>(
        sim::PtyBoardOptions{config, false, m_dir / "ttyUSB0", std::move(observer)});
    return *m_board;
  }
  std::vector<std::string> On(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), {"--dev", m_dir.string(), "-p", "ttyUSB0"});
    return arguments;
  }
  std::vector<std::uint8_t> CodesReceived() const {
    std::vector<std::uint8_t> codes;
    for (const auto& entry : m_board->Board().Journal()) codes.push_back(entry.code);
    return codes;
  }

  fs::path m_dir;
  std::unique_ptr<PtyBoard> m_board;
};

}  // namespace quorvane::ctl::test
