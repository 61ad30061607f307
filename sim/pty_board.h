// The virtual board on a pseudo-terminal: the panel, a test or socat opens the
// slave side like a serial port, and a thread answers on the master side.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "base/unique_fd.h"
#include "sim/virtual_board.h"

namespace quorvane::sim {

// One byte of 8N1 is ten bit times; at 9600 baud that is 1.0417 ms.
inline constexpr std::chrono::nanoseconds kByteTime9600{1'041'667};

struct PtyBoardOptions {
  BoardConfig board{};
  // Send replies one byte per kByteTime9600, as a real line would, instead of
  // all at once.
  bool pace = false;
  // If not empty, a symbolic link to the slave is placed here (its directory
  // must exist), e.g. "<dir>/ttyUSB0" so a PortTable on <dir> lists the board.
  // An existing link is replaced; any other existing file is an error.
  std::filesystem::path link{};
  // Every frame both ways, called on the board thread when a frame is taken
  // in or handed out (with pacing, when its first byte leaves). It must not
  // call HangUp, Reappear or destroy the PtyBoard: those join that thread.
  WireObserver observer{};
};

// Usage:
//   PtyBoard board({.link = dir / "ttyUSB0"});
//   open(board.SlavePath()) ... write command frames, read replies ...
//   board.Board().Journal();      // what the board received
//   board.SetSwitches({.silent = true});
//   board.HangUp();               // the slave's reader sees POLLHUP / EIO; link removed
//   board.Reappear();             // a new pseudo-terminal, link placed again
//
// Thread contract: the control operations (construction, HangUp, Reappear,
// SetSwitches, SetPacing, SlavePath, LinkPath, Present, destruction) may be
// called from any thread; a mutex serialises them. The board thread only
// moves bytes between the master side and the VirtualBoard, whose operations
// are thread-safe, so Board() may be read from any thread at any time.
// The board's state and journal survive HangUp/Reappear, like a board that
// keeps its power while its USB cable is pulled.
class PtyBoard {
 public:
  // Throws std::system_error when no pseudo-terminal or link can be made.
  explicit PtyBoard(PtyBoardOptions options = {});
  ~PtyBoard();  // stops the thread, closes every descriptor, removes the link
  PtyBoard(const PtyBoard&) = delete;
  PtyBoard& operator=(const PtyBoard&) = delete;

  // The slave device, e.g. /dev/pts/7; a new one after each Reappear.
  std::filesystem::path SlavePath() const;
  std::filesystem::path LinkPath() const;  // empty when no link was asked for
  bool Present() const;                    // false between HangUp and Reappear

  // Closes the master side: every open slave descriptor is hung up (poll
  // reports POLLHUP, read returns 0 or fails with EIO) and the link is
  // removed, as when a USB adapter is unplugged. No effect when already gone.
  void HangUp();
  // A fresh pseudo-terminal with the same options; the link is placed again.
  // No effect when present. Throws std::system_error like the constructor.
  void Reappear();

  void SetSwitches(const BoardSwitches& switches);  // takes effect at once
  void SetPacing(bool pace);

  const VirtualBoard& Board() const { return m_board; }

 private:
  void Open();  // new pty and link, then the thread
  void Close();
  void Wake();
  void Run(int masterFd);

  VirtualBoard m_board;
  const std::filesystem::path m_link;
  UniqueFd m_wake;  // eventfd: wakes the board thread's poll to stop or re-plan
  std::atomic<bool> m_pace;
  std::atomic<bool> m_stop{false};  // set before Wake() to end the board thread

  // m_control guards the members below and serialises the control operations.
  mutable std::mutex m_control;
  UniqueFd m_master;
  // The board keeps a slave descriptor of its own open: without one the
  // master reports POLLHUP whenever no client has the port open, which would
  // turn the poll loop into a spin between clients.
  UniqueFd m_slaveHold;
  std::filesystem::path m_slavePath;
  std::thread m_thread;
};

}  // namespace quorvane::sim
