// The lab's file on Windows: %ProgramData%\Quorvane\limits.toml, the folder
// asked of the shell rather than of the environment, which a user could
// change. The installer gives the folder to administrators; Windows has no
// owner and mode bits to look at here.
#include <shlobj.h>
#include <windows.h>

#include <filesystem>
#include <system_error>

#include "limits/file_look.h"
#include "limits/lab_limits.h"

namespace quorvane {

std::string LabLimitsPath() {
  PWSTR folder = nullptr;
  std::filesystem::path path;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &folder)))
    path = std::filesystem::path(folder);
  CoTaskMemFree(folder);
  if (path.empty()) path = "C:\\ProgramData";
  return (path / "Quorvane" / "limits.toml").string();
}

FileLook LookAtFile(const std::string& path, bool, bool) {
  FileLook look;
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::path(path), ec)) {
    look.absent = !ec;
    if (ec) look.problem = path + ": cannot be read: " + ec.message();
  }
  return look;
}

}  // namespace quorvane
