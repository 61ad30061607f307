// The operator's explanation of why a port could not be opened.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace quorvane {

// path is the device behind portNumber (none when the number has no device);
// error the errno of the failed open.
std::string DescribeOpenFailure(unsigned portNumber,
                                const std::optional<std::filesystem::path>& path, int error);

// The device opened but the configuration step named by operation failed with error.
std::string DescribeConfigurationFailure(unsigned portNumber, const std::filesystem::path& path,
                                         const std::string& operation, int error);

}  // namespace quorvane
