// The demo's mirrored port directory and its port list.
#include "app/qt/demo_ports.h"

#include <stdlib.h>

#include <cerrno>
#include <set>
#include <system_error>

namespace quorvane {

namespace fs = std::filesystem;

MirroredPortDirectory::MirroredPortDirectory(fs::path realDirectory)
    : m_realDirectory(std::move(realDirectory)) {
  std::string pattern = (fs::temp_directory_path() / "quorvane-ports-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr)
    throw std::system_error(errno, std::generic_category(), "cannot make a port directory");
  m_path = pattern;
}

MirroredPortDirectory::~MirroredPortDirectory() {
  std::error_code ignored;
  fs::remove_all(m_path, ignored);
}

std::string MirroredPortDirectory::ReserveVirtualName() {
  const PortTable real(m_realDirectory);
  for (const char* family : {"ttyUSB", "ttyACM"}) {
    for (int n = 0; n < 32; ++n) {
      const std::string name = family + std::to_string(n);
      std::error_code error;
      if (fs::exists(fs::symlink_status(m_realDirectory / name, error))) continue;
      m_virtualName = name;
      return name;
    }
  }
  return {};
}

void MirroredPortDirectory::Refresh() const {
  const PortTable real(m_realDirectory);
  std::set<std::string> present;
  for (unsigned n = kFirstComNumber; n <= kLastComNumber; ++n) {
    const auto device = real.DevicePath(n);
    if (!device || !real.PortPresent(n)) continue;
    const std::string name = device->filename().string();
    if (name == m_virtualName) continue;
    present.insert(name);
    std::error_code error;
    const fs::path link = m_path / name;
    if (fs::is_symlink(fs::symlink_status(link, error))) continue;
    fs::create_symlink(*device, link, error);  // a failure leaves that port unlisted
  }
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(m_path, error)) {
    const std::string name = entry.path().filename().string();
    if (name == m_virtualName || present.count(name) != 0) continue;
    std::error_code ignored;
    fs::remove(entry.path(), ignored);
  }
}

DemoPortProbe::DemoPortProbe(MirroredPortDirectory& directory, std::string virtualName,
                             std::string virtualDetails)
    : m_directory(directory),
      m_table(directory.Path()),
      m_virtualName(std::move(virtualName)),
      m_virtualDetails(std::move(virtualDetails)) {}

bool DemoPortProbe::PortPresent(unsigned number) const { return m_table.PortPresent(number); }

std::vector<ListedPort> DemoPortProbe::DiscoverPorts() const {
  m_directory.Refresh();
  std::vector<ListedPort> ports = m_table.DiscoverPorts();
  for (ListedPort& port : ports) {
    if (port.name != m_virtualName) continue;
    port.name += kVirtualSuffix;
    port.details = m_virtualDetails;
  }
  return ports;
}

}  // namespace quorvane
