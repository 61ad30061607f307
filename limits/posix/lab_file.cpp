// The lab's file on Linux: /etc/quorvane/limits.toml, and stat's word on who
// could have written it and its folder.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "limits/file_look.h"
#include "limits/lab_limits.h"

namespace quorvane {
namespace {

FileFacts FactsOf(const std::string& path, int& error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    error = errno;
    return {};
  }
  error = 0;
  return {true, S_ISREG(st.st_mode) || S_ISDIR(st.st_mode), st.st_uid,
          static_cast<std::uint32_t>(st.st_mode & 07777)};
}

}  // namespace

std::string LabLimitsPath() { return "/etc/quorvane/limits.toml"; }

FileLook LookAtFile(const std::string& path, bool checkOwner, bool checkModes) {
  FileLook look;
  int error = 0;
  const FileFacts file = FactsOf(path, error);
  if (error == ENOENT || error == ENOTDIR) {
    look.absent = true;
    return look;
  }
  if (error != 0) {
    look.problem = path + ": cannot be read: " + std::strerror(error);
    return look;
  }
  if (checkModes) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) folder = ".";
    const FileFacts folderFacts = FactsOf(folder, error);
    look.problem = PermissionProblem(path, file, folder, folderFacts, checkOwner);
  }
  return look;
}

}  // namespace quorvane
