// The rules for the link's calls into the window, with the real controller
// behind them and a window whose thread is this test's: what the monitor
// thread sends waits until this thread serves it, and what is posted waits
// until the test runs it, so every case is decided by the rules alone.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "controller/window_link_owner.h"
#include "tests/controller/controller_rig.h"

namespace quorvane::test {
namespace {

constexpr unsigned kPort = 3;
using Lines = std::vector<std::string>;

// Threads: FromMonitorThread's calls run on a thread of its own; everything
// else on the thread that made this window.
class QueuedWindow final : public WindowLinkOwner {
 public:
  explicit QueuedWindow(Controller& controller) : WindowLinkOwner(controller) {}
  using WindowLinkOwner::BeginEnding;
  using WindowLinkOwner::Detach;

  // Runs calls on a second thread, as the link's monitor thread would, and
  // serves the work they send until they return. atFirstSend runs first
  // when work has been sent and waits.
  void FromMonitorThread(const std::function<void()>& calls,
                         const std::function<void()>& atFirstSend = {});
  // Runs the work posted so far, and any that it posts, oldest first.
  void RunPosted();
  std::size_t Posted() const;

  void PumpMessages() override {}

  std::atomic<int> served{0};      // sent work run here; read by the monitor thread
  std::vector<std::string> boxes;  // "caption: text"
  std::function<void()> whileBoxOpen;

 private:
  bool OnWindowThread() const override { return std::this_thread::get_id() == m_windowThread; }
  void RunOnWindowThread(const std::function<void()>& work) override;
  void PostToWindowThread(std::function<void()> work) override;
  void ShowErrorBox(const std::string& text, const std::string& caption) override;

  const std::thread::id m_windowThread = std::this_thread::get_id();
  mutable std::mutex m_lock;  // guards the three below
  std::condition_variable m_changed;
  const std::function<void()>* m_sent = nullptr;  // waiting to be served
  bool m_monitorDone = false;
  std::deque<std::function<void()>> m_posted;
};

void QueuedWindow::FromMonitorThread(const std::function<void()>& calls,
                                     const std::function<void()>& atFirstSend) {
  m_monitorDone = false;
  std::thread monitor([&] {
    calls();
    const std::lock_guard<std::mutex> lock(m_lock);
    m_monitorDone = true;
    m_changed.notify_all();
  });
  bool first = true;
  std::unique_lock<std::mutex> lock(m_lock);
  for (;;) {
    m_changed.wait(lock, [this] { return m_sent != nullptr || m_monitorDone; });
    if (m_sent == nullptr) break;
    const std::function<void()>* work = m_sent;
    lock.unlock();
    if (first && atFirstSend) atFirstSend();
    first = false;
    (*work)();
    ++served;
    lock.lock();
    m_sent = nullptr;
    m_changed.notify_all();
  }
  lock.unlock();
  monitor.join();
}

void QueuedWindow::RunOnWindowThread(const std::function<void()>& work) {
  if (OnWindowThread()) {
    // A real window would wait for itself for ever.
    ADD_FAILURE() << "work sent to the window thread from the window thread";
    return work();
  }
  std::unique_lock<std::mutex> lock(m_lock);
  m_sent = &work;
  m_changed.notify_all();
  m_changed.wait(lock, [this] { return m_sent == nullptr; });
}

void QueuedWindow::PostToWindowThread(std::function<void()> work) {
  const std::lock_guard<std::mutex> lock(m_lock);
  m_posted.push_back(std::move(work));
}

void QueuedWindow::RunPosted() {
  for (;;) {
    std::function<void()> work;
    {
      const std::lock_guard<std::mutex> lock(m_lock);
      if (m_posted.empty()) return;
      work = std::move(m_posted.front());
      m_posted.pop_front();
    }
    work();
  }
}

std::size_t QueuedWindow::Posted() const {
  const std::lock_guard<std::mutex> lock(m_lock);
  return m_posted.size();
}

void QueuedWindow::ShowErrorBox(const std::string& text, const std::string& caption) {
  EXPECT_TRUE(OnWindowThread()) << "a box opened off the window thread";
  boxes.push_back(caption + ": " + text);
  if (whileBoxOpen) whileBoxOpen();
}

// The window and its controller, with port 3 open and waiting for the board.
struct PolicyRig {
  Journal journal;
  FakeWindow window{journal};
  FakeLink link{journal};
  FakePorts ports;
  QueuedWindow owner{controller};
  Controller controller{window, link, ports, owner};
  std::size_t mark = 0;

