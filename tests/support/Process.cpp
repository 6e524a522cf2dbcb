#include "support/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

std::string TemporaryName(bool folder) {
  std::string path = std::filesystem::temp_directory_path() / "vantor-test-XXXXXX";
  if (folder ? mkdtemp(&path[0]) == nullptr : close(mkstemp(&path[0])) != 0) {
    path.clear();
  }
  return path;
}

}  // namespace

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

Process::Process(const std::vector<std::string>& argv, const std::vector<std::string>& environment)
    : outPath_(TemporaryName(false)), errPath_(TemporaryName(false)) {
  // env takes its options (the removals) before the settings, then becomes the program.
  std::vector<std::string> command = environment;
  auto settings = std::stable_partition(command.begin(), command.end(), [](auto& change) {
    return change.find('=') == std::string::npos;
  });
  std::for_each(command.begin(), settings, [](auto& name) { name = "--unset=" + name; });
  command.insert(command.begin(), "/usr/bin/env");
  command.insert(command.end(), argv.begin(), argv.end());
  std::vector<char*> args;
  for (std::string& arg : command) {
    args.push_back(&arg[0]);
  }
  args.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    dup2(open("/dev/null", O_RDONLY | O_CLOEXEC), STDIN_FILENO);
    dup2(open(outPath_.c_str(), O_WRONLY | O_CLOEXEC), STDOUT_FILENO);
    dup2(open(errPath_.c_str(), O_WRONLY | O_CLOEXEC), STDERR_FILENO);
    // A test harness may block or ignore signals; the program must see them as a user's would.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    execv(args[0], args.data());
    _exit(127);
  }
}

Process::~Process() {
  wait(0.0);
  unlink(outPath_.c_str());
  unlink(errPath_.c_str());
}

bool Process::running() {
  reaped_ = reaped_ || pid_ <= 0 || waitpid(pid_, &rawStatus_, WNOHANG) == pid_;
  return !reaped_;
}

void Process::signal(int number) {
  if (running()) {
    kill(pid_, number);
  }
}

Exit Process::wait(double timeoutSeconds) {
  Exit result;
  const auto start = std::chrono::steady_clock::now();
  if (!eventually([&] { return !running(); }, timeoutSeconds)) {
    result.timedOut = true;
    kill(pid_, SIGKILL);
    waitpid(pid_, &rawStatus_, 0);
    reaped_ = true;
  } else {
    result.exited = WIFEXITED(rawStatus_);
    result.status = result.exited ? WEXITSTATUS(rawStatus_) : -1;
    result.signal = WIFSIGNALED(rawStatus_) ? WTERMSIG(rawStatus_) : 0;
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.out = readFile(outPath_);
  result.err = readFile(errPath_);
  return result;
}

std::string Process::errorSoFar() const { return readFile(errPath_); }

Exit run(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
         double timeoutSeconds) {
  return Process(argv, environment).wait(timeoutSeconds);
}

TemporaryFolder::TemporaryFolder() : path_(TemporaryName(true)) {}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}
