#include "ScriptedRand.h"

#include <dlfcn.h>

#include <deque>

namespace {

std::deque<int>& Queue() {
  static std::deque<int> queue;
  return queue;
}

}  // namespace

void ScriptRand(std::initializer_list<int> values) { Queue().insert(Queue().end(), values); }

void ClearScriptedRand() { Queue().clear(); }

int ScriptedRandLeft() { return static_cast<int>(Queue().size()); }

// Linked into the test program, this definition takes the place of the C library's rand for
// the engine's code as well.
extern "C" int rand() {
  if (!Queue().empty()) {
    int value = Queue().front();
    Queue().pop_front();
    return value;
  }
  static auto libcRand = reinterpret_cast<int (*)()>(dlsym(RTLD_NEXT, "rand"));
  return libcRand();
}
