// The writer thread and its bounded queue.
#include "ctl/output_writer.h"

#include <condition_variable>
#include <deque>
#include <mutex>

#include "ctl/output.h"

namespace quorvane::ctl {

struct OutputWriter::Shared {
  std::FILE* stream = nullptr;
  // mutex guards everything below; changed is signalled on every change.
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::string> queue;
  bool writing = false;    // the writer is in the system's write, without the lock
  bool closing = false;    // the writer is to end once idle
  bool abandoned = false;  // nobody waits for the output any more
  bool finished = false;   // the writer has ended
  int error = 0;
  unsigned long long dropped = 0;
};

OutputWriter::OutputWriter(std::FILE* stream) : m_shared(std::make_shared<Shared>()) {
  std::fflush(stream);
  m_shared->stream = stream;
  m_thread = std::thread([shared = m_shared] {
    std::unique_lock lock(shared->mutex);
    for (;;) {
      shared->changed.wait(
          lock, [&] { return !shared->queue.empty() || shared->closing || shared->abandoned; });
      if (shared->queue.empty() || shared->abandoned || shared->error != 0) break;
      const std::string text = std::move(shared->queue.front());
      shared->queue.pop_front();
      shared->writing = true;
      lock.unlock();
      const int error = WriteUnbuffered(shared->stream, text);
      lock.lock();
      shared->writing = false;
      if (error != 0) shared->error = error;
      shared->changed.notify_all();
    }
    shared->finished = true;
    shared->changed.notify_all();
  });
}

OutputWriter::~OutputWriter() {
  std::unique_lock lock(m_shared->mutex);
  m_shared->closing = true;
  m_shared->abandoned = true;  // what Drain did not wait for is not waited for now
  m_shared->changed.notify_all();
  const bool stuck = m_shared->writing;
  lock.unlock();
  if (stuck)
    m_thread.detach();
  else
    m_thread.join();
}

bool OutputWriter::Write(std::string text) {
  std::lock_guard lock(m_shared->mutex);
  if (m_shared->error != 0 || m_shared->queue.size() >= kQueueLimit) {
    ++m_shared->dropped;
    return false;
  }
  m_shared->queue.push_back(std::move(text));
  m_shared->changed.notify_all();
  return true;
}

void OutputWriter::Drain() {
  std::unique_lock lock(m_shared->mutex);
  m_shared->changed.wait(lock, [&] {
    return m_shared->abandoned || m_shared->error != 0 || m_shared->finished ||
           (m_shared->queue.empty() && !m_shared->writing);
  });
}

void OutputWriter::Abandon() {
  std::lock_guard lock(m_shared->mutex);
  m_shared->abandoned = true;
  m_shared->changed.notify_all();
}

int OutputWriter::Error() const {
  std::lock_guard lock(m_shared->mutex);
  return m_shared->error;
}

unsigned long long OutputWriter::Unwritten() const {
  std::lock_guard lock(m_shared->mutex);
  return m_shared->dropped + m_shared->queue.size() + (m_shared->writing ? 1 : 0);
}

}  // namespace quorvane::ctl
