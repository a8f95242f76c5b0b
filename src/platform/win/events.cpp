// Console events and the monitor's wait on Windows.  The console's control
// handler runs on a thread of its own: it records the event and, for Ctrl+C
// and Ctrl+Break, tells the system that the program handles it.  The wait
// looks at the socket in short slices and, between them, at the console's
// keyboard, the recorded event and the clock.
#include "platform/events.h"

#include <winsock.h>
#include <windows.h>
#include <conio.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "platform/keyboard.h"
#include "platform/sockets.h"

namespace platform {
namespace {

// The exit status of a console program ended by Ctrl+C (STATUS_CONTROL_C_EXIT).
constexpr UINT kControlCExit = 0xC000013AU;

// The longest the wait looks away from the keyboard and the events.
constexpr int kSliceMs = 50;

// The event taken in, plus one so that Ctrl+C (0) is not "none".
std::atomic<int> stop_taken{0};

BOOL WINAPI on_console_event(DWORD event) {
  const int taken = static_cast<int>(event) + 1;
  int none = 0;
  if (!stop_taken.compare_exchange_strong(none, taken) && none == taken &&
      (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)) {
    ExitProcess(kControlCExit);
  }
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
  // The console is closing, or the session ends: the system ends the process
  // when this handler returns, so hold it until the program has ended itself.
  Sleep(INFINITE);
  return TRUE;
}

}  // namespace

Signals::Signals(bool) { SetConsoleCtrlHandler(on_console_event, TRUE); }

Signals::~Signals() { SetConsoleCtrlHandler(on_console_event, FALSE); }

int Signals::stop_signal() const { return stop_taken.load(); }

bool Signals::take_report_request() { return false; }

bool Signals::is_hangup(int signal) {
  return signal != CTRL_C_EVENT + 1 && signal != CTRL_BREAK_EVENT + 1;
}

void Signals::end_by_signal(int) { ExitProcess(kControlCExit); }

Event wait_for_event(std::span<const UdpSocket> sockets, std::uint64_t& ready,
                     const Keyboard& keyboard, const Signals& signals, int timeout_ms) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
  const std::size_t count = std::min(sockets.size(), kMaxWaitSockets);
  for (;;) {
    if (signals.stop_signal() != 0) return Event::kSignal;
    if (keyboard.is_terminal() && _kbhit()) return Event::kKey;
    int slice = kSliceMs;
    if (timeout_ms >= 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return Event::kTimeout;
      slice = static_cast<int>(std::min<long long>(left.count(), kSliceMs));
    }
    fd_set readable;
    FD_ZERO(&readable);
    for (std::size_t n = 0; n < count; ++n) {
      FD_SET(static_cast<SOCKET>(sockets[n].native_handle()), &readable);
    }
    timeval wait{0, slice * 1000};
    const int selected = select(0, &readable, nullptr, nullptr, &wait);
    if (selected == 0) continue;
    ready = 0;
    for (std::size_t n = 0; n < count; ++n) {
      // After a failed select every socket is tried: its receive reports the failure.
      if (selected < 0 || FD_ISSET(static_cast<SOCKET>(sockets[n].native_handle()), &readable)) {
        ready |= std::uint64_t{1} << n;
      }
    }
    return Event::kDatagram;
  }
}

}  // namespace platform
