// The setting exchange: the frame (twice where the panel sends it twice) and
// the board's answers to it.
#include "ctl/setting_exchange.h"

#include <algorithm>

#include "controller/timing.h"

namespace quorvane::ctl {

SettingExchange ExchangeSetting(BoardSession& session, Setting setting, const std::string& text,
                                Clock::time_point end) {
  SettingExchange exchange{PlanSetting(setting, text, session.Device()), WaitResult::kDone, {}};
  const SettingPlan& plan = exchange.plan;

  session.DiscardReplies();
  session.Send(plan.frame);
  if (plan.sendTwice) {
    // Sent twice like the panel: a frame can be lost when the link purges
    // its queue for a write, and the reply is the only acknowledgement.
    exchange.result = session.PauseUntil(Clock::now() + kBetweenRepeats);
    if (exchange.result != WaitResult::kDone) return exchange;
    session.Send(plan.frame);
  }

  // Every frame sent is answered. Waiting for all the answers, not just the
  // first that confirms, keeps the link open until the repeat has really
  // left: closing earlier would drop it from the output queue unsent.
  const int framesSent = plan.sendTwice ? 2 : 1;
  const Clock::time_point deadline = std::min(Clock::now() + kReplyLimit, end);
  for (int answers = 0; answers < framesSent && exchange.result == WaitResult::kDone; ++answers) {
    exchange.result = session.WaitForReply(
        [&](const Reply& reply) {
          // A repeat may be lost on the way; the latest answer is the board's word.
          const std::optional<std::uint32_t> value = ConfirmedValue(setting, reply);
          if (value) exchange.reported = value;
          return value.has_value();
        },
        deadline);
  }
  return exchange;
}

std::optional<std::uint32_t> ReadSettingBack(BoardSession& session, Setting setting,
                                             Clock::time_point deadline, WaitResult& result) {
  session.DiscardReplies();
  session.Send(BuildReadAll());
  const auto isAll = [](const Reply& r) { return std::holds_alternative<AllReply>(r); };
  result = session.WaitForReply(isAll, deadline);
  if (result != WaitResult::kDone) return std::nullopt;
  const DeviceState device = session.Device();
  const SettingSpec& item = SpecOf(setting);
  const std::int32_t value = item.get(device);
  // The board keeps any non-zero soft-active state as on.
  if (item.kind == ValueKind::kSwitch) return value != 0 ? 1u : 0u;
  return static_cast<std::uint32_t>(value);
}

}  // namespace quorvane::ctl
