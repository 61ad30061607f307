// Turns errno values into the operator's text; the only place that does.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "serial/error_report.h"
#include "serial/open_failure.h"

namespace quorvane {

// The system's own message for an errno value ("Input/output error").
std::string SystemErrorText(int error);

// True for the errors with which the kernel says the device itself is gone
// (unplugged, hung up), as opposed to one failed operation.
bool IsDeviceGoneError(int error);

// Why a port could not be opened, as a sentence the operator can act on,
// naming the device by its path. path is the device behind portNumber (none
// when the number has no device); error the errno of the failed open.
std::string DescribeOpenFailure(unsigned portNumber,
                                const std::optional<std::filesystem::path>& path, int error);

// Why device, with that mode, owner and group, refused us, and who can change
// it: joining its group only when the group may read and write and is not root.
std::string DescribePermissionDenied(const std::string& device, unsigned mode, unsigned uid,
                                     unsigned gid);

// The kind of a failed open's errno.
OpenFailure ClassifyOpenFailure(int error);

// The device at path opened but the configuration step named by operation
// failed with error.
std::string DescribeConfigurationFailure(const std::filesystem::path& path,
                                         const std::string& operation, int error);

}  // namespace quorvane
