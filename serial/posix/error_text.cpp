// errno to text, the layout of the serial error box, and the operator's
// sentence for a port that could not be opened.
#include "serial/posix/error_text.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

namespace quorvane {
namespace {

// strerror_r comes in two flavours; overloads pick whichever the C library has.
[[maybe_unused]] const char* Pick(int result, const char* buffer) {
  return result == 0 ? buffer : "";
}
[[maybe_unused]] const char* Pick(const char* result, const char*) {
  return result != nullptr ? result : "";
}

}  // namespace

std::string SystemErrorText(int error) {
  char buffer[256] = {};
  return Pick(strerror_r(error, buffer, sizeof buffer), buffer);
}

bool IsDeviceGoneError(int error) { return error == EIO || error == ENXIO || error == ENODEV; }

namespace {

// A user's name when the system knows one, else its number.
std::string UserName(unsigned uid) {
  std::vector<char> buffer(4096);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
    return found->pw_name;
  return std::to_string(uid);
}

// The mode as ls shows it: "crw-rw----".
std::string ModeText(unsigned mode) {
  std::string text = S_ISCHR(mode) ? "c" : S_ISDIR(mode) ? "d" : S_ISLNK(mode) ? "l" : "-";
  const char* const letters = "rwx";
  for (int bit = 8; bit >= 0; --bit)
    text += (mode & (1u << bit)) != 0 ? letters[(8 - bit) % 3] : '-';
  return text;
}

// A group's name when the system knows one, else its number.
std::string GroupName(unsigned gid) {
  std::vector<char> buffer(4096);
  group entry{};
  group* found = nullptr;
  if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
    return found->gr_name;
  return std::to_string(gid);
}

// At most this many holders are named; more would not fit a tooltip.
constexpr std::size_t kMaxHoldersNamed = 3;

bool IsNumber(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(),
                                      [](unsigned char c) { return std::isdigit(c) != 0; });
}

// Other processes with a descriptor on device, as "name (pid N)", the way
// fuser finds them: every /proc/<pid>/fd entry whose target is the same
// inode. Processes we may not look into are skipped, so the list is empty
// when nothing can be seen. Our own process is left out: the descriptor of
// the attempt that failed is closed by now, and any other is not the reason.
std::vector<std::string> HoldersOf(const std::filesystem::path& device) {
  struct stat wanted {};
  if (::stat(device.c_str(), &wanted) != 0) return {};
  const std::string self = std::to_string(::getpid());
  std::vector<std::string> holders;
  std::error_code error;
  for (const auto& process : std::filesystem::directory_iterator("/proc", error)) {
    const std::string pid = process.path().filename().string();
    if (!IsNumber(pid) || pid == self) continue;
    std::error_code unreadable;  // not ours to look into, or gone meanwhile
    for (const auto& fd : std::filesystem::directory_iterator(process.path() / "fd", unreadable)) {
      struct stat target {};
      if (::stat(fd.path().c_str(), &target) != 0 || target.st_dev != wanted.st_dev ||
          target.st_ino != wanted.st_ino)
        continue;
      std::string name;
      std::getline(std::ifstream(process.path() / "comm"), name);
      holders.push_back((name.empty() ? "a program" : name) + " (pid " + pid + ")");
      break;
    }
    if (holders.size() == kMaxHoldersNamed) break;
  }
  return holders;
}

std::string Joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
  return text;
}

}  // namespace

std::string DescribeOpenFailure(unsigned portNumber,
                                const std::optional<std::filesystem::path>& path, int error) {
  // The device path is the port's name here: the operator never sees the
  // panel's COM numbers, and the path is what ls, chmod and fuser take.
  if (!path) return "Port " + std::to_string(portNumber) + " has no device on this system.";
  const std::string device = path->string();
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return device + " is not present.";
    case EACCES:
    case EPERM: {
      struct stat info {};
      if (::stat(path->c_str(), &info) != 0) return "Permission denied on " + device + ".";
      return DescribePermissionDenied(device, info.st_mode, info.st_uid, info.st_gid);
    }
    case EBUSY:
    case EWOULDBLOCK: {
      const std::vector<std::string> holders = HoldersOf(*path);
      if (holders.empty()) return device + " is busy: another program holds it open.";
      return device + " is busy: in use by " + Joined(holders) + ".";
    }
    default:
      return "Could not open " + device + ": " + SystemErrorText(error) + ".";
  }
}

std::string DescribePermissionDenied(const std::string& device, unsigned mode, unsigned uid,
                                     unsigned gid) {
  const std::string group = GroupName(gid);
  // Joining a group helps only when the group may read and write the device;
  // root's group is never advice to give, whatever its mode.
  const bool groupWouldHelp = (mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP) && gid != 0;
  if (groupWouldHelp) {
    return "Permission denied on " + device + ", which belongs to the group '" + group +
           "'. Add your user to that group (sudo usermod -aG " + group +
           " $USER) and log in again.";
  }
  return "Permission denied on " + device + " (" + ModeText(mode) + " " + UserName(uid) + " " +
         group +
         "): no group may read and write it. An administrator can give it to a group of "
         "yours with a udev rule (GROUP=\"dialout\", MODE=\"0660\").";
}

OpenFailure ClassifyOpenFailure(int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return OpenFailure::kNoDevice;
    case EACCES:
    case EPERM:
      return OpenFailure::kPermission;
    case EBUSY:
    case EWOULDBLOCK:
      return OpenFailure::kBusy;
    default:
      return OpenFailure::kOther;
  }
}

std::string DescribeConfigurationFailure(const std::filesystem::path& path,
                                         const std::string& operation, int error) {
  const std::string port = path.string();
  // A device that refuses terminal settings as such is a file, /dev/null or
  // the like: the step that found out says nothing more to the operator.
  if (error == ENOTTY)
    return port + " is not a serial port: it takes no terminal settings (" +
           SystemErrorText(error) + ").";
  return port + " could not be configured: " + operation + " failed: " + SystemErrorText(error) +
         ".";
}

}  // namespace quorvane
