#include "Process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// The value after `key` on its line of /proc/PID/status, or -1.
long statusField(pid_t pid, const std::string& key) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(key, 0) == 0) {
      return std::atol(line.c_str() + key.size());
    }
  }
  return -1;
}

// Under AddressSanitizer, LeakSanitizer stops every thread of a program that exits with a
// tracer of its own; on some machines that tracer faults itself ("Tracer caught signal") on one
// path, every time, and no check is made. That is the sanitizer failing, not the program: such
// a run is made once more without the leak check (AddressSanitizer's other checks stay), and
// said so. A leak it finds is reported otherwise and fails as before.
bool sanitizerTracerFaulted(const Exit& done) {
  return done.err.find("Tracer caught signal") != std::string::npos &&
         done.err.find("LeakSanitizer has encountered a fatal error") != std::string::npos;
}

// `environment` with AddressSanitizer's options (the given ones, else the inherited ones) less
// the leak check.
Arguments withoutLeakCheck(Arguments environment) {
  const std::string key = "ASAN_OPTIONS=";
  const char* inherited = std::getenv("ASAN_OPTIONS");
  std::string options = inherited != nullptr ? inherited : "";
  for (const std::string& setting : environment) {
    if (setting.rfind(key, 0) == 0) {
      options = setting.substr(key.size());
    }
  }
  environment.push_back(key + (options.empty() ? "" : options + ":") + "detect_leaks=0");
  return environment;
}

}  // namespace

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

Process::Process(const Arguments& argv, const Arguments& environment,
                 const std::function<void()>& inChild) {
  // env takes its options (the removals) before the settings, then becomes the program.
  Arguments command = environment;
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
  const std::string out = folder_.path() + "/out", err = folder_.path() + "/err";
  pid_ = fork();
  if (pid_ == 0) {
    dup2(open("/dev/null", O_RDONLY | O_CLOEXEC), STDIN_FILENO);
    dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600), STDOUT_FILENO);
    dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600), STDERR_FILENO);
    // A test harness may block or ignore signals; the program must see them as a user's would.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int number : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ}) {
      ::signal(number, SIG_DFL);
    }
    if (inChild) {
      inChild();
    }
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
  const auto start = std::chrono::steady_clock::now();
  if (!eventually([&] { return !running(); }, timeoutSeconds)) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &rawStatus_, 0);
    reaped_ = true;
  }
  const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - start;
  return {WIFEXITED(rawStatus_) ? WEXITSTATUS(rawStatus_) : -1,
          WIFSIGNALED(rawStatus_) ? WTERMSIG(rawStatus_) : 0, waited.count(), outputSoFar(),
          errorSoFar()};
}

std::string Process::outputSoFar() const { return readFile(folder_.path() + "/out"); }

std::string Process::errorSoFar() const { return readFile(folder_.path() + "/err"); }

Arguments asUser(Arguments command) {
  if (geteuid() == 0) {
    command.insert(command.begin(),
                   {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  }
  return command;
}

Exit run(const Arguments& argv, const Arguments& environment, double timeoutSeconds) {
  Exit done = Process(argv, environment).wait(timeoutSeconds);
  if (sanitizerTracerFaulted(done)) {
    std::fprintf(stderr,
                 "harness: LeakSanitizer's tracer faulted in '%s'; running it again without "
                 "the leak check\n",
                 argv.empty() ? "" : argv.front().c_str());
    done = Process(argv, withoutLeakCheck(environment)).wait(timeoutSeconds);
  }
  return done;
}

void sleepFor(double seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

double corePercent(long ticks, double seconds) {
  return 100.0 * static_cast<double>(ticks) / (static_cast<double>(sysconf(_SC_CLK_TCK)) * seconds);
}

long cpuTicks(pid_t pid) {
  // Fields 14 and 15 of /proc/PID/stat, after the name in parentheses (which may hold spaces).
  const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string field;
  long ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; i++) {
    ticks += i >= 14 ? std::atol(field.c_str()) : 0;
  }
  return ticks;
}

long wakeups(pid_t pid) { return statusField(pid, "voluntary_ctxt_switches:"); }

double peakResidentMegabytes(pid_t pid) { return statusField(pid, "VmHWM:") / 1024.0; }
