// Signals and the monitor's wait on POSIX systems.  A handler only records
// the signal and writes a byte to a pipe of its own; the wait polls that pipe
// beside the socket and the terminal, so that a signal that arrives just
// before the wait still ends it.
#include "platform/events.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>

#include "platform/keyboard.h"
#include "platform/sockets.h"

namespace platform {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t stop_taken = 0;
volatile std::sig_atomic_t report_taken = 0;
int wake_pipe[2] = {-1, -1};
bool report_installed = false;

void on_signal(int signal_number) {
  const int saved_errno = errno;
  if (signal_number == SIGUSR1) {
    report_taken = 1;
  } else if (stop_taken == signal_number) {
    restore_terminal_mode();
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
  } else if (stop_taken == 0) {
    stop_taken = signal_number;
  }
  const char byte = 1;
  if (write(wake_pipe[1], &byte, 1) < 0) {
    // The pipe is full: a wake-up is already waiting.
  }
  errno = saved_errno;
}

// Catches `signal_number` unless it was ignored when the program started.
// Interrupted reads and writes resume, so output is never cut short.
void catch_signal(int signal_number) {
  struct sigaction current {};
  sigaction(signal_number, nullptr, &current);
  if (current.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(signal_number, &action, nullptr);
}

void release_signal(int signal_number) {
  struct sigaction current {};
  sigaction(signal_number, nullptr, &current);
  if (current.sa_handler == on_signal) std::signal(signal_number, SIG_DFL);
}

void drain_wake_pipe() {
  char bytes[64];
  while (read(wake_pipe[0], bytes, sizeof bytes) > 0) {
  }
}

}  // namespace

Signals::Signals(bool report_signal) {
  if (pipe2(wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0) wake_pipe[0] = wake_pipe[1] = -1;
  for (int s : kStopSignals) catch_signal(s);
  report_installed = report_signal;
  if (report_signal) catch_signal(SIGUSR1);
}

Signals::~Signals() {
  for (int s : kStopSignals) release_signal(s);
  if (report_installed) release_signal(SIGUSR1);
  for (int& fd : wake_pipe) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

int Signals::stop_signal() const { return stop_taken; }

bool Signals::take_report_request() {
  if (report_taken == 0) return false;
  report_taken = 0;
  return true;
}

bool Signals::is_hangup(int signal) { return signal == SIGHUP; }

void Signals::end_by_signal(int signal) {
  std::signal(signal, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  std::raise(signal);
  _exit(128 + signal);
}

Event wait_for_event(std::span<const UdpSocket> sockets, std::uint64_t& ready,
                     const Keyboard& keyboard, const Signals& signals, int timeout_ms) {
  // The wake-up pipe, the terminal, then the sockets.
  std::array<pollfd, 2 + kMaxWaitSockets> watched{};
  watched[0] = {wake_pipe[0], POLLIN, 0};
  watched[1] = {keyboard.is_terminal() ? STDIN_FILENO : -1, POLLIN, 0};
  const std::size_t count = std::min(sockets.size(), kMaxWaitSockets);
  for (std::size_t n = 0; n < count; ++n) {
    watched[2 + n] = {static_cast<int>(sockets[n].native_handle()), POLLIN, 0};
  }
  for (;;) {
    if (signals.stop_signal() != 0 || report_taken != 0) return Event::kSignal;
    const int polled = poll(watched.data(), 2 + count, timeout_ms);
    if (polled == 0) return Event::kTimeout;
    if (polled < 0 && errno == EINTR) continue;  // a signal the monitor does not take in
    if (polled > 0 && watched[0].revents != 0) {
      drain_wake_pipe();
      return Event::kSignal;
    }
    ready = 0;
    for (std::size_t n = 0; n < count; ++n) {
      // After a failed poll every socket is tried: its receive reports the failure.
      if (polled < 0 || watched[2 + n].revents != 0) ready |= std::uint64_t{1} << n;
    }
    return ready != 0 ? Event::kDatagram : Event::kKey;
  }
}

}  // namespace platform
