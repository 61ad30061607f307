// The whole panel for Qt tests: the real window and serial link, and a
// virtual board on a pseudo-terminal listed as ttyUSB0 in a folder of its own.
#pragma once

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <QPushButton>
#include <QTemporaryDir>

#include "app/qt/controller_dlg.h"
#include "serial/posix/port_table.h"
#include "serial/posix/system_calls.h"
#include "serial/serial_link.h"
#include "sim/pty_board.h"

namespace quorvane::test {

constexpr int kSyncTimeoutMs = 5000;

inline std::vector<sim::JournalEntry> EntriesWithCode(const sim::PtyBoard& board,
                                                      std::uint8_t code) {
  std::vector<sim::JournalEntry> found;
  for (const sim::JournalEntry& entry : board.Board().Journal())
    if (entry.code == code) found.push_back(entry);
  return found;
}

struct Panel {
  QTemporaryDir dir;
  std::unique_ptr<sim::PtyBoard> board;
  std::unique_ptr<CSerialLink> link;
  std::unique_ptr<PortTable> ports;
  std::unique_ptr<CControllerDlg> dlg;

  // limitsFile: the text of the lab's limits file the panel reads; empty for
  // none. Never the system's file, so a machine that has one tests the same.
  explicit Panel(sim::BoardParameters parameters, bool pace = false,
                 SystemCalls& sys = RealSystemCalls(), const std::string& limitsFile = {}) {
    const std::filesystem::path path = dir.path().toStdString();
    LimitsSources limits;
    limits.labFile = (path / "limits.toml").string();
    limits.labFileMustBeRoots = false;
    if (!limitsFile.empty()) std::ofstream(limits.labFile) << limitsFile;
    sim::PtyBoardOptions options;
    options.board.parameters = parameters;
    options.pace = pace;
    options.link = path / "ttyUSB0";
    board = std::make_unique<sim::PtyBoard>(options);
    link = std::make_unique<CSerialLink>(path, sys);
    ports = std::make_unique<PortTable>(path);
    dlg = std::make_unique<CControllerDlg>(*link, *ports, nullptr, limits);
    dlg->show();
  }
  ~Panel() {
    dlg.reset();
    link.reset();
  }
  QPushButton* Button(int id) const { return static_cast<QPushButton*>(dlg->Control(id)); }
  std::string Text(int id) const { return dlg->GetText(id); }
  bool Synced() const { return dlg->GetController().Flags().synced != 0; }
};

inline sim::BoardParameters Parameters(std::uint16_t setpoint, std::uint8_t softActive) {
  sim::BoardParameters p;
  p.currentSetpoint = setpoint;
  p.currentMax = 3000;
  p.frequencyHz = 25000;
  p.pulseSteps = 33;
  p.softActive = softActive;
  return p;
}

}  // namespace quorvane::test
