#include "support/Seams.h"

#include <dlfcn.h>

#include <deque>

static std::deque<int>& Queue() {
  static std::deque<int> queue;
  return queue;
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
