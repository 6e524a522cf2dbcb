#include "support/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

std::string TemporaryRoot() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp";
}

std::string MakeTemporaryFile() {
  std::string pattern = TemporaryRoot() + "/vantor-test-XXXXXX";
  int fd = mkstemp(&pattern[0]);
  if (fd >= 0) {
    close(fd);
  }
  return pattern;
}

}  // namespace

double monotonicSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void sleepSeconds(double seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

Process::Process(const std::vector<std::string>& argv,
                 const std::vector<std::string>& environment) {
  outPath_ = MakeTemporaryFile();
  errPath_ = MakeTemporaryFile();

  // Everything the child needs is built before fork: only exec-safe calls after it.
  std::vector<std::string> envStrings;
  for (char** entry = environ; *entry != nullptr; entry++) {
    std::string text = *entry;
    std::string name = text.substr(0, text.find('='));
    bool replaced = false;
    for (const std::string& change : environment) {
      if (change.substr(0, change.find('=')) == name) {
        replaced = true;
      }
    }
    if (!replaced) {
      envStrings.push_back(text);
    }
  }
  for (const std::string& change : environment) {
    if (change.find('=') != std::string::npos) {
      envStrings.push_back(change);
    }
  }
  std::vector<char*> args;
  for (const std::string& arg : argv) {
    args.push_back(const_cast<char*>(arg.c_str()));
  }
  args.push_back(nullptr);
  std::vector<char*> envs;
  for (std::string& entry : envStrings) {
    envs.push_back(&entry[0]);
  }
  envs.push_back(nullptr);

  int outFd = open(outPath_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  int errFd = open(errPath_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  pid_ = fork();
  if (pid_ == 0) {
    dup2(outFd, STDOUT_FILENO);
    dup2(errFd, STDERR_FILENO);
    int nullFd = open("/dev/null", O_RDONLY);
    dup2(nullFd, STDIN_FILENO);
    // A test harness may block signals; the program under test must see them as a user would.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    execve(args[0], args.data(), envs.data());
    _exit(127);
  }
  close(outFd);
  close(errFd);
}

Process::~Process() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &rawStatus_, 0);
  }
  unlink(outPath_.c_str());
  unlink(errPath_.c_str());
}

bool Process::running() {
  if (pid_ <= 0 || reaped_) {
    return false;
  }
  if (waitpid(pid_, &rawStatus_, WNOHANG) == pid_) {
    reaped_ = true;
    return false;
  }
  return true;
}

void Process::signal(int number) {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, number);
  }
}

Exit Process::wait(double timeoutSeconds) {
  Exit result;
  double start = monotonicSeconds();
  if (!eventually([&] { return !running(); }, timeoutSeconds)) {
    result.timedOut = true;
    kill(pid_, SIGKILL);
    waitpid(pid_, &rawStatus_, 0);
    reaped_ = true;
  }
  result.seconds = monotonicSeconds() - start;
  if (!result.timedOut) {
    result.exited = WIFEXITED(rawStatus_);
    result.status = result.exited ? WEXITSTATUS(rawStatus_) : -1;
    result.signal = WIFSIGNALED(rawStatus_) ? WTERMSIG(rawStatus_) : 0;
  }
  result.out = readFile(outPath_);
  result.err = readFile(errPath_);
  return result;
}

std::string Process::errorSoFar() const { return readFile(errPath_); }

Exit run(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
         double timeoutSeconds) {
  Process process(argv, environment);
  return process.wait(timeoutSeconds);
}

TemporaryFolder::TemporaryFolder() {
  path_ = TemporaryRoot() + "/vantor-test-XXXXXX";
  if (mkdtemp(&path_[0]) == nullptr) {
    path_.clear();
  }
}

TemporaryFolder::~TemporaryFolder() {
  if (!path_.empty()) {
    // Files of the daemon test belong to another user; chmod first so that all can go.
    run({"/bin/rm", "-rf", path_});
  }
}
