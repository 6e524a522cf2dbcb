// The kaleidoscope engine: ScopeApp draws one wedge of scene content and replays it around the
// screen centre through two mirrors. Also the mirror-system record, the engine-wide globals
// and the random and easing helpers every scene source shares.
//
// Units: angles in degrees (radians only inside trigonometry), time in seconds, sizes of the
// drawing surface in pixels. Points in time (m_fTime, morphStart) are double precision, so that
// a frame's step stays exact after months; a difference of two becomes float where it turns
// into a phase or a progress. All engine calls need its OpenGL context current.
#pragma once

#include <GL/gl.h>

#include <cstdlib>

#include "util/KS_VECTOR.h"

class ObjectCell;
class PhotoFeed;

// One arrangement of the two mirrors. Positions lie in the plane z = 0 of the modelview space.
struct MirrorSystem {
  float fMirrorAngle;        // angle between the mirrors, degrees
  int nbrReflections;        // wedge copies that fill the circle: 360 / angle, rounded up
  K_VECTOR3 mirror1;         // apex, where the mirrors meet: the origin
  K_VECTOR3 mirror2;         // far end of the first mirror, 4 units straight down
  K_VECTOR3 mirror3;         // far end of the second mirror, fMirrorAngle counter-clockwise
  float apertureLength;      // length of the wedge's open edge, mirror2 to mirror3
  GLdouble mirrorPlane1[4];  // clip plane of the first mirror (a x + b y + c z + d >= 0 kept)
  GLdouble mirrorPlane2[4];  // clip plane of the second mirror
  GLdouble mirrorPlane3[4];  // a third plane; filled, never applied
};

class ScopeApp {
 public:
  // Builds the engine on the current context. `fileName` is the resource folder handed to the
  // scene cell; it may be null. `scopeFlags` has no effect here. Throws std::bad_alloc when
  // memory runs out, having released whatever it had made.
  ScopeApp(int width, int height, int scopeFlags, const char* fileName);
  ~ScopeApp();
  ScopeApp(const ScopeApp&) = delete;
  ScopeApp& operator=(const ScopeApp&) = delete;

  void initGL(int width, int height);
  // New surface size: viewport and projection; leaves the modelview matrix current.
  void resizeGL(int width, int height);
  // Draws one whole frame and flushes it. Bit 16 of scopeFlags turns the mirrors on. Returns 1.
  int display(int scopeFlags);
  // Advances the timer, copies its clock into the engine, lets the cell advance.
  void UpdateFrame();
  // Advances one frame exactly as display would (UpdateFrame and the morph's step, which may
  // end the morph) but records and draws nothing. Needs no context current.
  void skipFrame();

  // Mirror arrangements and their morphs.
  void SetupMirrorSystem(MirrorSystem* ms, float angle);
  void setMirrorSystem(int i, bool wantsMorph);
  void randomizeMirrorSystem(bool wantsMorph);
  // Makes preset i modulo 7 current at once and keeps it: later random choices leave it.
  void holdMirrorSystem(int i);
  // The arrangement this frame shows: m_curMS, or while a morph runs its in-between angle at
  // m_fTime (in storage shared by every call). Ends the morph once its time is up.
  MirrorSystem* morphedMirrorSystem();

  // The wedge recorded once per frame, replayed per copy, and the small copy for the blur.
  void RecordSystem(MirrorSystem* ms);
  void RenderSystem(MirrorSystem* ms);
  void RenderToTexture(MirrorSystem* ms);
  void DrawBlur(int times, float inc);

  MirrorSystem gMirrorSystems[7];    // preset i has the mirror angle 360 / (2i + 10)
  ObjectCell* itsObjects = nullptr;  // the scene cell, owned
  int iCurrentScope = 0;             // cell type handed to the factory
  int width = 0;                     // surface size, pixels
  int height = 0;
  MirrorSystem* m_curMS = nullptr;  // the current preset, always inside gMirrorSystems
  bool b_UseMirrors = false;        // set by every display from its flags
  bool b_UseDepthBuffer = true;
  float m_fFramesPerSec = 10.0f;  // copy of gFrameRate, kept for the cell
  float fLastScopeStart = 0.0f;
  float elapsedTime = 0.0f;
  double m_fTime = 0.0;  // seconds since the timer started; defined before the cell's init
  float m_fStartFrameTime = 0.0f;
  float m_fEndFrameTime = 0.0f;
  int m_iFrames = 0;

  // While RecordSystem runs with the mirrors on: the system whose two clip planes the list
  // carries, so that the cell may leave out what they would cut away in every copy. Null
  // otherwise (mirrors off: nothing is cut).
  const MirrorSystem* recordingSystem = nullptr;

  // Settings of the user's, beyond what the scene asks for.
  int heldMirrorSystem = -1;  // the preset held by holdMirrorSystem, or -1: random
  bool glow = false;          // the radial glow runs whether or not the cell wants it
  // How many times as fast as real time the engine's clock runs (the user's --speed, 0.25 to
  // 4). The clock carries it; the engine reads it only to keep what would flash at a safe pace
  // in real time: the pieces' spin at its pace at speed 1, a morph's turning of the copies
  // below kMorphTurnRate (Mirrors.cpp).
  double speed = 1.0;
  long long seed = 0;           // what the random sequence was seeded with (clock seconds)
  PhotoFeed* photos = nullptr;  // the user's photos for the pieces, or null: tints; not owned

 private:
  // Frees the display list, the cell and the blur texture: at destruction, and when
  // construction fails part-way.
  void release();
};

// Engine-wide state, shared by every engine; one engine runs at a time.
extern bool bCanBlur;    // the blur steps run only when this and the cell's wish are both true
extern GLint biglistID;  // the display list each frame's wedge is recorded into

// The running mirror morph: the angle glides from morphStartAngle to morphEndAngle (degrees)
// over morphDuration seconds from engine time morphStart.
extern bool isMorphing;
extern double morphStart;  // engine time, seconds
extern float morphDuration;
extern float morphStartAngle;
extern float morphEndAngle;

// Random float from 0 to 1, both included (1 when rand() rounds up to 2^31 as a float).
inline float rnd() { return static_cast<float>(rand()) / 2147483648.0f; }

// Random int from 0 to r - 1, and r itself in the rare case that rnd() gave 1.
inline int RandomI(int r) { return static_cast<int>(rnd() * static_cast<float>(r)); }

// Smooth step x * x * (3 - 2x): 0 at 0, 1 at 1, flat at both ends. Not clamped.
inline float ease(float x) {
  float square = x * x;
  float slope = 3.0f - (x + x);
  return square * slope;
}
