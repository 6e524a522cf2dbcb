#include "app/Signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>

namespace {

// A signal handler can reach only what is global; this is the pipe's writing end.
volatile sig_atomic_t signalWriteFd = -1;

void writeSignal(int signal) {
  int saved = errno;
  unsigned char byte = static_cast<unsigned char>(signal);
  if (signalWriteFd >= 0) {
    ssize_t written = write(signalWriteFd, &byte, 1);
    (void)written;  // a full pipe already says a signal came
  }
  errno = saved;
}

}  // namespace

SignalPipe::SignalPipe(std::initializer_list<int> signals) {
  assert(signalWriteFd < 0 && "only one SignalPipe at a time");
  assert(signals.size() <= kMaxSignals && "too many signals for one SignalPipe");
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    return;
  }
  readFd_ = fds[0];
  writeFd_ = fds[1];
  signalWriteFd = writeFd_;
  struct sigaction action = {};
  action.sa_handler = writeSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocking wait or write returns at once
  for (int signal : signals) {
    struct sigaction current = {};
    if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) {
      continue;
    }
    if (sigaction(signal, &action, &previous_[count_]) == 0) {
      caught_[count_++] = signal;
    }
  }
}

SignalPipe::~SignalPipe() {
  if (readFd_ < 0) {
    return;
  }
  for (int i = 0; i < count_; i++) {
    sigaction(caught_[i], &previous_[i], nullptr);
  }
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

namespace {

// The signals Vantor catches, by name and by what they mean to a user.
const struct {
  int number;
  const char* name;
  const char* meaning;
} kSignals[] = {
    {SIGINT, "SIGINT", "interrupt from the keyboard"},
    {SIGTERM, "SIGTERM", "asked to end"},
    {SIGHUP, "SIGHUP", "hangup: the terminal closed"},
    {SIGQUIT, "SIGQUIT", "quit from the keyboard"},
    {SIGPIPE, "SIGPIPE", "broken pipe: the reader went away"},
    {SIGXFSZ, "SIGXFSZ", "file size limit exceeded"},
};

}  // namespace

const char* signalName(int signal) {
  for (const auto& known : kSignals) {
    if (known.number == signal) {
      return known.name;
    }
  }
  return "a signal";
}

std::string signalDescription(int signal) {
  for (const auto& known : kSignals) {
    if (known.number == signal) {
      return std::string(known.name) + " (" + known.meaning + ")";
    }
  }
  return "signal " + std::to_string(signal);
}

int endBySignal(int signal) {
  if (signal == SIGQUIT || signal == SIGXFSZ) {
    return 128 + signal;
  }
  std::signal(signal, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
  std::raise(signal);
  return 128 + signal;
}
