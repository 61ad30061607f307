// Standard output written from a thread of its own, so a reader that stops
// reading (a paused pager, Ctrl-S, a slow consumer) holds up neither the
// polling nor the CSV log nor a stop request.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <thread>

namespace quorvane::ctl {

// Threads: the main thread constructs, writes, drains and destroys; Abandon
// may come from any thread (the stop request's); the writer thread only
// writes. Text goes to the stream's descriptor, past the stream's buffer and
// lock, so a writer stuck in the system's write holds nothing the rest of the
// program, or its exit, needs.
class OutputWriter {
 public:
  // Lines queued at most: some minutes of readings at the fastest interval.
  static constexpr std::size_t kQueueLimit = 1024;

  explicit OutputWriter(std::FILE* stream);  // flushes stream first
  // Waits for the writer when it is not stuck in a write; otherwise leaves it
  // to end with the process: a stuck write can neither be finished nor taken back.
  ~OutputWriter();
  OutputWriter(const OutputWriter&) = delete;
  OutputWriter& operator=(const OutputWriter&) = delete;

  // Queues text; when the queue is full (the reader is behind) the text is
  // dropped and counted, and false returned.
  bool Write(std::string text);
  // Until everything queued is written, a write has failed, or Abandon.
  void Drain();
  // Any thread: no more waiting for the output; what is queued stays unwritten.
  void Abandon();

  // 0, or the errno of the write that failed (EPIPE when the reader has gone);
  // after a failure nothing more is written.
  int Error() const;
  // Texts dropped for a full queue or left queued when abandoned or failed.
  unsigned long long Unwritten() const;

 private:
  struct Shared;
  std::shared_ptr<Shared> m_shared;  // with the writer thread, which may outlive this
  std::thread m_thread;
};

}  // namespace quorvane::ctl
