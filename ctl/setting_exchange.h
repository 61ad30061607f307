// Sending a setting and waiting for the board's word on it, shared by `set`
// and by settings that arrive from the broker, so both send exactly the
// panel's frames at the panel's pace.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ctl/board_session.h"
#include "ctl/setting.h"

namespace quorvane::ctl {

// How long the board has to answer a status query or confirm a setting.
inline constexpr milliseconds kReplyLimit{2000};

struct SettingExchange {
  SettingPlan plan;
  // kDone or kTimedOut: the board's word is in reported; otherwise the wait
  // was cut short (stopped, port lost).
  WaitResult result = WaitResult::kDone;
  std::optional<std::uint32_t> reported;  // the latest value the board answered with

  bool Confirmed() const {
    return reported == plan.value &&
           (result == WaitResult::kDone || result == WaitResult::kTimedOut);
  }
  bool CutShort() const { return result != WaitResult::kDone && result != WaitResult::kTimedOut; }
};

// Sends text (already checked with ValueProblem) for setting against the
// board's values from its sync, and collects the answers to every frame sent
// (by end at the latest).
SettingExchange ExchangeSetting(BoardSession& session, Setting setting, const std::string& text,
                                Clock::time_point end = Clock::time_point::max());

// The setting's value as the board holds it, from one CMD_READ_ALL answered
// by deadline: for a setting whose own answer was lost on the line. nullopt
// with the wait's result in result when no RPL_ALL came.
std::optional<std::uint32_t> ReadSettingBack(BoardSession& session, Setting setting,
                                             Clock::time_point deadline, WaitResult& result);

}  // namespace quorvane::ctl
