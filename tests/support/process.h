// Test helper: a program run as a child process in a given directory, with a
// pipe to its standard input and its output captured in files.  Every
// program these tests run may send or join multicast, so a child starts only
// inside a private network namespace.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/packets.h"

namespace test_support {

class Process {
 public:
  // Starts `argv` in directory `cwd`.  Standard output goes to the file
  // `output` when one is named (truncated, then appended to, so that it may
  // be cut while the child writes; "/dev/null" throws it away), else to a
  // file that output() reads.  `input` waits in standard input before the
  // child starts.  The child is killed when this process ends.  Throws
  // outside a private network namespace.
  Process(const std::vector<std::string>& argv, const std::string& cwd,
          const std::string& output = "", const std::string& input = "");
  // Runs `work` in a forked copy of this process, which exits when it returns.
  explicit Process(const std::function<void()>& work);
  // Kills the child if it still runs.
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Writes to the child's standard input.
  void send_input(const std::string& text);
  // Waits up to `timeout` for the child to end; true when it has.
  bool wait_for(std::chrono::milliseconds timeout);
  // Ends the child with SIGKILL and reaps it.
  void kill();
  // The exit status after wait_for() returned true (-1 when killed by a signal).
  int exit_status() const { return exit_status_; }
  // The signal that ended the child, or 0.
  int exit_signal() const { return exit_signal_; }
  // The child's process id while it runs.
  int pid() const { return pid_; }
  // A value of the child's /proc/PID/status in KiB, such as "VmHWM" or
  // "VmRSS"; -1 when there is none.
  long status_kib(const std::string& name) const;
  // What the child wrote so far.
  std::string output() const;
  std::string errors() const;
  // Waits up to `timeout` for the standard output to hold `text`.
  bool shows(const std::string& text, std::chrono::milliseconds timeout) const;

 private:
  // Forks; the child takes its standard input from the pipe, which already
  // holds `input`, and runs `in_child`.
  void start(const std::function<void()>& in_child, const std::string& input);

  TempDir capture_;
  int pid_ = -1;
  int input_ = -1;
  int exit_status_ = -1;
  int exit_signal_ = 0;
};

// Runs `command` (a shell command line) at a terminal of its own, which both
// its output streams share, through script(1): the argv for a Process.
inline std::vector<std::string> at_terminal(const std::string& command) {
  return {"/usr/bin/script", "--quiet", "--return", "--command", command, "/dev/null"};
}

// What a program wrote at a terminal, its line ends (CR LF there) as written.
std::string from_terminal(std::string text);

// Waits until `predicate` holds or `timeout` passes; returns the predicate's value.
template <class Predicate>
bool eventually(Predicate predicate, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace test_support
