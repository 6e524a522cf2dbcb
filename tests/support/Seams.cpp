#include "support/Seams.h"

#include <dlfcn.h>

#include <deque>

static std::deque<int>& scriptedValues() {
  static std::deque<int> queue;
  return queue;
}

void scriptRand(std::initializer_list<int> values) {
  scriptedValues().insert(scriptedValues().end(), values);
}

void clearScriptedRand() { scriptedValues().clear(); }

int scriptedRandLeft() { return static_cast<int>(scriptedValues().size()); }

// Linked into the test program, this definition takes the place of the C library's rand for
// the engine's code as well.
extern "C" int rand() {
  static auto libcRand = reinterpret_cast<int (*)()>(dlsym(RTLD_NEXT, "rand"));
  const int value = scriptedValues().empty() ? libcRand() : scriptedValues().front();
  if (!scriptedValues().empty()) {
    scriptedValues().pop_front();
  }
  return value;
}
