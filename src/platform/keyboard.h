// The monitor's quit key: the keyboard polled without waiting.
#pragma once

namespace platform {

// The console keyboard for the life of the object.  On a terminal, keys are
// read one at a time without waiting for a line end and without echo, and the
// terminal is restored when the object goes or the process is stopped by a
// signal.  When standard input is no terminal, each byte waiting on it counts
// as one key press; end of input is no key.
class Keyboard {
 public:
  Keyboard();
  ~Keyboard();
  Keyboard(const Keyboard&) = delete;
  Keyboard& operator=(const Keyboard&) = delete;

  // Returns the key waiting, consuming it, or -1 when none is waiting.
  int poll();

 private:
  bool terminal_ = false;
  bool input_ended_ = false;
};

}  // namespace platform
