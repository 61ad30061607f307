// From what the user typed after -p to the COM number the serial link opens:
// a list name (ttyUSB0, COM3) or a device path.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace quorvane::ctl {

// A link of ours in a private folder; both go when the last owner does.
class PrivateLink {
 public:
  explicit PrivateLink(std::filesystem::path link) : m_link(std::move(link)) {}
  ~PrivateLink();
  PrivateLink(const PrivateLink&) = delete;
  PrivateLink& operator=(const PrivateLink&) = delete;
  const std::filesystem::path& Path() const { return m_link; }

 private:
  std::filesystem::path m_link;
};

struct ChosenPort {
  unsigned number = 0;
  std::string name;  // the list name, or the path as given
  // Where the link looks the number up.
  std::filesystem::path deviceDirectory;
  // A device path whose file name is no port name (/dev/pts/3,
  // /dev/serial/by-id/...) is opened through a link of ours in a private
  // folder; that link, when made, and its removal when the last copy goes.
  std::shared_ptr<const PrivateLink> privateLink;
};

// Nothing when the text names no port this system could have.
std::optional<ChosenPort> ChoosePort(const std::string& text,
                                     const std::filesystem::path& deviceDirectory);

// The name the lab's limits file knows the port by ("ttyUSB0", "COM3"), also
// when it was given as a device path or a link to one (/dev/serial/by-id/...):
// no spelling of a port may escape its table.
std::string ListName(const ChosenPort& port);

// The operator's sentence or the serial error box with our private link
// replaced by the path given.
std::string InTermsOf(const ChosenPort& port, std::string message);

}  // namespace quorvane::ctl
