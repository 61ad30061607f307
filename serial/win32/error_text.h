// Turns Win32 error codes into the operator's text; the only place that does.
#pragma once

#include <windows.h>

#include <string>

#include "serial/error_report.h"
#include "serial/open_failure.h"

namespace quorvane {

// The system's own message for an error code, without the line end the
// system puts after it (the error box lays out its own lines). Empty when the
// system has no text for the code.
std::string SystemErrorText(DWORD error);

// True for the codes with which Windows (and Wine) say the device itself is
// gone (unplugged, hung up), as opposed to one failed operation.
bool IsDeviceGoneError(DWORD error);

// Why COMn could not be opened, as a sentence the operator can act on.
std::string DescribeOpenFailure(unsigned portNumber, DWORD error);

// The kind of a failed open's error code.
OpenFailure ClassifyOpenFailure(DWORD error);

// The device opened but the configuration step named by operation failed.
std::string DescribeConfigurationFailure(unsigned portNumber, const std::string& operation,
                                         DWORD error);

}  // namespace quorvane
