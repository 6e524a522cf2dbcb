// Vantor's entry point. Until the window host exists, it draws a few frames on the headless
// surface and says so.
#include <cstdio>
#include <string>

#include "engine/Scope.h"
#include "host/offscreen/OffscreenContext.h"
#include "util/LocalTiming.h"

int main() {
  OffscreenContext context;
  std::string error;
  if (!context.create(640, 480, &error)) {
    std::fprintf(stderr, "vantor: %s; run scripts/install-deps\n", error.c_str());
    return 1;
  }
  const int frames = 10;
  ScopeApp* engine = new ScopeApp(context.width(), context.height(), 1, nullptr);
  for (int i = 0; i < frames; i++) {
    UpdateTimer();
    engine->display(0x10001);
  }
  delete engine;
  std::printf("vantor: drew %d frames at %dx%d on the headless surface (no window host yet)\n",
              frames, context.width(), context.height());
  return 0;
}
