// Why a port could not be opened, as a kind a program can act on (a script's
// exit status), beside the operator's sentence that LastOpenError gives.
#pragma once

namespace quorvane {

enum class OpenFailure {
  kNone,        // the last open succeeded
  kNoDevice,    // nothing behind that name or number
  kPermission,  // the system refused us the device
  kBusy,        // another program holds it open
  kNotSerial,   // opened, but the device is no terminal (a plain file, /dev/null)
  kOther,       // configuration failed, or an error of no other kind
};

}  // namespace quorvane
