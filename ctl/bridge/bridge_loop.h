// The bridge at work: one board polled at the panel's pace, every status
// reply published, settings from the broker carried out between polls, and
// a board that goes away waited for and taken back.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "ctl/board_session.h"
#include "ctl/bridge/bridge_messages.h"
#include "ctl/bridge/mqtt_client.h"
#include "ctl/ctl_options.h"
#include "ctl/port_choice.h"
#include "ctl/setting_exchange.h"
#include "ctl/status_poll.h"
#include "limits/lab_limits.h"
#include "serial/serial_link.h"

namespace quorvane::ctl {

// Threads: Run and everything it calls run on the bridge's (the program's
// main) thread; Stop may come from any thread (the signal thread's), Wake
// from the MqttClient's network thread. That thread is the broker side,
// which this class only reaches through the client's non-blocking calls, so
// the serial poll never waits on the network.
class BridgeLoop final : private PollFrontEnd {
 public:
  // sources: where the lab's limits are read at each open of the board.
  BridgeLoop(const CtlOptions& options, const LimitsSources& sources, ChosenPort port,
             std::string id, MqttClient& mqtt, std::FILE* err);
  ~BridgeLoop();
  BridgeLoop(const BridgeLoop&) = delete;
  BridgeLoop& operator=(const BridgeLoop&) = delete;

  // Opens and syncs the board (a failure ends it with the port's exit
  // status, as for monitor), then publishes until stopped.
  int Run();
  // Before Run: what the broker holds retained on a topic of ours from an
  // earlier run, cleared at the open if no lab's file asks for it now.
  void HeldByBroker(const std::string& topic, const std::string& payload);
  void Stop();
  // Any thread (the MQTT client's, on each message): ends the pause before
  // the next poll, so a setting is carried out when it comes.
  void Wake();

 private:
  struct Retained {
    std::string payload;
    int qos = 0;
    bool published = false;
  };

  int OpenBoard(bool first);
  void CloseBoard();
  void LosePort();
  void PublishReading();
  void PublishRetained(const std::string& topic, const std::string& payload, int qos);
  void RefreshBroker();
  PollStep Resync();
  void TakeCommands();
  void CarryOutQueued();
  void HandleCommands();
  void CarryOut(const SetRequest& request);
  void Refuse(const SetRequest& request, const std::string& why);
  void AfterCurrentSent(const SettingExchange& exchange);
  // "from the broker (quorvane/ID/set, request "a")": where a setting came from.
  std::string FromBroker(const nlohmann::json& requestId) const;
  bool Stopping() const;
  void Answer(const nlohmann::json& result);
  void SendAnswers();
  // The lab's limits (bridge_lab.cpp): read at each open, alarms watched on
  // each reply and pause, and the current's ramps carried out between polls.
  void ReadLimits();
  bool AlarmTopicApplies() const;
  void WatchReply(const Reply& reply);
  void TakeAlarmChanges(const AlarmChanges& changes);
  void PublishAlarm();
  // The active alarm that holds the current down (on_alarm = "ramp-down"), or null.
  const Alarm* RampDownAlarm() const;
  // Between polls: the ramp-down an alarm asked for, the ramp's next step,
  // a silent board's alarm.
  void RunLab();
  // A current request: true when a ramp took it (its answer comes when the
  // ramp ends), false when it is to be sent as it is.
  bool StartRamp(const SetRequest& request, std::int32_t target);
  void RampDownFrom(std::int32_t confirmed);
  void SendRampStep(std::int32_t value);
  void FinishRamp();
  // Ends a running ramp where it stands, answered `stopped` with why.
  void EndRamp(const std::string& why);
  void SwitchOffForLab();
  // Until deadline, a stop (true) or a message from the broker.
  bool WaitStopped(Clock::time_point deadline);
  // PollFrontEnd: the reading published, a silent board said, and the
  // broker served between two queries.
  void Note(const std::string& text) override;
  PollStep OnStatus(bool missing) override;
  void OnMissed(int missed) override;
  WaitResult Pause(Clock::time_point& next) override;

  const CtlOptions& m_options;
  const LimitsSources& m_sources;
  const ChosenPort m_port;
  const std::string m_id;
  const BridgeTopics m_topics;
  MqttClient& m_mqtt;
  std::FILE* m_err;

  // Bridge thread only.
  std::uint64_t m_connectionsSeen;             // a change means a new connection
  std::map<std::string, Retained> m_retained;  // what the broker should hold
  std::uint64_t m_dropped = 0;
  std::deque<std::string> m_waitingAnswers;  // results the broker has not taken yet
  std::uint64_t m_answersLost = 0;           // given up when too many waited
  std::deque<SetRequest> m_queuedSets;       // checked, waiting their turn at the board
  bool m_portLost = false;
  Clock::time_point m_reopenAt;    // the next look for a lost port
  bool m_resyncFailed = false;     // said once until a sync succeeds
  bool m_saidSilent = false;       // availability "silent" published
  Clock::time_point m_lastAnswer;  // the latest status reply or sync
  std::string m_reopenProblem;     // the last reopen failure said, said once

  // The lab's limits for the port as read at the latest open (bridge thread).
  PortLimits m_limits;
  std::string m_saidUnusable;  // an unusable file's reason, said once
  AlarmWatch m_alarms;
  bool m_rampDownDue = false;  // an alarm started that asks for the lab's ramp-down
  // The current taken a step per poll: up for a request from the broker
  // (m_rampRequest), or the lab's ramp-down (m_rampDown), or neither.
  CurrentRamp m_ramp;
  std::optional<SetRequest> m_rampRequest;
  bool m_rampDown = false;
  std::int32_t m_rampTarget = 0;
  std::int32_t m_rampStood = 0;      // the set-point the board confirmed last
  bool m_rampStepDue = false;        // a status reply came since the last step
  Clock::time_point m_nextRampStep;  // no step before: the ramp's pace

  // m_mutex guards the board objects' replacement against Stop and Wake,
  // and m_stopped and m_woken; m_stopChanged is signalled by both.
  mutable std::mutex m_mutex;
  std::condition_variable m_stopChanged;
  bool m_stopped = false;
  bool m_woken = false;  // a message came since the last wait for a lost port
  std::unique_ptr<CSerialLink> m_link;
  std::unique_ptr<BoardSession> m_session;
};

}  // namespace quorvane::ctl
