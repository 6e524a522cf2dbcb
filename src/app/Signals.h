// Signals as a readable descriptor (a self-pipe): the handler only writes a byte, and the tick
// loop notices it between frames or while it waits, within one poll. And how a run ends by one.
#pragma once

#include <csignal>
#include <initializer_list>
#include <string>

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
// The name and what it means, for people: "SIGXFSZ (file size limit exceeded)".
std::string signalDescription(int signal);

// Ends the process as `signal` would have, its handler gone; call it once every handler is back.
// Those whose default dumps core (SIGQUIT, SIGXFSZ) give 128 + N instead: a user's request or a
// full file is no crash.
int endBySignal(int signal);
