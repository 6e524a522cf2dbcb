// SIGINT and SIGTERM as a readable descriptor (a self-pipe): the handler only writes a byte,
// and the tick loop notices it between frames or while it waits, within one poll.
#pragma once

#include <csignal>

class SignalPipe {
 public:
  // Installs the handlers; the previous ones come back when this goes. One may exist at a time.
  SignalPipe();
  ~SignalPipe();
  SignalPipe(const SignalPipe&) = delete;
  SignalPipe& operator=(const SignalPipe&) = delete;

  // Readable once a signal has arrived; -1 when the pipe could not be made.
  int fd() const { return readFd_; }
  // The first signal that arrived (SIGINT or SIGTERM), or 0 when none has.
  int take();

 private:
  int readFd_ = -1;
  int writeFd_ = -1;
  struct sigaction previousInterrupt_ = {};
  struct sigaction previousTerminate_ = {};
};
