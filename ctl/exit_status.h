// quorvane-ctl's exit statuses: one per failure a script may want to tell
// apart, so a caller can react without reading the message.
#pragma once

#include "serial/open_failure.h"

namespace quorvane::ctl {

enum ExitStatus : int {
  kExitOk = 0,
  kExitFailure = 1,   // anything else: the port vanished, the output or a file failed
  kExitUsage = 2,     // the command line itself was wrong
  kExitBadValue = 3,  // a value the entry fields or the board would not take
  kExitNoSuchPort = 4,
  kExitPermission = 5,
  kExitPortBusy = 6,
  kExitBoardSilent = 7,         // no RPL_ALL within the sync time, or silent after it
  kExitNotConfirmed = 8,        // the board's reply did not carry the new value
  kExitBrokerUrl = 9,           // bridge: --broker is no mqtt:// or mqtts:// URL
  kExitBrokerUnreachable = 10,  // bridge: no broker answered at start
  kExitBrokerAuth = 11,         // bridge: credentials refused, or the password file unusable
  kExitBrokerTls = 12,       // bridge: the broker's certificate not trusted, or --cafile unusable
  kExitIdTaken = 13,         // bridge: another live bridge has this id, or took our session
  kExitLimitsUnusable = 14,  // a limits file exists but cannot be used: no setting is sent
  kExitInterrupted = 130,    // Ctrl-C before the command was done (monitor: 0)
};

// The table printed by --help and written in the manual page.
// Numbers right-aligned in three columns, continuation lines under the text.
inline constexpr const char* kExitStatusText =
    R"(Exit status:
    0  success
    1  other failure (the port vanished, the output or the CSV file could not
       be written)
    2  usage error (the usage text is printed)
    3  bad value (not a number as the panel's entry fields take it, or beyond
       what the board takes or the lab's limits allow); nothing is sent
    4  no such port, or the device is not a serial port
    5  permission denied on the port
    6  port in use by another program
    7  board silent: no full reply (RPL_ALL) within 2 s, or no status reply
       after it (see --timeout)
    8  board did not confirm the setting, nor did reading it back (or a
       ramp's step)
    9  bridge: bad broker URL
   10  bridge: broker unreachable at start
   11  bridge: the broker refused the connection (credentials), or the password
       file is unusable (missing, or readable by group or others)
   12  bridge: TLS failed (the broker's certificate names another host or is
       not signed by a trusted CA, or --cafile holds no usable certificate)
   13  bridge: another live bridge already publishes with this id, or took
       over this bridge's session (same client id); not worth a restart
   14  the lab's limits file (or the --limits file) exists but cannot be used
       (the message names the file, the line and the problem); no setting is
       sent
  130  interrupted by Ctrl-C, a kill or a hang-up (monitor ends with 0, as when
       its reader goes away; set, once the frame is out, only on a second one)
)";

// The status for a port that would not open.
inline int OpenFailureStatus(OpenFailure failure) {
  switch (failure) {
    case OpenFailure::kNoDevice:
      return kExitNoSuchPort;
    case OpenFailure::kPermission:
      return kExitPermission;
    case OpenFailure::kBusy:
      return kExitPortBusy;
    case OpenFailure::kNotSerial:
      return kExitNoSuchPort;  // no serial port by that name
    case OpenFailure::kNone:
    case OpenFailure::kOther:
      break;
  }
  return kExitFailure;
}

}  // namespace quorvane::ctl
