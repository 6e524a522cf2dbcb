// What the mirrored replay costs: one frame of a hundred-square test cell at 1280x720 on the
// headless context for 10, 16 and 22 copies, replaying the recorded list per copy (as the
// engine does) against drawing the cell's geometry again for every copy.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "engine/Scope.h"
#include "host/offscreen/OffscreenContext.h"
#include "objects/ObjectFactory.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

// A hundred blended squares spread over the wedge, as many as the real scene has.
class SquaresCell : public ObjectCell {
 public:
  explicit SquaresCell(ScopeApp* parent) : ObjectCell(parent) {}
  void draw() override {
    auto start = std::chrono::steady_clock::now();
    drawSquares();
    drawSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    draws++;
  }
  void drawSquares() {
    for (int i = 0; i < 100; i++) {
      float x = 0.05f * static_cast<float>(i % 10);
      float y = -0.4f * static_cast<float>(i / 10) - 0.2f;
      glPushMatrix();
      glTranslatef(x, y, 0.0f);
      glRotatef(static_cast<float>(i) * 7.0f, 0.0f, 0.0f, 1.0f);
      glScalef(0.3f, 0.3f, 0.3f);
      glBegin(GL_QUADS);
      glColor4f(static_cast<float>(i) / 100.0f, 0.5f, 1.0f - static_cast<float>(i) / 100.0f, 0.7f);
      glVertex3f(-1.0f, -1.0f, 0.0f);
      glVertex3f(1.0f, -1.0f, 0.0f);
      glVertex3f(1.0f, 1.0f, 0.0f);
      glVertex3f(-1.0f, 1.0f, 0.0f);
      glEnd();
      glPopMatrix();
    }
  }
  void preRender() override {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_DEPTH_TEST);
  }
  void postRender() override { glDisable(GL_BLEND); }

  long draws = 0;
  double drawSeconds = 0.0;  // time spent issuing the cell's own geometry
};

// The reflection pass without the list: the cell draws itself again for every copy.
void RenderRedrawingPerCopy(ScopeApp* engine, MirrorSystem* ms) {
  ObjectCell* cell = engine->itsObjects;
  glPushMatrix();
  cell->preRender();
  glEnable(GL_CLIP_PLANE0);
  glEnable(GL_CLIP_PLANE1);
  for (int i = 0; i < ms->nbrReflections; i += 2) {
    glPushMatrix();
    glRotatef(static_cast<float>(i) * ms->fMirrorAngle, 0.0f, 0.0f, 1.0f);
    for (bool mirrored : {false, true}) {
      if (mirrored) {
        glScalef(-1.0f, 1.0f, 1.0f);
      }
      glFrontFace(mirrored ? GL_CW : GL_CCW);
      glClipPlane(GL_CLIP_PLANE0, ms->mirrorPlane1);
      glClipPlane(GL_CLIP_PLANE1, ms->mirrorPlane2);
      cell->draw();
    }
    glPopMatrix();
  }
  glDisable(GL_CLIP_PLANE0);
  glDisable(GL_CLIP_PLANE1);
  glFrontFace(GL_CCW);
  glPopMatrix();
  cell->postRender();
}

class ReflectionFrame : public benchmark::Fixture {
 public:
  void SetUp(const benchmark::State& state) override {
    std::string error;
    if (!context_.create(kWidth, kHeight, &error)) {
      std::fprintf(stderr, "reflection_bench: %s\n", error.c_str());
      std::exit(1);
    }
    engine_ = new ScopeApp(kWidth, kHeight, 0, nullptr);
    delete engine_->itsObjects;
    cell_ = new SquaresCell(engine_);
    engine_->itsObjects = cell_;
    engine_->b_UseMirrors = true;
    // Presets 0, 3 and 6 have 10, 16 and 22 copies.
    engine_->setMirrorSystem(static_cast<int>(state.range(0)), false);
  }
  void TearDown(const benchmark::State&) override {
    delete engine_;
    engine_ = nullptr;
  }

 protected:
  void beginFrame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -5.5f);
  }

  void report(benchmark::State& state) {
    state.counters["copies"] = engine_->m_curMS->nbrReflections;
    state.counters["cell_draws_per_frame"] =
        static_cast<double>(cell_->draws) / static_cast<double>(state.iterations());
    state.counters["cell_us_per_frame"] =
        cell_->drawSeconds * 1e6 / static_cast<double>(state.iterations());
  }

  OffscreenContext context_;
  ScopeApp* engine_ = nullptr;
  SquaresCell* cell_ = nullptr;
};

BENCHMARK_DEFINE_F(ReflectionFrame, ReplayList)(benchmark::State& state) {
  for (auto _ : state) {
    beginFrame();
    engine_->RecordSystem(engine_->m_curMS);
    engine_->RenderSystem(engine_->m_curMS);
    glFinish();
  }
  report(state);
}

BENCHMARK_DEFINE_F(ReflectionFrame, RedrawPerCopy)(benchmark::State& state) {
  for (auto _ : state) {
    beginFrame();
    RenderRedrawingPerCopy(engine_, engine_->m_curMS);
    glFinish();
  }
  report(state);
}

BENCHMARK_REGISTER_F(ReflectionFrame, ReplayList)
    ->Arg(0)
    ->Arg(3)
    ->Arg(6)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_REGISTER_F(ReflectionFrame, RedrawPerCopy)
    ->Arg(0)
    ->Arg(3)
    ->Arg(6)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
