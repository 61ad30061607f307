// Every period and pause of the controller, in one place: timers pace the
// board, and the pauses keep it from being flooded.
#pragma once

#include <chrono>

namespace quorvane {

using std::chrono::milliseconds;

inline constexpr milliseconds kSyncPeriod{500};  // CMD_READ_ALL until the first RPL_ALL
inline constexpr milliseconds kPollPeriod{500};  // status poll; also after every setting
inline constexpr milliseconds kPollAfterRelease{
    400};                                          // a mouse release brings the poll back sooner
inline constexpr milliseconds kRepeatPeriod{200};  // a held step button
inline constexpr milliseconds kCloseSettle{400};   // after closing from the button
inline constexpr milliseconds kDeviceChangeSettle{200};  // each pause of a device change
inline constexpr milliseconds kAfterSliderSet{50};  // a dragged slider's set-point, then the poll
inline constexpr milliseconds kAfterStatusQuery{200};
inline constexpr milliseconds kBetweenRepeats{100};  // a setting is sent twice
inline constexpr milliseconds kAfterSoftActive{50};

}  // namespace quorvane
