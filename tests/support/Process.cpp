#include "support/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <regex>

Process::Process(const std::vector<std::string>& argv,
                 const std::vector<std::string>& environment) {
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
  const std::string out = output_.path() + "/out", err = output_.path() + "/err";
  pid_ = fork();
  if (pid_ == 0) {
    dup2(open("/dev/null", O_RDONLY | O_CLOEXEC), STDIN_FILENO);
    dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600), STDOUT_FILENO);
    dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600), STDERR_FILENO);
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

Process::~Process() { wait(0.0); }

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
  result.out = readFile(output_.path() + "/out");
  result.err = errorSoFar();
  return result;
}

Exit run(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
         double timeoutSeconds) {
  return Process(argv, environment).wait(timeoutSeconds);
}

std::vector<std::string> AsUser(std::vector<std::string> command) {
  if (geteuid() == 0) {
    command.insert(command.begin(),
                   {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  }
  return command;
}

// The server writes the display number it picked on a line of its own once it is ready.
Xvfb::Xvfb(int width, int height)
    : server_(std::make_unique<Process>(std::vector<std::string>{
          "/usr/bin/Xvfb", "-displayfd", "2", "-noreset", "-nolisten", "tcp", "-screen", "0",
          std::to_string(width) + "x" + std::to_string(height) + "x24"})) {
  const std::regex numberLine("(^|\n)([0-9]+)\n");
  std::smatch number;
  std::string text;
  eventually(
      [&] {
        text = server_->errorSoFar();
        return std::regex_search(text, number, numberLine) || !server_->running();
      },
      20.0);
  if (number.empty() || !server_->running()) {
    ADD_FAILURE() << "Xvfb did not start: " << (text.empty() ? "no display number" : text);
    server_.reset();
  } else {
    display_ = ":" + number[2].str();
  }
}

Xvfb::~Xvfb() {
  if (server_ != nullptr) {
    server_->signal(SIGTERM);
    server_->wait(10.0);
  }
}

bool screenshot(const Xvfb& server, const std::string& window, Frame* frame, std::string* error) {
  TemporaryFolder folder;
  const std::string file = folder.path() + "/shot.png";
  Exit done = run({"/usr/bin/import", "-silent", "-window", window, file}, {server.environment()});
  if (done.status != 0) {
    *error = "no picture of " + window + ": " + done.err;
    return false;
  }
  return readPng(file, frame, error);
}