  PolicyRig() {
    ports.listed.push_back({kPort, "port3", "dev 3"});
    controller.ResetToClosed();
    controller.OnOpenClose();
    mark = journal.Mark();
  }
  std::size_t Closes() const { return journal.Lines(mark, "Close").size(); }
  void FinishPauses() {
    window.RunPauses([this](int id) { controller.OnTimer(id); });
  }
};

TEST(WindowLinkOwner, EachByteIsHandledOnTheWindowThreadBeforeItsCallReturns) {
  struct Case {
    const char* name;
    bool fromMonitorThread, ending, detached;
    bool sent;     // each byte waited for the window thread to serve it
    bool handled;  // the controller took the reply
  };
  const Case cases[] = {
      {"from the monitor thread", true, false, false, true, true},
      {"on the window thread: at once", false, false, false, false, true},
      {"while the session ends: dropped there", true, true, false, true, false},
      {"once detached: never sent", true, true, true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PolicyRig rig;
    if (c.ending) rig.owner.BeginEnding();
    if (c.detached) rig.owner.Detach();
    const std::vector<std::uint8_t> frame = ReplyAll(0x12, 0x34, 1000, 3000);
    std::vector<int> servedAfterEach;
    const auto deliver = [&] {
      for (const std::uint8_t byte : frame) {
        rig.owner.OnSerialByte(byte, kPort);
        servedAfterEach.push_back(rig.owner.served);
      }
    };
    if (c.fromMonitorThread) {
      rig.owner.FromMonitorThread(deliver);
    } else {
      deliver();
    }
    std::vector<int> expected(frame.size(), 0);
    if (c.sent) std::iota(expected.begin(), expected.end(), 1);
    EXPECT_EQ(servedAfterEach, expected);
    EXPECT_EQ(rig.owner.Posted(), 0u);
    // A whole frame in order, taken before anything queued could run.
    EXPECT_EQ(rig.controller.Flags().synced, c.handled ? 1 : 0);
    EXPECT_EQ(rig.controller.Device().currentSetpoint, c.handled ? 1000 : 0);
  }
}

TEST(WindowLinkOwner, ALostPortQueuesADeviceChangeThatTheEndOfTheSessionDrops) {
  struct Case {
    const char* name;
    bool endsBeforeTheLoss, detached, endsBeforeItRuns;
    std::size_t posted;
    std::size_t closes;  // the device change closes the open link
  };
  const Case cases[] = {
      {"session open", false, false, false, 1, 1},
      {"session ending", true, false, false, 1, 0},
      {"session ends while it waits", false, false, true, 1, 0},
      {"detached", true, true, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PolicyRig rig;
    if (c.endsBeforeTheLoss) rig.owner.BeginEnding();
    if (c.detached) rig.owner.Detach();
    rig.owner.FromMonitorThread([&] { rig.owner.OnPortLost(kPort); });
    EXPECT_EQ(rig.owner.served, 0) << "the monitor thread waited for the window";
    EXPECT_EQ(rig.owner.Posted(), c.posted);
    EXPECT_EQ(rig.Closes(), 0u);
    if (c.endsBeforeItRuns) rig.owner.BeginEnding();
    rig.owner.RunPosted();
    rig.FinishPauses();
    EXPECT_EQ(rig.Closes(), c.closes);
  }
}

TEST(WindowLinkOwner, AnErrorOpensABoxUntilTheSessionEndsThenGoesToStandardError) {
  enum class Ending { Never, BeforeTheCall, WhileItWaits };
  struct Case {
    const char* name;
    const char* caption;
    bool fromMonitorThread;
    Ending ending;
    std::string box;  // caption and text; empty for none
    std::string standardError;
  };
  const Case cases[] = {
      {"monitor thread", "Link", true, Ending::Never, "Link: EIO", ""},
      {"default caption", "", false, Ending::Never, "Application Error: EIO", ""},
      {"ending", "Link", true, Ending::BeforeTheCall, "", "quorvane: Link: EIO\n"},
      {"ending while waiting", "", true, Ending::WhileItWaits, "",
       "quorvane: Application Error: EIO\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PolicyRig rig;
    if (c.ending == Ending::BeforeTheCall) rig.owner.BeginEnding();
    const auto report = [&] { rig.owner.ShowError("EIO", c.caption); };
    testing::internal::CaptureStderr();
    if (c.fromMonitorThread) {
      rig.owner.FromMonitorThread(report, [&] {
        if (c.ending == Ending::WhileItWaits) rig.owner.BeginEnding();
      });
    } else {
      report();
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.standardError);
    EXPECT_EQ(rig.owner.boxes, c.box.empty() ? Lines{} : Lines{c.box});
  }
}

TEST(WindowLinkOwner, ABoxHoldsBackTransitionsUntilItAndTheCallThatRaisedItAreDone) {
  struct Case {
    const char* name;
    bool fromMonitorThread, endsBeforeTheDeferredRun;
    std::size_t closesAfter;
  };
  const Case cases[] = {
      {"box for the monitor thread", true, false, 1},
      {"box on the window thread", false, false, 1},
      {"session ends before the deferred run", true, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PolicyRig rig;
    std::size_t closesWhileOpen = 99;
    // A device arrives while the box is up, handled by the box's own loop.
    rig.owner.whileBoxOpen = [&] {
      rig.controller.OnDeviceChange();
      closesWhileOpen = rig.Closes();
    };
    const auto report = [&] { rig.owner.ShowError("write failed", "Application Error"); };
    if (c.fromMonitorThread) {
      rig.owner.FromMonitorThread(report);
    } else {
      report();
    }
    ASSERT_EQ(rig.owner.boxes.size(), 1u);
    EXPECT_EQ(closesWhileOpen, 0u) << "the link was closed while the box was up";
    // The monitor thread's call returned first; the held-back work follows.
    EXPECT_EQ(rig.Closes(), 0u);
    if (c.endsBeforeTheDeferredRun) rig.owner.BeginEnding();
    rig.owner.RunPosted();
    rig.FinishPauses();
    EXPECT_EQ(rig.Closes(), c.closesAfter);
    EXPECT_EQ(rig.controller.Flags().portOpen, 1)
        << "the port that is still there was not reopened";
  }
}

}  // namespace
}  // namespace quorvane::test
