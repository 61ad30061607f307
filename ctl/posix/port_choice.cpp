// Port names and device paths on Linux: the port table's names in the device
// folder, or any path to a terminal through a private link.
#include <stdlib.h>

#include <system_error>

#include "ctl/port_choice.h"
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

std::string InTermsOf(const ChosenPort& port, std::string message) {
  if (port.privateLink) {
    const std::string ours = port.privateLink->Path().string();
    for (std::size_t at = message.find(ours); at != std::string::npos;
         at = message.find(ours, at + port.name.size()))
      message.replace(at, ours.size(), port.name);
  }
  // The panel's sentences name a port "COM33 (/dev/ttyUSB0)", its COM number
  // first; here the device alone is the name the user knows.
  const std::string device = port.privateLink
                                 ? port.name
                                 : (port.deviceDirectory / fs::path(port.name).filename()).string();
  const std::string panels = "COM" + std::to_string(port.number) + " (" + device + ")";
  for (std::size_t at = message.find(panels); at != std::string::npos;
       at = message.find(panels, at + device.size()))
    message.replace(at, panels.size(), device);
  return message;
}

}  // namespace quorvane::ctl
