// The quit key on Windows: the console's keyboard through _kbhit and _getch,
// or any other standard input read by a thread of its own, whose bytes wait
// in a queue.  (Peeking cannot serve: Wine refuses PeekNamedPipe on the pipes
// of its host, and a file or device has no peek at all.)
#include "platform/keyboard.h"

#include <windows.h>
#include <conio.h>

#include <deque>
#include <mutex>
#include <thread>

namespace platform {
namespace {

// The bytes read from standard input and not yet taken; one per process.
struct InputQueue {
  std::mutex lock;
  std::deque<unsigned char> bytes;
  bool ended = false;
};

InputQueue& input_queue() {
  static InputQueue queue;
  return queue;
}

// Reads standard input to its end; the thread stays blocked in a read while
// nothing arrives, and goes with the process.
void read_input() {
  InputQueue& q = input_queue();
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  for (;;) {
    unsigned char byte = 0;
    DWORD n = 0;
    const bool read = in != nullptr && in != INVALID_HANDLE_VALUE &&
                      ReadFile(in, &byte, 1, &n, nullptr) && n == 1;
    const std::lock_guard<std::mutex> hold(q.lock);
    if (!read) {
      q.ended = true;
      return;
    }
    q.bytes.push_back(byte);
  }
}

}  // namespace

Keyboard::Keyboard() {
  DWORD mode = 0;
  terminal_ = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
  static std::once_flag started;
  if (!terminal_) std::call_once(started, [] { std::thread(read_input).detach(); });
}

Keyboard::~Keyboard() = default;

// _getch reads keys without changing the console's mode.
void restore_terminal_mode() {}

int Keyboard::poll() {
  if (terminal_) return _kbhit() ? _getch() : -1;
  if (input_ended_) return -1;
  InputQueue& q = input_queue();
  const std::lock_guard<std::mutex> hold(q.lock);
  if (!q.bytes.empty()) {
    const int key = q.bytes.front();
    q.bytes.pop_front();
    return key;
  }
  input_ended_ = q.ended;
  return -1;
}

}  // namespace platform
