#include "support/Seams.h"

#include <dlfcn.h>

#include <cmath>
#include <deque>

#include "util/LocalTiming.h"

namespace {

timeval now = {1000, 0};

void ReadFake(timeval* out) { *out = now; }

std::deque<int>& Queue() {
  static std::deque<int> queue;
  return queue;
}

}  // namespace

FakeClock::FakeClock() {
  set(1000, 0);
  SetTimerClock(ReadFake);
}

FakeClock::~FakeClock() { SetTimerClock(nullptr); }

void FakeClock::set(long seconds, long microseconds) { now = {seconds, microseconds}; }

void FakeClock::advance(double seconds) {
  long long micros = now.tv_sec * 1000000LL + now.tv_usec + std::llround(seconds * 1e6);
  set(static_cast<long>(micros / 1000000), static_cast<long>(micros % 1000000));
}

void ScriptRand(std::initializer_list<int> values) { Queue().insert(Queue().end(), values); }

void ClearScriptedRand() { Queue().clear(); }

int ScriptedRandLeft() { return static_cast<int>(Queue().size()); }

// Linked into the test program, this definition takes the place of the C library's rand for
// the engine's code as well.
extern "C" int rand() {
  static auto libcRand = reinterpret_cast<int (*)()>(dlsym(RTLD_NEXT, "rand"));
  const int value = Queue().empty() ? libcRand() : Queue().front();
  if (!Queue().empty()) {
    Queue().pop_front();
  }
  return value;
}
