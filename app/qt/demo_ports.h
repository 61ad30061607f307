// Ports for the demo: the machine's real serial ports plus one virtual board,
// all reachable through one private directory of links, so a single device
// directory serves the link and the list alike.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "serial/posix/port_table.h"

namespace quorvane {

// A private temporary directory holding a link to every real tty device the
// port table knows, refreshed on each scan, beside the virtual board's link.
class MirroredPortDirectory {
 public:
  // Throws std::filesystem::filesystem_error when no directory can be made.
  explicit MirroredPortDirectory(std::filesystem::path realDirectory = "/dev");
  ~MirroredPortDirectory();
  MirroredPortDirectory(const MirroredPortDirectory&) = delete;
  MirroredPortDirectory& operator=(const MirroredPortDirectory&) = delete;

  const std::filesystem::path& Path() const { return m_path; }
  // A name in the table's ranges that no real device uses (ttyUSB0 first),
  // kept free of real links from now on; empty if every candidate is taken.
  std::string ReserveVirtualName();
  // Links the real devices present now, drops links to ones that went away.
  void Refresh() const;

 private:
  std::filesystem::path m_realDirectory;
  std::filesystem::path m_path;
  std::string m_virtualName;
};

// The demo's port list: the mirrored directory's ports, the virtual one named
// as such so it is never taken for hardware.
class DemoPortProbe : public PortProbe {
 public:
  DemoPortProbe(MirroredPortDirectory& directory, std::string virtualName,
                std::string virtualDetails);

  bool PortPresent(unsigned number) const override;
  std::vector<ListedPort> DiscoverPorts() const override;

  static constexpr const char* kVirtualSuffix = " (virtual board)";

 private:
  MirroredPortDirectory& m_directory;
  PortTable m_table;
  std::string m_virtualName;
  std::string m_virtualDetails;
};

}  // namespace quorvane
