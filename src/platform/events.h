// What the monitor waits for between two packets: a datagram, a key typed at
// the terminal, a signal, or the end of the time it was given.  Signals that
// ask it to stop are held until the packet in hand is out, so that a stop
// never cuts a line.
#pragma once

namespace platform {

class Keyboard;
class UdpSocket;

// The signals the monitor takes in while the object lives.  On POSIX systems
// SIGINT, SIGTERM and SIGHUP ask it to stop and, when asked for, SIGUSR1 asks
// for a report; a signal that was ignored when the program started stays
// ignored.  On Windows Ctrl+C, Ctrl+Break and the closing of the console ask
// it to stop; there is no report signal.  A stop does not end the process:
// the program looks at stop_signal() between two packets and ends itself with
// end_by_signal().  The same stop signal a second time ends the process at
// once (the terminal restored), for an output that no longer drains.
class Signals {
 public:
  // Starts taking the signals in; with `report_signal`, SIGUSR1 as well.
  explicit Signals(bool report_signal);
  // Gives the signals back their default actions.
  ~Signals();
  Signals(const Signals&) = delete;
  Signals& operator=(const Signals&) = delete;

  // The first stop signal taken in, or 0.
  int stop_signal() const;

  // True once for each report signal taken in (several may count as one).
  bool take_report_request();

  // True when `signal` says that the terminal or the session went away.
  static bool is_hangup(int signal);

  // Ends the process as the stop signal's default action does, so that its
  // parent sees which signal ended it.
  [[noreturn]] static void end_by_signal(int signal);
};

// Whether a signal can ask the monitor for a report without stopping it:
// SIGUSR1 on POSIX systems; Windows has none.
#ifdef _WIN32
inline constexpr bool kHasReportSignal = false;
#else
inline constexpr bool kHasReportSignal = true;
#endif

// What ended a wait.
enum class Event { kDatagram, kKey, kSignal, kTimeout };

// Waits until a datagram waits on `socket`, a key was typed at the terminal
// (only when `keyboard` reads a terminal), a signal was taken in by
// `signals`, or `timeout_ms` milliseconds have passed (negative: no limit).
// kDatagram also reports a socket whose next receive fails.
Event wait_for_event(const UdpSocket& socket, const Keyboard& keyboard, const Signals& signals,
                     int timeout_ms);

}  // namespace platform
