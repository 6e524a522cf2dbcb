// Signals as a readable descriptor (a self-pipe): the handler only writes a byte, and the tick
// loop notices it between frames or while it waits, within one poll.
#pragma once

#include <csignal>
#include <initializer_list>

class SignalPipe {
 public:
  // Catches each of `signals` (at most kMaxSignals) but one that is ignored now (nohup, a
  // background job), which stays ignored. The previous handlers come back when this goes. One
  // may exist at a time.
  explicit SignalPipe(std::initializer_list<int> signals);
  ~SignalPipe();
  SignalPipe(const SignalPipe&) = delete;
  SignalPipe& operator=(const SignalPipe&) = delete;

  // Readable once a signal has arrived; -1 when the pipe could not be made.
  int fd() const { return readFd_; }
  // The first signal that arrived and was not taken yet, or 0 when none has.
  int take();

  static constexpr int kMaxSignals = 8;

 private:
  int readFd_ = -1;
  int writeFd_ = -1;
  int count_ = 0;  // entries used in the two arrays below
  int caught_[kMaxSignals] = {};
  struct sigaction previous_[kMaxSignals] = {};
};

// "SIGHUP" and the like for the signals Vantor catches; "a signal" for others.
const char* signalName(int signal);
