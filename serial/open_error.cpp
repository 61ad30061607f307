// Turns a failed open into a sentence the operator can act on.
#include "serial/open_error.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "serial/error_text.h"

namespace quorvane {
namespace {

// The group that owns the device, as a name when the system knows one.
std::string GroupOf(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  std::vector<char> buffer(4096);
  group entry{};
  group* found = nullptr;
  if (getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
    return found->gr_name;
  return std::to_string(info.st_gid);
}

}  // namespace

std::string DescribeOpenFailure(unsigned portNumber,
                                const std::optional<std::filesystem::path>& path, int error) {
  const std::string port = "COM" + std::to_string(portNumber);
  if (!path) return port + " has no device on this system.";
  const std::string device = path->string();
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return port + " (" + device + ") is not present.";
    case EACCES:
    case EPERM: {
      const std::string group = GroupOf(*path);
      if (group.empty()) return "Permission denied on " + device + ".";
      return "Permission denied on " + device + ", which belongs to the group '" + group +
             "'. Add your user to that group (sudo usermod -aG " + group +
             " $USER) and log in again.";
    }
    case EBUSY:
    case EWOULDBLOCK:
      return device + " is busy: another program holds it open.";
    default:
      return "Could not open " + device + ": " + SystemErrorText(error) + ".";
  }
}

std::string DescribeConfigurationFailure(unsigned portNumber, const std::filesystem::path& path,
                                         const std::string& operation, int error) {
  return "COM" + std::to_string(portNumber) + " (" + path.string() +
         ") could not be configured: " + operation + " failed: " + SystemErrorText(error) + ".";
}

}  // namespace quorvane
