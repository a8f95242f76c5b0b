// The quit key on POSIX systems: a terminal in non-canonical, no-echo mode,
// or any other standard input polled for a waiting byte.
#include "platform/keyboard.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>

namespace platform {
namespace {

// The terminal's mode before the monitor changed it, for the signal handlers.
termios saved_mode;
volatile std::sig_atomic_t mode_changed = 0;

// Restores the terminal, then lets SIGQUIT end the process as it would have.
// The stop signals are the monitor's own (platform/events.h).
void on_quit_signal(int signal_number) {
  restore_terminal_mode();
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

}  // namespace

void restore_terminal_mode() {
  if (mode_changed) {
    tcsetattr(STDIN_FILENO, TCSANOW, &saved_mode);
    mode_changed = 0;
  }
}

Keyboard::Keyboard() {
  terminal_ = isatty(STDIN_FILENO) == 1 && tcgetattr(STDIN_FILENO, &saved_mode) == 0;
  if (!terminal_) return;
  std::signal(SIGQUIT, on_quit_signal);
  termios raw = saved_mode;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  mode_changed = 1;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
}

Keyboard::~Keyboard() {
  if (!terminal_) return;
  restore_terminal_mode();
  std::signal(SIGQUIT, SIG_DFL);
}

int Keyboard::poll() {
  if (input_ended_) return -1;
  pollfd p{STDIN_FILENO, POLLIN, 0};
  if (::poll(&p, 1, 0) != 1) return -1;
  if ((p.revents & POLLIN) == 0 && (terminal_ || (p.revents & POLLHUP) == 0)) {
    input_ended_ = true;  // closed or invalid descriptor, or a terminal hung up
    return -1;
  }
  unsigned char key = 0;
  const ssize_t n = ::read(STDIN_FILENO, &key, 1);
  if (n == 1) return key;
  if (n == 0) input_ended_ = true;  // end of input, or a terminal hung up
  return -1;
}

}  // namespace platform
