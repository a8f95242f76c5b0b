// The monitor's quit key: the keyboard polled without waiting.
#pragma once

namespace platform {

// The console keyboard for the life of the object.  On a terminal, keys are
// read one at a time without waiting for a line end and without echo, and the
// terminal is restored when the object goes, when SIGQUIT ends the process,
// and by restore_terminal_mode().  When standard input is no terminal, each
// byte waiting on it counts as one key press; end of input is no key.
class Keyboard {
 public:
  Keyboard();
  ~Keyboard();
  Keyboard(const Keyboard&) = delete;
  Keyboard& operator=(const Keyboard&) = delete;

  // Returns the key waiting, consuming it, or -1 when none is waiting.
  int poll();

  // True while keys come from a terminal (or console) as they are typed, so
  // that a wait can watch for them; false for any other standard input and
  // for a terminal that has gone.
  bool is_terminal() const { return terminal_ && !input_ended_; }

 private:
  bool terminal_ = false;
  bool input_ended_ = false;
};

// Puts a terminal that a Keyboard changed back into its former mode; safe to
// call from a signal handler, and a no-op where nothing was changed.
void restore_terminal_mode();

}  // namespace platform
