// What the panel's timing harnesses read of their own process from /proc: CPU
// time per thread, so the virtual board's threads can be left out, and memory.
#pragma once

#include <set>
#include <string>

namespace quorvane::test {

// The ids of this process's threads now.
std::set<std::string> Threads();

// CPU time of one thread of this process in ns; 0 once it has gone.
long long ThreadCpuNs(const std::string& tid);

// The threads that did not exist in before (those a virtual board started).
std::set<std::string> ThreadsSince(const std::set<std::string>& before);

// CPU time in ns of all this process's threads but the excluded ones.
long long CpuNsExcept(const std::set<std::string>& excluded);

// VmRSS in KiB, or -1 when the kernel does not tell.
long ResidentKiB();

}  // namespace quorvane::test
