// Port names and device paths on Linux: the port table's names in the device
// folder, or any path to a terminal through a private link.
#include <stdlib.h>

#include <system_error>
#include <utility>

#include "ctl/port_choice.h"
#include "serial/error_report.h"
#include "serial/posix/port_table.h"

namespace quorvane::ctl {
namespace {

namespace fs = std::filesystem;

// The link's name in the private folder: the first slot the port table knows.
constexpr const char* kPrivateName = "ttyS0";

std::shared_ptr<const PrivateLink> MakePrivateLink(const fs::path& target) {
  std::error_code error;
  std::string pattern = (fs::temp_directory_path(error) / "quorvane-ctl-XXXXXX").string();
  if (error || ::mkdtemp(pattern.data()) == nullptr) return nullptr;
  auto link = std::make_shared<const PrivateLink>(fs::path(pattern) / kPrivateName);
  fs::create_symlink(fs::absolute(target, error), link->Path(), error);
  if (error) return nullptr;
  return link;
}

}  // namespace

PrivateLink::~PrivateLink() {
  std::error_code ignored;
  fs::remove(m_link, ignored);
  fs::remove(m_link.parent_path(), ignored);
}

std::optional<ChosenPort> ChoosePort(const std::string& text, const fs::path& deviceDirectory) {
  if (text.empty()) return std::nullopt;
  if (text.find('/') == std::string::npos) {
    const std::optional<unsigned> number = PortTable(deviceDirectory).NumberOf(text);
    if (!number) return std::nullopt;
    return ChosenPort{*number, text, deviceDirectory, nullptr};
  }
  const fs::path path(text);
  const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
  if (const std::optional<unsigned> number = PortTable(folder).NumberOf(path.filename().string()))
    return ChosenPort{*number, text, folder, nullptr};
  std::shared_ptr<const PrivateLink> link = MakePrivateLink(path);
  if (!link) return std::nullopt;
  const fs::path folderOfLink = link->Path().parent_path();
  return ChosenPort{*PortTable(folderOfLink).NumberOf(kPrivateName), text, folderOfLink,
                    std::move(link)};
}

std::string ListName(const ChosenPort& port) {
  if (port.name.find('/') == std::string::npos) return port.name;
  // The first name along the path's links that its folder's port table
  // knows: /dev/serial/by-id/usb-... leads to ttyUSB0.
  fs::path path(port.name);
  for (int hops = 0; hops < 40; ++hops) {
    const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    if (PortTable(folder).NumberOf(path.filename().string())) return path.filename().string();
    std::error_code error;
    if (!fs::is_symlink(path, error)) break;
    const fs::path target = fs::read_symlink(path, error);
    if (error) break;
    path = target.is_absolute() ? target : folder / target;
  }
  return fs::path(port.name).filename().string();
}

std::string InTermsOf(const ChosenPort& port, std::string message) {
  if (!port.privateLink) return message;  // the serial texts name the device as given
  // Our link shows as its path in the sentences and as its name in the box.
  const std::pair<std::string, std::string> ourNames[] = {
      {port.privateLink->Path().string(), port.name},
      {ErrorReportPortLine(port.privateLink->Path().filename().string()),
       ErrorReportPortLine(port.name)},
  };
  for (const auto& [ours, given] : ourNames)
    for (std::size_t at = message.find(ours); at != std::string::npos;
         at = message.find(ours, at + given.size()))
      message.replace(at, ours.size(), given);
  return message;
}

}  // namespace quorvane::ctl
