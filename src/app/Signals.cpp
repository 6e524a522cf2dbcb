#include "app/Signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>

namespace {

// A signal handler can reach only what is global; this is the pipe's writing end.
volatile sig_atomic_t signalWriteFd = -1;

void WriteSignal(int signal) {
  int saved = errno;
  unsigned char byte = static_cast<unsigned char>(signal);
  if (signalWriteFd >= 0) {
    ssize_t written = write(signalWriteFd, &byte, 1);
    (void)written;  // a full pipe already says a signal came
  }
  errno = saved;
}

}  // namespace

SignalPipe::SignalPipe() {
  assert(signalWriteFd < 0 && "only one SignalPipe at a time");
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    return;
  }
  readFd_ = fds[0];
  writeFd_ = fds[1];
  signalWriteFd = writeFd_;
  struct sigaction action = {};
  action.sa_handler = WriteSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocking wait returns at once
  sigaction(SIGINT, &action, &previousInterrupt_);
  sigaction(SIGTERM, &action, &previousTerminate_);
}

SignalPipe::~SignalPipe() {
  if (readFd_ < 0) {
    return;
  }
  sigaction(SIGINT, &previousInterrupt_, nullptr);
  sigaction(SIGTERM, &previousTerminate_, nullptr);
  signalWriteFd = -1;
  close(readFd_);
  close(writeFd_);
}

int SignalPipe::take() {
  unsigned char byte = 0;
  if (readFd_ < 0 || read(readFd_, &byte, 1) != 1) {
    return 0;
  }
  return byte;
}
