// The engine's scene: PhotoList, the cell of a hundred PhotoPiece sprites cut from the mask
// atlas, which cross the wedge in 32-second passes while the list's parameters drift.
//
// Units: positions in the wedge's model space (the mirrors are 4 units long), angles in
// degrees, time in seconds of engine time (points in time in double precision), colours 0..1,
// atlas sizes in pixels.
#pragma once

#include "image/LoadJPEGMask.h"
#include "objects/ObjectFactory.h"
#include "objects/PhotoSlots.h"
#include "util/KS_VECTOR.h"

struct MirrorSystem;

// One masked square. Lives by value in its list's array; reaches the list through gList and
// the engine through the list's m_parent.
class PhotoPiece {
 public:
  PhotoPiece() {}

  // Starts the pass at phase r (0..1) and picks the first looks.
  void init(float r);
  // New looks for a pass: size, spin, atlas cell, colours, height and depth.
  void randomize();
  // Phase from the engine clock; at the end of a pass, one drift tick and new looks.
  void update();
  // The tinted, masked square; recorded into the engine's display list.
  void draw();
  // Whether the square lies wholly on the outer side of one of the system's two mirror
  // planes, where the clipping cuts it away in every copy.
  bool isClippedAway(const MirrorSystem& system) const;

  KS_VECTOR3 vPos;          // centre; x slides along the pass, y and z fixed per pass
  float cycle = 0.0f;       // phase in the pass, 0 at its start, 1 at its end
  double cycleStart = 0.0;  // engine time at which the pass began, seconds
  float fSize = 0.0f;       // half the side of the drawn square
  float fSpinRate = 0.0f;   // degrees turned over one pass, at least 720
  float roll = 0.0f;        // current turn about the view axis, degrees
  int iFruitType = 0;       // atlas cell shown
  int flags = 0;            // 1 for about one pass in four; nothing reads it
  float tx = 0.0f;          // atlas rectangle in texture coordinates: left,
  float ty = 0.0f;          // top,
  float tw = 0.0f;          // width,
  float th = 0.0f;          // height
  float rC = 0.0f, gC = 0.0f, bC = 0.0f, aC = 0.0f;      // first colour
  float rC2 = 0.0f, gC2 = 0.0f, bC2 = 0.0f, aC2 = 0.0f;  // second colour
  float rCD = 0.0f, gCD = 0.0f, bCD = 0.0f, aCD = 0.0f;  // second minus first
  PhotoCrop crop;         // what it shows of a photo, when the engine has photos
  float photoLag = 0.0f;  // how far the photo lags behind the square, model units
};

class PhotoList : public ObjectCell {
 public:
  // Random starting parameters; loads nothing. `folder` (may be null) is kept, cut to 63
  // characters; the background colour is kept too, but frames are cleared to black.
  PhotoList(ScopeApp* parent, const char* folder, bool mixedFlag, float bgr, float bgg, float bgb);
  ~PhotoList() override;
  PhotoList(const PhotoList&) = delete;
  PhotoList& operator=(const PhotoList&) = delete;

  // Creates the pieces and loads DiscMasks.jpg from the resource folder `fileName`. A null
  // folder, or an atlas that does not load, leaves the pieces untextured.
  void init(const char* fileName) override;
  // Picks the shared atlas cell and loads the atlas. Returns 1.
  int allocateObjects(const char* pathName);
  void updateFrame() override;
  void draw() override;
  void preRender() override;
  void postRender() override;
  bool wantsClipping() override { return true; }
  bool wantsTrails() override { return false; }
  bool wantsRadialBlur() override { return false; }

  // One step of the parameter drift; called by a piece at the end of each of its passes.
  void paramTick();

  // Whether the atlas loaded: texturing is used only then.
  bool hasAtlas() const;

  PhotoPiece* cList = nullptr;  // the 100 pieces, owned; null until init
  float fMaxSize = 0.0f;        // a piece's extra size: the bound in free mode, 0.001..0.25
  float fMaxSpinRate = 0.0f;    // a piece's spin: half the bound in free mode, 0..3600 degrees
  int iCtr = 0;                 // ticks done in the current drift segment
  int iMaxCtr = 0;              // the segment lasts iMaxCtr + 1 ticks
  bool bRegularPolys = false;   // pieces randomized now all look alike
  float fSrcParam[2] = {};      // size and spin at the segment's start
  float fDstParam[2] = {};      // their change over the segment
  int iFruitType = 0;           // shared atlas cell
  int nbrFruit = 8;             // cells in the atlas
  TextureImage* m_PhotoTexture = nullptr;  // the atlas, owned (malloc/free); null until init
  K_VECTOR3 bgColor;                       // kept only
  bool mixedFlag = false;                  // free-mode pieces take random cells
  char folder[64] = {};                    // the photo set's folder name, kept only
  PhotoSlots photoSlots;                   // the user's photos, when the engine has a feed
};

// The most recently constructed list, cleared when that list is destroyed.
extern PhotoList* gList;
// Drawn anew at every drift segment; nothing reads it.
extern bool bUseBlur;
